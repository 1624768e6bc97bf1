#pragma once

// What every edit offers the user's typing, bound to data or not.

#include <string_view>

namespace tk {

class TextControl {
public:
    virtual bool readOnly() const = 0;
    // Replaces the text as typing does, cut to the edit's maximum length (in characters); an edit
    // bound to a masked field takes the value without the mask's literals.
    virtual void userType(std::string_view text) = 0;

protected:
    ~TextControl() = default;
};

} // namespace tk
