#include "toolkit/DBText.h"

#include "toolkit/ControlKinds.h"

namespace tk {

TDBText::TDBText(Form& form, std::string name, Control* parent)
    : DataControl(form, std::move(name), parent) {}

void TDBText::showRecord() {
    const Field* f = field();
    text_ = f && hasRecord() ? fieldDisplayText(*f) : std::string();
}

namespace {

const KindRegistration registration{KindOf<TDBText>("TDBText", "DataControl")};

} // namespace

} // namespace tk
