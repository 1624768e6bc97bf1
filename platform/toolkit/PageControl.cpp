#include "toolkit/PageControl.h"

#include "toolkit/TabSheet.h"

#include <nlohmann/json.hpp>

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

void TPageControl::describe(nlohmann::json& out) const {
    Control::describe(out);
    out["activePage"] = activePage_ ? nlohmann::json(activePage_->name()) : nlohmann::json(nullptr);
    auto names = nlohmann::json::array();
    for (const TTabSheet* page : pages())
        names.push_back(page->name());
    out["pages"] = std::move(names);
}

} // namespace tk
