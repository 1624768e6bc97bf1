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
// Hides the innermost indicator. Every hide must pair a show: hiding with none shown is a fault of
// the caller and throws std::logic_error.
void DeactiveShowAvi();

// Shows the indicator while the object lives: the scope's end hides it, whether by return or by
// exception, so no path can leave it shown or hide it twice.
//
//   {
//       Showavi::Wait wait(this, 1, msgPadrao.Msg("Atual_Server"));
//       serverCall(...);
//   }
class Wait {
public:
    Wait(tk::Form* form, int kind, std::string text = {});
    ~Wait();
    Wait(const Wait&) = delete;
    Wait& operator=(const Wait&) = delete;

    // Hides it before the scope ends; the scope's end then does nothing.
    void hide();

private:
    bool shown_ = false;
};

} // namespace Showavi
