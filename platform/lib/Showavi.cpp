#include "lib/Showavi.h"

#include "toolkit/Application.h"

#include <stdexcept>

namespace Showavi {

void ActiveShowAvi(tk::Form* /*form*/, int kind, std::string text) {
    tk::Application::current().showWait(kind, std::move(text));
}

void DeactiveShowAvi() {
    tk::Application::current().hideWait();
}

Wait::Wait(tk::Form* form, int kind, std::string text) {
    ActiveShowAvi(form, kind, std::move(text));
    shown_ = true;
}

Wait::~Wait() {
    try {
        hide();
    } catch (const std::logic_error&) {
        // Somebody inside the scope hid it without showing it; the indicator is gone either way, and
        // a scope that ends by an exception must not end the process.
    }
}

void Wait::hide() {
    if (!shown_) return;
    shown_ = false;
    DeactiveShowAvi();
}

} // namespace Showavi
