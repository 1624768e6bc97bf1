#pragma once

// The session screen backed by a screen package: the user's acts go through tk::Input to the form the
// package created in this session's application; the snapshot reads that form and the package's unit.

#include "ScreenModule.h"
#include "SessionScreen.h"

namespace host {

class ModuleScreen final : public SessionScreen {
public:
    explicit ModuleScreen(ScreenModule module) : module_(std::move(module)) {}

    void start() override;
    void stop() override;
    ActResult act(const Event& event) override;
    const tk::Form* form() const override;
    const tk::UnitState* unit() const override;
    void afterAct() override;

private:
    tk::Form* screen() const;

    ScreenModule module_;
    bool started_ = false;
};

} // namespace host
