#include "toolkit/DBEdit.h"

#include "toolkit/EditMask.h"
#include "toolkit/Form.h"

#include <nlohmann/json.hpp>

namespace tk {

TDBEdit::TDBEdit(Form& form, std::string name, Control* parent)
    : Control(form, std::move(name), parent), link_(*this) {
    setColor("clWindow");
}

void TDBEdit::setDataSource(DataSource* source) {
    link_.setDataSource(source);
    recordChanged(nullptr);
}

void TDBEdit::setDataField(std::string field) {
    link_.setFieldName(std::move(field));
    recordChanged(nullptr);
}

void TDBEdit::setText(const std::string& text) {
    if (text == text_) return;
    text_ = text;
    marked_ = true;
    fire(onChange);
}

std::string TDBEdit::displayText() const {
    const Field* f = link_.field();
    return f ? FormatMaskText(f->editMask(), text_) : text_;
}

void TDBEdit::writeBack() {
    if (!marked_) return;
    Field* f = link_.field();
    // Outside edit and insert the field cannot take the text; the mark stays for the next post.
    if (!f || !link_.editing()) return;
    // A copy: the assignment shows the field back in this edit, which replaces text_.
    const std::string typed = text_;
    f->setText(typed);
    marked_ = false;
}

void TDBEdit::recordChanged(const Field* field) {
    Field* f = link_.field();
    if (field && field != f) return;
    marked_ = false;
    std::string shown = f && link_.hasRecord() ? f->text() : std::string();
    if (shown == text_) return;
    text_ = std::move(shown);
    fire(onChange);
}

void TDBEdit::focusField(const Field&) {
    form().setFocus(this);
}

void TDBEdit::describe(nlohmann::json& out) const {
    Control::describe(out);
    out["displayText"] = displayText();
    out["maxLength"] = maxLength_;
    out["readOnly"] = readOnly_;
    if (const Field* f = link_.field()) out["field"] = f->name();
}

} // namespace tk
