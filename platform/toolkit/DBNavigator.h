#pragma once

// The record navigator: first, prior, next and last on its data source's dataset. It moves only an
// open dataset in browse state; a record being edited must be posted or cancelled first.

#include "toolkit/DataControl.h"

namespace tk {

enum class NavigateButton { First, Prior, Next, Last };

class TDBNavigator : public DataControl {
public:
    using DataControl::DataControl;
    const char* typeName() const override { return "TDBNavigator"; }
    void focusField(const Field&) override {}

    // Returns whether the dataset was moved.
    bool navigate(NavigateButton button);
};

} // namespace tk
