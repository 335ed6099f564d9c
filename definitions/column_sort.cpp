#include "definitions/column_sort.h"

#include <cstdint>

#include "definitions/build_rows.h"

int ColumnIndexByCaption(const RowTable& View, const std::string& Caption) {
  for (int i = 0; i < View.ColumnCount(); ++i)
    if (View.ColumnCaption(i) == Caption) return static_cast<uint16_t>(i);
  return 0;
}

void SortByColumn(TableState& State, RowTable& View, int Column) {
  if (Column < 0 || Column >= View.ColumnCount()) return;
  State.SortColumnOf(View) = ColumnIndexByCaption(View, View.ColumnCaption(Column));
  SortTable(State, View);
}
