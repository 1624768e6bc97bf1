#pragma once

// The screen module as the host sees it: a shared library loaded once per process that exports one
// accessor of its tk::ScreenPackage. Every call of the package acts on the CURRENT application (the
// calling thread's), so each session keeps its own unit state.

#include "toolkit/ScreenPackage.h"

#include <memory>
#include <string>

namespace host {

using ScreenModule = std::shared_ptr<tk::ScreenPackage>;

// dlopen (RTLD_NOW | RTLD_LOCAL) and the package's accessor; throws std::runtime_error naming what is
// missing. The library stays loaded for the life of the process.
ScreenModule loadScreenModule(const std::string& path);

} // namespace host
