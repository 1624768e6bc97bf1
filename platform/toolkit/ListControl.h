#pragma once

// What every drop-down list offers the user, bound to data or not: items, the one shown, and the
// user's pick.

#include "toolkit/Keys.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tk {

class ListControl {
public:
    virtual const std::vector<std::string>& items() const = 0;
    // -1 when no item is shown.
    virtual int itemIndex() const = 0;
    // The user picked the item at `index`; the caller checked the range (and, for a list bound to
    // data, that its record is being edited).
    virtual void userPick(int index) = 0;

protected:
    ~ListControl() = default;
    // The list's own handling of a key: a letter or digit picks the next item starting with it, the
    // arrows step through the items. Returns whether the key was one of those.
    bool pickByKey(std::uint16_t key, ShiftState shift);
};

} // namespace tk
