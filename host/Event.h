#pragma once

// One act of the user on the screen, as the automation API receives it. Parsing checks the shape of
// the request only (types and required members); whether the act is allowed on the screen as it stands
// is the session's business.

#include <cstdint>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace host {

enum class EventType { Open, Click, Focus, Type, Pick, Key, Page, Move, Sort, Answer, Close };

const char* toString(EventType type);

// A malformed request: the message is Portuguese and says which member is wrong.
class BadRequest : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct Event {
    EventType type = EventType::Open;
    std::string control;               // click, focus, type, pick, key, sort
    std::optional<std::string> column; // grid cell: focus and type; sort: the field to order by
    bool descending = false;           // sort
    std::string text;                  // type
    int index = 0;                     // pick
    std::uint16_t key = 0;             // key
    bool alt = false, ctrl = false, shift = false;
    std::string page;    // page
    std::string dataSet; // move
    int recNo = 0;       // move
    // answer: "yes", "no", "ok", "cancel", or an object {"keys":[...]} / {"recNo":N}
    std::string answerWord;
    std::optional<std::vector<std::string>> answerKeys;
    std::optional<int> answerRecNo;
};

// Throws BadRequest for anything that is not a well-formed event.
Event parseEvent(const nlohmann::json& body);

// The event in a request's body: the JSON read (its nesting bounded), then parseEvent. Throws
// BadRequest whose text is the whole Portuguese message for the client.
Event readEvent(std::string_view body);

// A key given by name ("Enter", "PageDown", "F5", "a") or by number; nullopt for an unknown name.
std::optional<std::uint16_t> keyCodeFromName(const std::string& name);

} // namespace host
