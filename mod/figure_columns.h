#pragma once
// The balance figures as columns of the units and weapons tables: added at
// the end of both tables or removed again, and kept in step with the rows
// (row building calls back after every change). The window's switch and
// kestrava-table --computed use it, and the window reads the tooltips here.
#include <string>

#include "definitions/table_state.h"
#include "mod/balance_figures.h"

// The figures of row R of View (units or weapons) in Figures; none for
// other rows and tables.
FigureRef FiguresOfRow(const TableState& State, const BalanceFigures& Figures, const RowTable& View, const Row& R);

class FigureColumns {
 public:
  explicit FigureColumns(TableState& State) : State_(State) {}
  ~FigureColumns();
  FigureColumns(const FigureColumns&) = delete;
  FigureColumns& operator=(const FigureColumns&) = delete;

  bool Shown() const { return Shown_; }
  // Adds the computed columns (fitted to their contents) and fills them, or
  // removes them with their cells; a table sorted by a removed column goes
  // back to its first column.
  void Show(bool On);
  // Works every figure out anew from the definitions loaded now and writes
  // them into the rows, when the columns are shown. Row building calls it
  // after adding or replacing rows; after rows and entries were removed (Close,
  // Close All, the include switch off) the caller calls it once the entries
  // are gone.
  void Refresh();
  // While held, rows built get the figures worked out last (new rows empty
  // cells, so that every row has the columns); letting go works them out anew.
  void Hold(bool On);

  // The first computed column of View; -1 when View has none.
  int FirstColumn(const RowTable& View) const;
  // The tooltip of the cell at row RowIndex, column Column of View: the
  // formula with its numbers or why the cell is empty; empty when the cell
  // is not a computed one. Written when asked for.
  std::string ToolTip(const RowTable& View, int RowIndex, int Column) const;
  const BalanceFigures& Figures() const { return Figures_; }

 private:
  void AfterRowsBuilt(RowTable& View, int Mode);
  void Fill(RowTable& View);

  TableState& State_;
  bool Shown_ = false;
  bool Held_ = false;
  BalanceFigures Figures_;
};
