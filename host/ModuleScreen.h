#pragma once

// The session screen backed by the screen module: the user's acts go through tk::Input to the form
// the module created in this session's application, and the view is the toolkit's snapshot of that
// form plus the unit's globals.

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
    explicit ModuleScreen(ScreenModule module) : module_(std::move(module)) {}

    void start() override;
    void stop() override;
    ActResult act(const Event& event) override;
    std::string view(bool withRows) const override;
    void afterAct() override;

private:
    tk::Form* form() const;

    ScreenModule module_;
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
