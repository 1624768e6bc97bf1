#pragma once

// The values a screen definition gives a control's properties, and the events a definition binds.
// Each control kind declares the properties and events it takes (ControlKinds.h); a loader sets them
// by name without knowing the kind.

#include "toolkit/Control.h"
#include "toolkit/Keys.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace tk {

class DataSet;
class DataSource;
class Field;
enum class CloseAction;

struct GridColumn {
    std::string field;
    std::string title;
    int width = 64;
    bool operator==(const GridColumn&) const = default;
};

using PropertyValue =
    std::variant<bool, int, std::string, std::vector<std::string>, std::vector<GridColumn>, Bounds>;

// Where a handler goes: one of the event members of the toolkit's components.
using EventSlot = std::variant<std::function<void(Control&)>*, // click, change, ...
                               std::function<void(Control&, std::uint16_t&, ShiftState)>*, // key down
                               std::function<void(Control&, char&)>*,                      // key press
                               std::function<void(Component&)>*,                           // after a search
                               std::function<void(Component&, bool&)>*,                    // before a search
                               std::function<void(Form&)>*,                                // create, show
                               std::function<void(Form&, CloseAction&)>*,                  // close
                               std::function<void(Form&, bool&)>*,                         // close query
                               std::function<void(DataSet&)>*,                             // dataset events
                               std::function<void(DataSource&)>*,                          // state change
                               std::function<void(DataSource&, const Field*)>*,            // data change
                               std::function<void(Field&, std::string&, bool)>*,           // get text
                               std::function<void(Field&, const std::string&)>*>;          // set text

// The events of the non-visual components and of the form, by the names a definition uses
// ("AfterScroll", "OnGetText", "OnStateChange", "OnCreate"); nullopt for a name they do not have.
std::optional<EventSlot> eventOf(Form& form, std::string_view event);
std::optional<EventSlot> eventOf(DataSet& dataSet, std::string_view event);
std::optional<EventSlot> eventOf(DataSource& source, std::string_view event);
std::optional<EventSlot> eventOf(Field& field, std::string_view event);

} // namespace tk
