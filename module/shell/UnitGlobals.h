#pragma once

// The unit's globals. One set exists per host client (each browser session has its own), kept in
// the client's application; the module itself has no process-wide mutable state.

#include "toolkit/Application.h"

#include <string>

namespace Cli_ger06600 {

class TfrmTipOper;

struct UnitGlobals : tk::UnitState {
    // The single screen instance; keeps its last value after the screen is closed.
    TfrmTipOper* frmTipOper = nullptr;
    // True while a screen instance exists and has not been closed.
    bool boStCriado = false;
    // Guard flags of the origin-document and charge radio groups while a record is being shown.
    bool boControlDocOrig = false;
    bool boControlEncRat = false;
    // Working copies of the origin-document list and the charge list.
    std::string stDocOrigem;
    std::string stListaEncRat;
    // Nested initializations run the initialization once; the last finalization runs it.
    int initCount = 0;
    // Still alive: FormClose sets boStCriado false but the instance is only freed after the event,
    // and the snapshot must not read a freed form.
    bool formAlive = false;

    void describe(tk::MemberSink& out) const override;
};

inline constexpr const char* kUnitName = "Cli_ger06600";

// The calling client's globals.
UnitGlobals& Globals();

// Exported entry points of the package (also declared extern "C" where their names are plain).
void CriaTipOper();

} // namespace Cli_ger06600
