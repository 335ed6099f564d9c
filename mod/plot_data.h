#pragma once
// What a plot of a table draws: which columns hold numbers, one point per row
// with a number in both chosen columns, the group (and so the colour) of each
// point, and the name each row goes by. The table is read through CellGrid,
// so that any table of rows and captioned columns can be plotted; RowTable
// has one ready-made.
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "definitions/row_table.h"

class CellGrid {
 public:
  virtual ~CellGrid() = default;
  virtual int Rows() const = 0;
  virtual int Columns() const = 0;
  virtual std::string_view Caption(int Column) const = 0;
  // Empty for a cell the row does not have.
  virtual std::string_view Cell(int Row, int Column) const = 0;
  // Calls Visit(column, text) for every filled cell of Row, in column order.
  virtual void VisitRow(int Row, const std::function<void(int, std::string_view)>& Visit) const {
    for (int c = 0; c < Columns(); ++c)
      if (const std::string_view text = Cell(Row, c); !text.empty()) Visit(c, text);
  }
};

class RowTableGrid : public CellGrid {
 public:
  explicit RowTableGrid(const RowTable& Table) : Table_(Table) {}
  int Rows() const override { return Table_.RowCount(); }
  int Columns() const override { return Table_.ColumnCount(); }
  std::string_view Caption(int Column) const override { return Table_.ColumnCaption(Column); }
  std::string_view Cell(int Row, int Column) const override {
    return Table_.RowAt(Row).Cell(static_cast<size_t>(Column));
  }
  // The filled cells only, as the row stores them, in one pass.
  void VisitRow(int Row, const std::function<void(int, std::string_view)>& Visit) const override {
    ForEachFilled(Row, Visit);
  }
  // The same for a caller that knows the grid is a RowTableGrid: Visit is
  // called directly, not through a std::function.
  template <typename F>
  void ForEachFilled(int Row, F&& Visit) const {
    const ::Row& row = Table_.RowAt(Row);
    if (!row.Caption.empty()) Visit(0, std::string_view(row.Caption));
    const int columns = Table_.ColumnCount();
    row.ForEachFilledSubItem([&](size_t J, std::string_view Text) {
      if (static_cast<int>(J) + 1 < columns) Visit(static_cast<int>(J) + 1, Text);
    });
  }

 private:
  const RowTable& Table_;
};

// The value of a cell that is a finite decimal number (a sign, digits, a
// point, an exponent; blanks and tabs around it allowed); nullopt otherwise.
std::optional<double> NumberOf(std::string_view Text);
// Whether NumberOf(Text) has a value, mostly without reading it.
bool IsNumber(std::string_view Text);

// The first column with exactly this caption; -1 when none.
int ColumnNamed(const CellGrid& Grid, std::string_view Caption);

// The columns worth plotting, in table order: at least one cell is a number
// and at most one in ten of the filled cells is not (a mod's slip, such as
// text where a number belongs, leaves its column plottable; that row is left
// out of the plot).
std::vector<int> NumericColumns(const CellGrid& Grid);

// The axes a plot starts with, from the numeric columns: cost against
// strength where the table has such columns, else the first two.
struct AxisChoice {
  int X = -1, Y = -1;
};
AxisChoice DefaultAxes(const CellGrid& Grid, const std::vector<int>& Numeric);

// How points are grouped (coloured): by Side where the table has that column
// (units), else by the archive a row came from, or for a loose file by the
// file itself.
struct Grouping {
  int Side = -1, Parent = -1, File = -1;  // columns; -1 when absent
};
Grouping GroupingOf(const CellGrid& Grid);
// The group of Row: its Side, archive or loose file as the table shows it.
std::string GroupKeyOf(const CellGrid& Grid, const Grouping& How, int Row);

// What the point of a row is called: its name (UnitName or SName) with the
// row's caption in parentheses when the two differ, else the caption.
std::string RowLabel(const CellGrid& Grid, int Row);

struct PlotPoint {
  double X, Y;
  int Row;    // in the grid
  int Group;  // index into PlotSet::Groups
};

struct PlotGroup {
  std::string Label;  // for the legend
  int Points = 0;
};

struct PlotSet {
  std::vector<PlotPoint> Points;  // in row order
  std::vector<PlotGroup> Groups;  // in order of their labels
  int Rows = 0;                   // rows looked at
  int NotNumber = 0;              // rows left out: X or Y empty or not a number
  int NotPositive = 0;            // rows left out: X or Y 0 or less on a logarithmic axis
};

// The groups a legend can show apart; beyond them the smallest groups share
// one "Other" group.
constexpr size_t kMaxGroups = 10;

// One point per row with a number in both columns (positive on a
// logarithmic axis), grouped as GroupingOf says.
PlotSet CollectPoints(const CellGrid& Grid, int XColumn, int YColumn, bool LogX, bool LogY);
