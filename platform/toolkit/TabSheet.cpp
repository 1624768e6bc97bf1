#include "toolkit/TabSheet.h"

#include "toolkit/PageControl.h"

#include <stdexcept>

namespace tk {

namespace {
TPageControl* asPageControl(Control* parent, const std::string& name) {
    auto* pages = dynamic_cast<TPageControl*>(parent);
    if (!pages)
        throw std::invalid_argument("a página " + name + " precisa de um controle de páginas como pai");
    return pages;
}
} // namespace

TTabSheet::TTabSheet(Form& form, std::string name, Control* parent)
    : Control(form, name, asPageControl(parent, name)), pageControl_(static_cast<TPageControl*>(parent)) {
    // The first page is the one shown until something else is chosen.
    if (!pageControl_->activePage()) pageControl_->setActivePage(this);
}

bool TTabSheet::showsChildren() const {
    return active();
}

bool TTabSheet::active() const {
    return pageControl_->activePage() == this;
}

} // namespace tk
