#pragma once

// Small validation and formatting helpers every screen uses.

#include "lib/Errors.h"

#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

namespace Consiste {

// True for the empty text and for a text made only of blanks. Blanks are the space and the control
// characters (tab, line breaks), so a code edit holding "  " counts as not filled in: callers use this
// to decide whether a value was informed, and a run of spaces informs nothing.
bool EmptyString(std::string_view text);

// The code trimmed of blanks and padded on the left with "0" up to `width` characters ("5" -> "05",
// "3" with width 3 -> "003"). A code already at or over the width is returned trimmed, never cut.
// A blank code gives "": padding nothing would invent a code nobody typed.
std::string Ajusta(std::string_view code, int width);

// Edit mask for a person registration number: "F" (individual) -> "999.999.999-99;0;_",
// "J" (company) -> "99.999.999/9999-99;0;_"; any other kind, "" and "I" included, -> "" (raw text).
std::string PictPess(std::string_view kind);

// Shows `text` in the error box (and records it among the messages shown). With `abort` the current
// operation then ends with tk::SilentAbort; without it the call returns after the box is acknowledged.
void MensErro(const std::string& text, bool abort);

// The payload of an application-server answer ({"result": payload} or {"error": {code, message}}).
// A failure raises lib::ServerError when `raiseOnError` is true; with false it gives a null payload
// instead. An answer of neither shape is a failure too (code -32603). `reserved` is accepted for the
// callers' sake and not used.
nlohmann::json CheckResultServ(const nlohmann::json& answer, bool raiseOnError, int reserved);

} // namespace Consiste
