#include "lib/Showavi.h"

#include "toolkit/Application.h"

namespace Showavi {

void ActiveShowAvi(tk::Form* /*form*/, int kind, std::string text) {
    tk::Application::current().showWait(kind, std::move(text));
}

void DeactiveShowAvi() {
    tk::Application::current().hideWait();
}

} // namespace Showavi
