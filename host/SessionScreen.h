#pragma once

// What a session drives: the screen of one host client. Every call runs on the session's own thread,
// inside the session's tk::Application::Scope, so a screen never sees another client's state.

#include "Event.h"

#include <memory>
#include <nlohmann/json.hpp>
#include <string>

namespace host {

// How an act ended when it did not run: the control, page or dataset does not exist (404), or the act
// is not allowed as the screen stands (409). Nothing changed in either case.
struct ActResult {
    enum class Status { Ok, Unknown, Refused };
    Status status = Status::Ok;
    std::string reason; // Portuguese, for the user
    static ActResult ok() { return {}; }
    static ActResult unknown(std::string why) { return {Status::Unknown, std::move(why)}; }
    static ActResult refused(std::string why) { return {Status::Refused, std::move(why)}; }
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
    // The screen's part of the snapshot, as the text of a JSON object with the members controls,
    // activePage, focus, datasets and unit. A text rather than a tree: the snapshot goes out after
    // every event, and writing it directly costs a fraction of building a tree first.
    virtual std::string view(bool withRows) const = 0;
    // Frees forms closed during the last act (they must not die while their own handler runs).
    virtual void afterAct() {}
};

} // namespace host
