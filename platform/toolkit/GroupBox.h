#pragma once

#include "toolkit/Control.h"

namespace tk {

// A framed container. Disabling it makes every control inside inoperable.
class TGroupBox : public Control {
public:
    using Control::Control;
    const char* typeName() const override { return "TGroupBox"; }
    bool isContainer() const override { return true; }
};

} // namespace tk
