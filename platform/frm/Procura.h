#pragma once

// The library's record search.

namespace tk {
class DataSet;
}

// Lets the user search the dataset's rows (its visible fields) and leaves it on the row found. A
// closed dataset, or one whose record is being edited, is left alone; so is a cancelled search.
void Procura(tk::DataSet& set);
