#pragma once
// A header click: the clicked column becomes the table's sort column and the
// table is sorted by it at once, always ascending. Shared by the window's
// header-click handlers and the command-line table tool.
#include <string>

#include "definitions/table_state.h"

// Position of the first column whose caption equals Caption exactly (the
// captions of one table are unique); 0 when none does.
int ColumnIndexByCaption(const RowTable& View, const std::string& Caption);

// Makes Column View's sort column and sorts View by it with ItempCompare.
// A position outside the table changes nothing.
void SortByColumn(TableState& State, RowTable& View, int Column);
