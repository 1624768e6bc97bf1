#pragma once

// The session screen backed by the screen module: the user's acts go through tk::Input to the form
// the module created in this session's application, and the view is the toolkit's snapshot of that
// form plus the unit's globals. Before the unit starts, the session's user and credential are given to
// the component library for this client: the screen's connection presents that credential, and the
// screen knows the user's role.

#include "Identity.h"
#include "ScreenModule.h"
#include "SessionScreen.h"

#include <string>
#include <unordered_map>

namespace tk {
class Form;
}

namespace host {

class ModuleScreen final : public SessionScreen {
public:
    ModuleScreen(ScreenModule module, Identity who) : module_(std::move(module)), who_(std::move(who)) {}

    void start() override;
    void stop() override;
    ActResult act(const Event& event) override;
    std::string view(bool withRows) const override;
    void afterAct() override;

private:
    tk::Form* form() const;

    ScreenModule module_;
    const Identity who_;
    bool started_ = false;
    // The last JSON text of each control with the value it was written from. An event changes few
    // controls, and comparing a control's value costs much less than writing it again; the text is a
    // function of the value alone, so a stale entry can never be served for a different value.
    struct WrittenControl {
        nlohmann::json value;
        std::string text;
    };
    mutable std::unordered_map<std::string, WrittenControl> written_;
};

} // namespace host
