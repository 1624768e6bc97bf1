#pragma once

// What a session drives: the screen of one host client. Every call runs on the session's own thread,
// inside the session's tk::Application::Scope, so a screen never sees another client's state.

#include "Event.h"

#include <string>

namespace tk {
class Form;
class UnitState;
} // namespace tk

namespace host {

// How an act ended when it did not run: the control, page or dataset does not exist (404), or the act
// is not allowed as the screen stands (409). Nothing changed in either case.
struct ActResult {
    enum class Status { Ok, Unknown, Refused };
    Status status = Status::Ok;
    std::string code;   // stable, for programs (docs/api.md lists them)
    std::string reason; // Portuguese
    static ActResult ok() { return {}; }
    static ActResult unknown(std::string code, std::string why) {
        return {Status::Unknown, std::move(code), std::move(why)};
    }
    static ActResult refused(std::string code, std::string why) {
        return {Status::Refused, std::move(code), std::move(why)};
    }
};

class SessionScreen {
public:
    virtual ~SessionScreen() = default;
    // The unit's initialization for this client (the session was created).
    virtual void start() {}
    // Closes the screen if it is open, then the unit's finalization (the session ends).
    virtual void stop() {}
    // One act of the user. Exceptions from the screen's handlers propagate to the session.
    virtual ActResult act(const Event& event) = 0;
    // What the snapshot shows: the screen (null before it is opened and after it is released) and
    // the unit's variables (null before the unit exists).
    virtual const tk::Form* form() const = 0;
    virtual const tk::UnitState* unit() const = 0;
    // Frees forms closed during the last act (they must not die while their own handler runs).
    virtual void afterAct() {}
};

} // namespace host
