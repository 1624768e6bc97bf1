#pragma once

#include "toolkit/Control.h"

namespace tk {

// A container whose contents scroll; for the screen model it is a container like a panel.
class TScrollBox : public Control {
public:
    using Control::Control;
    const char* typeName() const override { return "TScrollBox"; }
    bool isContainer() const override { return true; }
};

} // namespace tk
