#pragma once

// What every named part of a screen has in common: a name, unique within its form. Event handlers
// receive their sender as a Component, as the classic handlers receive `Sender`, so one handler can
// serve a form event and a control event alike.

#include <string>
#include <utility>

namespace tk {

class Component {
public:
    explicit Component(std::string name) : name_(std::move(name)) {}
    virtual ~Component() = default;
    Component(const Component&) = delete;
    Component& operator=(const Component&) = delete;

    const std::string& name() const { return name_; }

private:
    std::string name_;
};

} // namespace tk
