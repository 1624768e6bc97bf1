#pragma once

// Builds a maintenance screen from its definition: the datasets with their fields, the data sources
// (a query's rows reach its data source through a dataset of the query's name), every control with
// its properties, and the binding of every event the definition names to the screen's handler of
// that name. Controls the base form already made ("inherited") take only what the definition sets.
//
// Properties go through the control kinds' registry (toolkit/ControlKinds.h), so any kind a library
// registers can be used; a property the kind does not take, an unknown reference, or an event the
// component does not have throws std::invalid_argument (a definition that does not fit the platform
// is a fault of the build, found by the first test that opens the screen). A handler the definition
// names but the screen's list lacks is left unbound and listed by unboundHandlers().

#include "toolkit/Handlers.h"

#include <map>
#include <string>
#include <vector>

namespace screen {
struct Definition;
}

namespace frm {

class TfrmPadrao;

// Events of components that are not part of the screen model (the server connection), by component
// name and event name, for the handlers the definition binds to them.
using ExtraEvents = std::map<std::string, std::map<std::string, tk::EventSlot, std::less<>>, std::less<>>;

void buildScreen(TfrmPadrao& form, const screen::Definition& definition, const tk::Handlers& handlers,
                 const ExtraEvents& extra = {});

// Handler names the definition binds that `handlers` lacks.
std::vector<std::string> unboundHandlers(const screen::Definition& definition, const tk::Handlers& handlers);

} // namespace frm
