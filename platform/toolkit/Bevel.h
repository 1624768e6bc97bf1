#pragma once

#include "toolkit/Control.h"

namespace tk {

// A decorative line or frame; only its visibility matters to the rules.
class TBevel : public Control {
public:
    using Control::Control;
    const char* typeName() const override { return "TBevel"; }
};

} // namespace tk
