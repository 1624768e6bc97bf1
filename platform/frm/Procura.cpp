#include "frm/Procura.h"

#include "frm/LookupRows.h"
#include "toolkit/Application.h"
#include "toolkit/DataSet.h"

void Procura(tk::DataSet& set) {
    if (set.state() != tk::DataSetState::Browse) return;
    const tk::DialogRows rows = frm::lookupRows(set);
    const auto found = tk::Application::current().dialogs().search("Procurar", rows);
    if (!found || *found < 0 || *found >= set.recordCount()) return;
    set.moveTo(*found + 1);
}
