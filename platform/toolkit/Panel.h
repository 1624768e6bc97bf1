#pragma once

#include "toolkit/Control.h"

namespace tk {

// A plain container. Its enter and exit events run when the focus moves into or out of it.
class TPanel : public Control {
public:
    using Control::Control;
    const char* typeName() const override { return "TPanel"; }
    bool isContainer() const override { return true; }
};

} // namespace tk
