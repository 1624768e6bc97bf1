// Entry points of the package: the host loads it, runs the unit initialization for each client,
// and calls IniProc when the user opens the screen.

#include "shell/TfrmTipOper.h"
#include "shell/Toolkit.h"
#include "shell/UnitGlobals.h"
#include "toolkit/MemberSink.h"
#include "toolkit/ScreenPackage.h"

#define TIPOPER_EXPORT __attribute__((visibility("default")))

namespace Cli_ger06600 {

void UnitGlobals::describe(tk::MemberSink& out) const {
    out.boolean("boStCriado", boStCriado);
    out.boolean("boControlDocOrig", boControlDocOrig);
    out.boolean("boControlEncRat", boControlEncRat);
    out.text("stDocOrigem", stDocOrigem);
    out.text("stListaEncRat", stListaEncRat);
    out.text("stCampoNull", formAlive && frmTipOper ? frmTipOper->stCampoNull : std::string());
}

UnitGlobals& Globals() {
    return tk::Application::current().unit<UnitGlobals>(kUnitName);
}

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

TIPOPER_EXPORT void IniProc() {
    Cli_ger06600::CriaTipOper();
}

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

namespace Cli_ger06600 {

namespace {

// The package as the host reaches it.
class Package final : public tk::ScreenPackage {
public:
    void initialize() override { Initialize(); }
    void finalize() override { Finalize(); }
    void open() override { IniProc(); }
    tk::Form* screen() override {
        if (!tk::Application::current().hasUnit(kUnitName)) return nullptr;
        const UnitGlobals& g = Globals();
        return g.formAlive ? g.frmTipOper : nullptr;
    }
    const tk::UnitState* unit() override {
        if (!tk::Application::current().hasUnit(kUnitName)) return nullptr;
        return &Globals();
    }
};

} // namespace

} // namespace Cli_ger06600

extern "C" TIPOPER_EXPORT tk::ScreenPackage& GetScreenPackage() {
    static Cli_ger06600::Package package;
    return package;
}
