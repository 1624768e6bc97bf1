#pragma once

// What a screen package (a shared library the host loads) offers its host. The package exports one
// function under a plain name, GetScreenPackage, that returns this interface; the host needs no other
// symbol of the package and no name of its forms or units.
//
// Every call acts for the calling thread's application, that is for one client: the host installs
// the client's tk::Application::Scope first, so each client has its own unit state and screen.

namespace tk {

class Form;
class UnitState;

class ScreenPackage {
public:
    virtual ~ScreenPackage() = default;

    // The unit's initialization and finalization for the current client (nested calls count).
    virtual void initialize() = 0;
    virtual void finalize() = 0;
    // Creates the client's screen, or shows it again when it exists.
    virtual void open() = 0;
    // The client's screen while it exists (closed screens stay until the event that closed them has
    // finished), else nullptr.
    virtual Form* screen() = 0;
    // The unit's variables of the client, or nullptr before its first initialization.
    virtual const UnitState* unit() = 0;
};

// The exported accessor.
inline constexpr const char* kScreenPackageSymbol = "GetScreenPackage";
using ScreenPackageAccessor = ScreenPackage& (*)();

} // namespace tk
