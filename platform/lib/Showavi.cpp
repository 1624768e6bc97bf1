#include "lib/Showavi.h"

#include "toolkit/Application.h"

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
    hide();
}

void Wait::hide() {
    if (!shown_) return;
    shown_ = false;
    DeactiveShowAvi();
}

} // namespace Showavi
