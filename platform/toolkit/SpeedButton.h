#pragma once

#include "toolkit/Control.h"

namespace tk {

// A toolbar button. It does not take the focus, so clicking it runs no exit handler of the control
// being edited: a confirm button posts with the focus still in the edit.
class TSpeedButton : public Control {
public:
    using Control::Control;
    const char* typeName() const override { return "TSpeedButton"; }
};

} // namespace tk
