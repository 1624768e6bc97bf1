#pragma once

// The wait animation shown around server calls and queries. It is part of the client's state (kind and
// text), so the renderer can draw it and tests can see it while a call runs.

#include <string>

namespace tk {
class Form;
}

namespace Showavi {

// Shows the wait indicator of `kind` with an optional text. `form` names the window it belongs to;
// the indicator is per client, so the form only documents the caller's intent. Nested shows stack,
// each DeactiveShowAvi undoes one.
void ActiveShowAvi(tk::Form* form, int kind, std::string text = {});
// Hides the innermost indicator; hiding with none shown does nothing, so clean-up paths may repeat it.
void DeactiveShowAvi();

} // namespace Showavi
