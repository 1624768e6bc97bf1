#include "toolkit/Edit.h"

#include "toolkit/ControlKinds.h"
#include "toolkit/MemberSink.h"
#include "toolkit/Utf8.h"

namespace tk {

std::string typedText(std::string_view text, int maxLength) {
    if (maxLength <= 0) return std::string(text);
    return std::string(utf8::prefix(text, static_cast<std::size_t>(maxLength)));
}

TEdit::TEdit(Form& form, std::string name, Control* parent) : Control(form, std::move(name), parent) {
    setColor("clWindow");
}

void TEdit::setText(const std::string& text) {
    if (text == text_) return;
    text_ = text;
    fire(onChange);
}

void TEdit::userType(std::string_view text) {
    setText(typedText(text, maxLength_));
}

void TEdit::describeKind(MemberSink& out) const {
    out.text("displayText", text_);
    out.integer("maxLength", maxLength_);
    out.boolean("readOnly", readOnly_);
}

namespace {

const KindRegistration registration{KindOf<TEdit>("TEdit", "Control")
                                        .property("maxLength", &TEdit::setMaxLength)
                                        .property("readOnly", &TEdit::setReadOnly)};

} // namespace

} // namespace tk
