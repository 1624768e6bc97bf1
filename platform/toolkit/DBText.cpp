#include "toolkit/DBText.h"

namespace tk {

TDBText::TDBText(Form& form, std::string name, Control* parent)
    : Control(form, std::move(name), parent), link_(*this) {}

void TDBText::setDataSource(DataSource* source) {
    link_.setDataSource(source);
    recordChanged(nullptr);
}

void TDBText::setDataField(std::string field) {
    link_.setFieldName(std::move(field));
    recordChanged(nullptr);
}

void TDBText::recordChanged(const Field* field) {
    Field* f = link_.field();
    if (field && field != f) return;
    text_ = f && link_.hasRecord() ? fieldDisplayText(*f) : std::string();
}

} // namespace tk
