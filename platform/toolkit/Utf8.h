#pragma once

// Text in the screen model is UTF-8; lengths the user sees (maximum lengths, cell sizes) count
// characters, never bytes, and a cut never splits a character.

#include <cstddef>
#include <string>
#include <string_view>

namespace tk::utf8 {

// Number of characters (code points) in `text`.
std::size_t length(std::string_view text);
// The first `count` characters of `text`.
std::string_view prefix(std::string_view text, std::size_t count);
// Removes the last character of `text`, if any.
void popBack(std::string& text);
// Byte length of the character that starts with `lead` (1 for a stray continuation byte).
std::size_t sequenceLength(unsigned char lead);

} // namespace tk::utf8
