// Entry points of the package: the host loads it, runs the unit initialization for each client,
// and calls IniProc when the user opens the screen.

#include "shell/TfrmTipOper.h"
#include "shell/Toolkit.h"
#include "shell/UnitGlobals.h"

#include <nlohmann/json.hpp>

#define TIPOPER_EXPORT __attribute__((visibility("default")))

namespace Cli_ger06600 {

std::string UnitGlobals::snapshotJson() const {
    nlohmann::json j = {{"boStCriado", boStCriado},
                        {"boControlDocOrig", boControlDocOrig},
                        {"boControlEncRat", boControlEncRat},
                        {"stDocOrigem", stDocOrigem},
                        {"stListaEncRat", stListaEncRat},
                        {"stCampoNull", formAlive && frmTipOper ? frmTipOper->stCampoNull : std::string()}};
    return j.dump();
}

UnitGlobals& Globals() { return tk::Application::current().unit<UnitGlobals>(kUnitName); }

TIPOPER_EXPORT void CriaTipOper() {
    auto& app = tk::Application::current();
    auto& g = Globals();
    app.setCursor(-11); // hourglass
    try {
        if (!g.boStCriado) {
            auto form = std::make_unique<TfrmTipOper>(g);
            TfrmTipOper& screen = *form;
            // Creation runs FormCreate; an exception leaves boStCriado false so the next call retries.
            app.adoptForm(std::move(form));
            try {
                screen.create();
            } catch (...) {
                app.releaseForm(&screen);
                throw;
            }
            g.frmTipOper = &screen;
            g.formAlive = true;
            g.boStCriado = true;
        }
        g.frmTipOper->show();
        g.frmTipOper->setWindowState(tk::WindowState::Normal);
    } catch (...) {
        app.setCursor(0);
        throw;
    }
    app.setCursor(0);
}

} // namespace Cli_ger06600

extern "C" {

TIPOPER_EXPORT void IniProc() { Cli_ger06600::CriaTipOper(); }

// Unit initialization and finalization for the calling client.
TIPOPER_EXPORT void Initialize() {
    auto& g = Cli_ger06600::Globals();
    if (g.initCount++ > 0) return;
    g.boStCriado = false;
    g.boControlDocOrig = false;
    g.boControlEncRat = false;
}

TIPOPER_EXPORT void Finalize() {
    auto& g = Cli_ger06600::Globals();
    if (g.initCount == 0 || --g.initCount > 0) return;
    g.stListaEncRat.clear();
    g.stDocOrigem.clear();
}

} // extern "C"
