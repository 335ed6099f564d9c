#pragma once
// Rows of a table side by side: one column per definition, one line per key
// any of them has (the table's column order, then the balance figures), the
// first definition as the baseline that every other number is measured
// against, and the highest and lowest number of each line marked. Texts are
// 8-bit (Latin-1), as the tables hold them.
#include <optional>
#include <string>
#include <vector>

#include "definitions/table_state.h"

class FigureColumns;

// What is compared: Values[d][k] is the value of key Keys[k] in definition d.
struct CompareSource {
  std::vector<std::string> Headers;  // one per definition: its caption
  std::vector<std::string> Keys;
  std::vector<bool> Computed;        // per key: a balance figure
  std::vector<std::vector<std::string>> Values;
};

struct CompareCell {
  std::string Text;  // as shown: the value, its difference from the baseline, a marker
  std::optional<double> Number;
  bool Highest = false, Lowest = false;
};

struct CompareLine {
  std::string Key;
  bool Computed = false;
  bool Differs = false;  // not every definition holds the same value
  std::vector<CompareCell> Cells;
};

struct CompareGrid {
  std::vector<std::string> Headers;
  std::vector<CompareLine> Lines;  // the lines shown
};

// The markers added to the highest and the lowest number of a line.
inline constexpr const char* kHighestMark = " [highest]";
inline constexpr const char* kLowestMark = " [lowest]";

// The grid of Source. A number other than the baseline's (the first
// definition's) is shown with its difference, "120 (+20, +20%)"; the same
// number as "120 (same)"; a percentage is left out when the baseline is 0.
// Where a line holds two or more different numbers, the highest and the
// lowest get kHighestMark and kLowestMark. Lines no definition has a value
// for are left out, and with OnlyDifferences also the lines whose values
// are all the same (numbers by value).
CompareGrid MakeCompareGrid(const CompareSource& Source, bool OnlyDifferences);

// The rows Rows of View (2 to 8 row numbers; the first is the baseline) as
// a source: every column of the table, and the balance figures at the end
// (worked out now when the table does not show them).
CompareSource CompareSourceOf(TableState& State, const FigureColumns& Figures, const RowTable& View,
                              const std::vector<int>& Rows);

// The grid as tab-separated text: a line of headers (an empty first field
// above the keys), then a line per key; lines end in LF. Tabs, CR and LF in a
// text become blanks.
std::string CompareGridTsv(const CompareGrid& Grid);
