#pragma once

// The screen module as the host sees it: a shared library loaded once per process, whose entry points
// act on the CURRENT application (the calling thread's), so each session keeps its own unit state.

#include <functional>
#include <string>

namespace host {

struct ScreenModule {
    std::function<void()> initialize; // the unit's initialization for the current application
    std::function<void()> finalize;   // its finalization
    std::function<void()> iniProc;    // creates or shows the screen
    std::string formName = "frmTipOper";
    std::string unitName = "Cli_ger06600";
};

// dlopen (RTLD_NOW | RTLD_LOCAL) and the three entry points; throws std::runtime_error naming what is
// missing. The library stays loaded for the life of the process.
ScreenModule loadScreenModule(const std::string& path);

} // namespace host
