#pragma once

// What a control (or a unit) writes its snapshot members to. Each kind writes the same members in the
// same order every time, so the snapshot writer can hold each member's last value and tell what
// changed without building anything; member names are string literals.

#include <string>
#include <string_view>
#include <vector>

namespace tk {

class Component;
struct Bounds;

class MemberSink {
public:
    virtual void null(std::string_view name) = 0;
    virtual void boolean(std::string_view name, bool value) = 0;
    virtual void integer(std::string_view name, long long value) = 0;
    virtual void text(std::string_view name, std::string_view value) = 0;
    // An array of strings.
    virtual void texts(std::string_view name, const std::vector<std::string>& values) = 0;
    // {"left", "top", "width", "height"}.
    virtual void bounds(std::string_view name, const Bounds& value) = 0;
    // Any other value, already written as JSON text.
    virtual void json(std::string_view name, std::string_view jsonText) = 0;

    // The component's name, or null.
    void nameOf(std::string_view name, const Component* component);

protected:
    ~MemberSink() = default;
};

} // namespace tk
