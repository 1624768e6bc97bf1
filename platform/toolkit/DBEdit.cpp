#include "toolkit/DBEdit.h"

#include "toolkit/ControlKinds.h"
#include "toolkit/Edit.h"
#include "toolkit/EditMask.h"
#include "toolkit/MemberSink.h"

namespace tk {

TDBEdit::TDBEdit(Form& form, std::string name, Control* parent) : DataControl(form, std::move(name), parent) {
    setColor("clWindow");
}

void TDBEdit::setText(const std::string& text) {
    if (text == text_) return;
    text_ = text;
    mark();
    fire(onChange);
}

std::string TDBEdit::displayText() const {
    const Field* f = field();
    return f ? FormatMaskText(f->editMask(), text_) : text_;
}

void TDBEdit::userType(std::string_view text) {
    std::string typed(text);
    if (const Field* f = field()) typed = MaskRawText(f->editMask(), typed);
    setText(typedText(typed, maxLength_));
}

bool TDBEdit::writeValue(Field& f) {
    // A copy: the assignment shows the field back in this edit, which replaces text_.
    const std::string typed = text_;
    f.setText(typed);
    return true;
}

void TDBEdit::showRecord() {
    const Field* f = field();
    std::string shown = f && hasRecord() ? f->text() : std::string();
    if (shown == text_) return;
    text_ = std::move(shown);
    fire(onChange);
}

void TDBEdit::describeKind(MemberSink& out) const {
    DataControl::describeKind(out);
    out.text("displayText", displayText());
    out.integer("maxLength", maxLength_);
    out.boolean("readOnly", readOnly());
    describeField(out);
}

namespace {

const KindRegistration registration{
    KindOf<TDBEdit>("TDBEdit", "DataControl").property("maxLength", &TDBEdit::setMaxLength)};

} // namespace

} // namespace tk
