#pragma once

// The operation-type screen's definition, compiled into the module from GER06600.json.

#include "screen/ScreenDefinition.h"

#include <string_view>

namespace screen {

// The JSON compiled into the library.
std::string_view embeddedDefinitionJson();

// The compiled-in definition, parsed once on first use (safe to call from any thread).
const Definition& definition();

} // namespace screen
