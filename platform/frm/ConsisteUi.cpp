#include "frm/ConsisteUi.h"

#include "toolkit/Control.h"
#include "toolkit/DBGrid.h"

namespace Consiste {

void SetChildEnabled(tk::Control& container, bool enabled) {
    for (tk::Control* child : container.children()) {
        child->setEnabled(enabled);
        SetChildEnabled(*child, enabled);
    }
}

std::string GridText(tk::TDBGrid& grid, const std::string& field, bool /*display*/) {
    return grid.cellText(field);
}

} // namespace Consiste
