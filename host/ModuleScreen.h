#pragma once

// The session screen backed by a screen package: the user's acts go through tk::Input to the form the
// package created in this session's application; the snapshot reads that form and the package's unit.
// Before the package's unit starts, the session's user and credential are given to the component
// library for this client: the screen's connection presents that credential, and the screen knows the
// user's role.

#include "Identity.h"
#include "ScreenModule.h"
#include "SessionScreen.h"

namespace host {

class ModuleScreen final : public SessionScreen {
public:
    ModuleScreen(ScreenModule module, Identity who) : module_(std::move(module)), who_(std::move(who)) {}

    void start() override;
    void stop() override;
    ActResult act(const Event& event) override;
    const tk::Form* form() const override;
    const tk::UnitState* unit() const override;
    void afterAct() override;

private:
    tk::Form* screen() const;

    ScreenModule module_;
    const Identity who_;
    bool started_ = false;
};

} // namespace host
