#include "toolkit/Edit.h"

#include <nlohmann/json.hpp>

namespace tk {

TEdit::TEdit(Form& form, std::string name, Control* parent) : Control(form, std::move(name), parent) {
    setColor("clWindow");
}

void TEdit::setText(const std::string& text) {
    if (text == text_) return;
    text_ = text;
    fire(onChange);
}

void TEdit::describe(nlohmann::json& out) const {
    Control::describe(out);
    out["displayText"] = text_;
    out["maxLength"] = maxLength_;
    out["readOnly"] = readOnly_;
}

} // namespace tk
