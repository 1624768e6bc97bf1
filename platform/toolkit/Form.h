#pragma once

// Minimal declaration so that the application can own forms; the screen model extends this class.

#include <string>

namespace tk {

class Form {
public:
    virtual ~Form() = default;
    std::string name;
};

} // namespace tk
