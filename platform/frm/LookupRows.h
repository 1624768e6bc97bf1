#pragma once

// The rows of a dataset as the list dialogs show them.

#include "toolkit/Application.h"

#include <string_view>

namespace tk {
class DataSet;
}

namespace frm {

// The dataset's visible fields (titles from their labels), each row's display texts in order, and,
// when `keyField` names a field, each row's raw key value. Fields with a get-text handler need their
// row to be current while the handler runs: the dataset is then walked row by row with its scroll
// event held back, and put back on the record it stood on.
tk::DialogRows lookupRows(tk::DataSet& set, std::string_view keyField = {});

} // namespace frm
