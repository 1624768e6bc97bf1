#pragma once

// Edit masks in the classic three-part form "mask;save;blank", e.g. "999.999.999-99;0;_":
//   mask   slot characters 0 9 # L l A a C c take one character each; \x makes x a literal;
//          > < and <> switch upper case, lower case and no case for the slots that follow; ! is a
//          display hint without effect here; every other character is a literal;
//   save   "0": the field holds the raw value without the literals; "1": with them;
//   blank  the character shown in a slot not yet filled (default "_").

#include <string>
#include <string_view>

namespace tk {

// Inserts the mask's literal characters into `value`. A value that already carries the literals in
// their places comes out the same, so formatting is idempotent. Slots beyond the value show the
// blank character; characters beyond the mask are kept at the end rather than hidden. An empty mask
// or an empty value returns the value unchanged.
std::string FormatMaskText(std::string_view mask, std::string_view value);

// The value as the field stores it for a mask that does not save literals: when `text` is laid out
// as the mask formats it, its literal characters are taken out ("123.456.789-01" -> "12345678901").
// Any other text, and every text under a mask that saves its literals, is returned unchanged.
std::string MaskRawText(std::string_view mask, std::string_view text);

} // namespace tk
