#pragma once
// Cell notes from a TableMarks over the four tables of the program state: the
// Problems and the Changes list each keep one and lay it over the views.
#include "app/cell_annotations.h"
#include "state/app_state.h"
#include "state/open_sources.h"

class TableMarksAnnotations : public CellAnnotations {
 public:
  explicit TableMarksAnnotations(const AppState& State) : State_(State) {}
  TableMarks Marks;

  bool MarksOf(const RowTable& Table, const Row& R, std::vector<CellMark>& Out) const override {
    TableKind kind;
    if (Marks.Empty() || !KindOfTable(State_, Table, kind)) return false;
    return Marks.MarksOf(kind, Table, R, Out);
  }

 private:
  const AppState& State_;
};
