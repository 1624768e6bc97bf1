#pragma once

// The library operations of `Consiste` that work on controls (the non-visual ones are in
// lib/Consiste.h, in the same namespace).

#include <string>

namespace tk {
class Control;
class TDBGrid;
} // namespace tk

namespace Consiste {

// Sets Enabled of every control inside `container`, at any depth; the container itself keeps its own.
void SetChildEnabled(tk::Control& container, bool enabled);

// The text of the grid's current row in the column of `field`, including text being typed into that
// cell. `display` is accepted for the callers' sake; the text is the field's edit text either way.
std::string GridText(tk::TDBGrid& grid, const std::string& field, bool display);

} // namespace Consiste
