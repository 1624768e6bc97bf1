#include "toolkit/PageControl.h"

#include "toolkit/MemberSink.h"
#include "toolkit/TabSheet.h"

namespace tk {

std::vector<TTabSheet*> TPageControl::pages() const {
    std::vector<TTabSheet*> result;
    for (Control* child : children())
        if (auto* page = dynamic_cast<TTabSheet*>(child)) result.push_back(page);
    return result;
}

void TPageControl::setActivePage(TTabSheet* page) {
    if (page && &page->pageControl() != this) return;
    activePage_ = page;
}

void TPageControl::userSelect(TTabSheet& page) {
    if (&page.pageControl() != this || activePage_ == &page) return;
    activePage_ = &page;
    fire(onChange);
}

void TPageControl::describeKind(MemberSink& out) const {
    out.nameOf("activePage", activePage_);
    std::vector<std::string> names;
    for (const TTabSheet* page : pages())
        names.push_back(page->name());
    out.texts("pages", names);
}

} // namespace tk
