#pragma once
// Notes that windows lay over the cells of a report view: a list of findings
// or of differences marks the cells it is about. A view asks its providers
// only while it has any, so a view without them pays nothing per cell.
#include <vector>

#include "definitions/row_table.h"
#include "mod/table_marks.h"

class CellAnnotations {
 public:
  virtual ~CellAnnotations() = default;
  // Appends the marks of row R of Table to Out; false when it has none.
  virtual bool MarksOf(const RowTable& Table, const Row& R, std::vector<CellMark>& Out) const = 0;
};
