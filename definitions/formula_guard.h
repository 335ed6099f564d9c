#pragma once
// Cells that a spreadsheet would run as a formula, written so that it shows
// them as text, and read back as they were.
#include <string>
#include <string_view>

// True when Cell, once any leading apostrophes are set aside, begins with '=',
// '@', TAB or CR, or with '+' or '-' without being a plain number ("-7" and
// "+3.5" are plain numbers; "-2+3" and "+A1" are not).
bool NeedsFormulaGuard(std::string_view Cell);

// Cell with a leading apostrophe when NeedsFormulaGuard(Cell), else Cell as it
// is. A cell that already begins with apostrophes before such a character gets
// one more, so that UnguardFormula gives back every cell exactly.
std::string GuardFormula(std::string_view Cell);

// The inverse of GuardFormula: Cell without the apostrophe GuardFormula put in
// front of it, else Cell as it is.
std::string_view UnguardFormula(std::string_view Cell);
