#pragma once

// A set of pages of which one is shown. Showing a page from code raises nothing (code that changes
// the page calls its page-change routine itself); the user's switch to an enabled page runs the
// change handler.

#include "toolkit/Control.h"

#include <vector>

namespace tk {

class TTabSheet;

class TPageControl : public Control {
public:
    using Control::Control;
    const char* typeName() const override { return "TPageControl"; }
    bool isContainer() const override { return true; }

    // The pages in order (the children that are pages).
    std::vector<TTabSheet*> pages() const;
    TTabSheet* activePage() const { return activePage_; }
    // From code: no event. A page of another page control is ignored.
    void setActivePage(TTabSheet* page);
    // The user's switch; the caller checked that the page is enabled and the control operable.
    // Switching to the page already shown runs nothing.
    void userSelect(TTabSheet& page);

protected:
    // activePage and pages.
    void describeKind(MemberSink& out) const override;

private:
    TTabSheet* activePage_ = nullptr;
};

} // namespace tk
