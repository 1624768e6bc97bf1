#pragma once

// The library's multi-row picker over a data source's rows.

#include <string>

namespace tk {
class DataSource;
}

// Lets the user pick several rows of the source's dataset and rewrites `list` with the key values
// picked. `caption` is "Title|EmptyText". An empty (or closed) dataset shows EmptyText in the error
// box and leaves the list alone. Otherwise the picker opens with the rows (visible fields, display
// texts, each row's key) and the current selection (the list split at ","); on OK the list becomes
// the picked keys in the order of the rows, joined by exactly one "," ("" when nothing is picked);
// cancelling leaves it alone. `display` is accepted for the callers' sake and not used.
void PesquisaLista(tk::DataSource& source, const std::string& keyField, const std::string& caption,
                   bool display, std::string& list);
