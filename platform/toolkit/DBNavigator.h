#pragma once

// The record navigator: first, prior, next and last on its data source's dataset. It moves only an
// open dataset in browse state; a record being edited must be posted or cancelled first.

#include "toolkit/Control.h"

namespace tk {

class DataSource;

enum class NavigateButton { First, Prior, Next, Last };

class TDBNavigator : public Control {
public:
    using Control::Control;
    const char* typeName() const override { return "TDBNavigator"; }

    void setDataSource(DataSource* source) { source_ = source; }
    DataSource* dataSource() const { return source_; }

    // Returns whether the dataset was moved.
    bool navigate(NavigateButton button);

private:
    DataSource* source_ = nullptr;
};

} // namespace tk
