#pragma once

#include "toolkit/Control.h"

namespace tk {

// A caption on the form; it never takes the focus.
class TLabel : public Control {
public:
    using Control::Control;
    const char* typeName() const override { return "TLabel"; }
};

} // namespace tk
