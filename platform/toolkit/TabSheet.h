#pragma once

// A page of a page control. Only the active page shows its contents: the controls of the other
// pages cannot be operated or focused, while their own Visible stays as the rules set it.

#include "toolkit/Control.h"

namespace tk {

class TPageControl;

class TTabSheet : public Control {
public:
    // `parent` must be the page control.
    TTabSheet(Form& form, std::string name, Control* parent);
    const char* typeName() const override { return "TTabSheet"; }
    bool isContainer() const override { return true; }
    bool showsChildren() const override;

    TPageControl& pageControl() const { return *pageControl_; }
    bool active() const;

private:
    TPageControl* pageControl_;
};

} // namespace tk
