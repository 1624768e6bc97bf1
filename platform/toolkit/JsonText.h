#pragma once

// Writing JSON text directly: the snapshot goes out after every event, and appending to one string
// costs a fraction of building a tree first.

#include <string>
#include <string_view>

namespace tk::json {

// Appends `text` as a JSON string. Text in the screen model is UTF-8, but values come from databases
// and other programs: a byte that does not start a well-formed sequence is written as U+FFFD, so the
// answer is always valid JSON and valid UTF-8.
void appendString(std::string& out, std::string_view text);
void appendInt(std::string& out, long long value);
void appendBool(std::string& out, bool value);

} // namespace tk::json
