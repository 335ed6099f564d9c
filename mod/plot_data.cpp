#include "mod/plot_data.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cmath>
#include <map>

#include "archive/ascii_case.h"
#include "archive/file_lists.h"
#include "mod/cell_text.h"

namespace {

// The plain decimals a definition mostly holds: an optional sign, digits and
// at most one point, with a digit somewhere. Up to kPlainLength characters
// such a number can neither overflow nor underflow a double, so it is a
// finite number without being read. Integer tells whether it has no point.
constexpr size_t kPlainLength = 300;

inline bool IsPlainDecimal(std::string_view Text, bool& Integer) {
  if (Text.empty() || Text.size() > kPlainLength) return false;
  const char* c = Text.data();
  const char* const end = c + Text.size();
  if (*c == '+' || *c == '-') ++c;
  bool digit = false, point = false;
  for (; c != end; ++c) {
    if (static_cast<unsigned char>(*c - '0') <= 9)
      digit = true;
    else if (*c == '.' && !point)
      point = true;
    else
      return false;
  }
  Integer = !point;
  return digit;
}

bool IsBlank(char C) { return C == ' ' || C == '\t'; }

// The value of a plain integer of at most 15 digits, which a double holds
// exactly (as reading it would give).
constexpr size_t kExactDigits = 15;

double PlainInteger(std::string_view Text) {
  const bool negative = Text.front() == '-';
  if (Text.front() == '+' || Text.front() == '-') Text.remove_prefix(1);
  int64_t v = 0;
  for (char c : Text) v = v * 10 + (c - '0');
  const double d = static_cast<double>(v);
  return negative ? -d : d;
}

}  // namespace

std::optional<double> NumberOf(std::string_view Text) {
  Text = TrimBlanks(Text);
  bool integer = false;
  if (IsPlainDecimal(Text, integer) && integer && Text.size() <= kExactDigits) return PlainInteger(Text);
  if (!Text.empty() && Text.front() == '+') {
    Text.remove_prefix(1);  // from_chars reads no plus sign
    if (!Text.empty() && (Text.front() == '+' || Text.front() == '-')) return std::nullopt;
  }
  if (Text.empty()) return std::nullopt;
  // Only the forms a definition writes: "inf", "nan" and hexadecimal are text.
  for (char c : Text)
    if (!((c >= '0' && c <= '9') || c == '.' || c == '-' || c == 'e' || c == 'E' || c == '+')) return std::nullopt;
  double v = 0;
  const auto [end, error] = std::from_chars(Text.data(), Text.data() + Text.size(), v);
  if (error != std::errc() || end != Text.data() + Text.size() || !std::isfinite(v)) return std::nullopt;
  return v;
}

namespace {

// IsNumber, in this file's reach, so that the scan of a table's cells can
// have it inline.
inline bool IsNumberText(std::string_view Text) {
  // Most cells have no blanks around them.
  if (!Text.empty() && (IsBlank(Text.front()) || IsBlank(Text.back()))) Text = TrimBlanks(Text);
  bool integer = false;
  if (IsPlainDecimal(Text, integer)) return true;
  // The rest is read, unless it starts as no number does (most text).
  if (Text.empty()) return false;
  const char first = Text.front();
  if (!(static_cast<unsigned char>(first - '0') <= 9 || first == '.' || first == '-' || first == '+')) return false;
  return NumberOf(Text).has_value();
}

}  // namespace

bool IsNumber(std::string_view Text) { return IsNumberText(Text); }

int ColumnNamed(const CellGrid& Grid, std::string_view Caption) {
  for (int c = 0; c < Grid.Columns(); ++c)
    if (Grid.Caption(c) == Caption) return c;
  return -1;
}

namespace {

// Counts, column by column, the filled cells that are numbers and those that
// are not. A column is numeric when it has a number and at most one in ten
// of its filled cells is not one (9 × text <= numbers). Once a column has so
// much text that numbers in every row still to come could not make it
// numeric, its cells are no longer read: a column of text is settled after
// about a tenth of the rows. (A numeric column could be settled only near
// the end; looking for that would cost more than it saves.)
class ColumnTally {
 public:
  ColumnTally(size_t Columns, int Rows) : Counts_(Columns), Rows_(Rows) {}

  // Row (counted from 0) is the one whose cells come next.
  void StartRow(int Row) { After_ = static_cast<int64_t>(Rows_) - Row - 1; }

  void Add(int C, std::string_view Cell) {
    if (C < 0 || static_cast<size_t>(C) >= Counts_.size()) return;
    Count& c = Counts_[static_cast<size_t>(C)];
    if (c.Settled) return;
    if (IsNumberText(Cell))
      ++c.Numbers;
    else
      c.Settled = 9 * ++c.Text > c.Numbers + After_;
  }

  std::vector<int> Numeric() const {
    std::vector<int> numeric;
    for (size_t c = 0; c < Counts_.size(); ++c)
      if (Counts_[c].Numbers > 0 && 9 * Counts_[c].Text <= Counts_[c].Numbers) numeric.push_back(static_cast<int>(c));
    return numeric;
  }

 private:
  struct Count {
    int64_t Numbers = 0, Text = 0;
    bool Settled = false;
  };
  std::vector<Count> Counts_;
  int Rows_;
  int64_t After_ = 0;  // rows after the current one
};

}  // namespace

std::vector<int> NumericColumns(const CellGrid& Grid) {
  // Row by row, visiting only the filled cells: a wide table fills few.
  ColumnTally tally(static_cast<size_t>(std::max(Grid.Columns(), 0)), Grid.Rows());
  auto add = [&tally](int C, std::string_view Cell) { tally.Add(C, Cell); };
  const auto* table = dynamic_cast<const RowTableGrid*>(&Grid);
  for (int r = 0; r < Grid.Rows(); ++r) {
    tally.StartRow(r);
    if (table)
      table->ForEachFilled(r, add);
    else
      Grid.VisitRow(r, add);
  }
  return tally.Numeric();
}

AxisChoice DefaultAxes(const CellGrid& Grid, const std::vector<int>& Numeric) {
  auto first = [&](std::initializer_list<std::string_view> Captions) {
    for (std::string_view caption : Captions)
      for (int c : Numeric)
        if (Grid.Caption(c) == caption) return c;
    return -1;
  };
  AxisChoice axes;
  axes.X = first({"BuildCostMetal", "Reloadtime", "Metal"});
  axes.Y = first({"DPS", "MaxDamage", "Damage per salvo", "Default", "Damage"});
  for (int c : Numeric) {
    if (axes.X < 0 && c != axes.Y) axes.X = c;
    if (axes.Y < 0 && c != axes.X) axes.Y = c;
  }
  if (axes.Y < 0) axes.Y = axes.X;
  return axes;
}

Grouping GroupingOf(const CellGrid& Grid) {
  Grouping how;
  how.Side = ColumnNamed(Grid, "Side");
  how.Parent = ColumnNamed(Grid, "ParentFile");
  how.File = ColumnNamed(Grid, "UnPackedFile");
  return how;
}

std::string GroupKeyOf(const CellGrid& Grid, const Grouping& How, int Row) {
  if (How.Side >= 0) return std::string(TrimBlanks(Grid.Cell(Row, How.Side)));
  if (How.Parent < 0) return {};
  const std::string_view parent = Grid.Cell(Row, How.Parent);
  if (parent == kNotPacked && How.File >= 0) return std::string(Grid.Cell(Row, How.File));
  return std::string(parent);
}

std::string RowLabel(const CellGrid& Grid, int Row) {
  const std::string caption(Grid.Cell(Row, 0));
  for (std::string_view nameColumn : {"UnitName", "SName"}) {
    const int c = ColumnNamed(Grid, nameColumn);
    if (c <= 0) continue;
    const std::string_view name = TrimBlanks(Grid.Cell(Row, c));
    if (name.empty()) continue;
    if (caption.empty() || EqualIgnoringCase(name, caption)) return std::string(name);
    return std::string(name) + " (" + caption + ")";
  }
  return caption;
}

namespace {

// The last level of a path in an archive or on disk.
std::string_view BaseName(std::string_view Path) {
  const size_t slash = Path.find_last_of("/\\");
  return slash == std::string_view::npos ? Path : Path.substr(slash + 1);
}

bool LessIgnoringCase(const std::string& A, const std::string& B) {
  return std::lexicographical_compare(A.begin(), A.end(), B.begin(), B.end(), [](char X, char Y) {
    return FoldAscii(X) < FoldAscii(Y);
  });
}

}  // namespace

PlotSet CollectPoints(const CellGrid& Grid, int XColumn, int YColumn, bool LogX, bool LogY) {
  PlotSet set;
  set.Rows = Grid.Rows();
  const Grouping how = GroupingOf(Grid);

  // Every row counts towards the groups, plotted or not, so that a group
  // keeps its colour from one pair of columns to the next.
  std::map<std::string, int> rowsOf;
  std::vector<const std::string*> keyOfRow(static_cast<size_t>(set.Rows));
  for (int r = 0; r < set.Rows; ++r) {
    const auto it = rowsOf.try_emplace(GroupKeyOf(Grid, how, r), 0).first;
    ++it->second;
    keyOfRow[static_cast<size_t>(r)] = &it->first;
  }

  // The largest groups keep their own; the rest share "Other".
  std::vector<const std::string*> keys;
  for (const auto& [key, rows] : rowsOf) keys.push_back(&key);
  std::stable_sort(keys.begin(), keys.end(),
                   [&](const std::string* A, const std::string* B) { return rowsOf.at(*A) > rowsOf.at(*B); });
  const bool other = keys.size() > kMaxGroups;
  if (other) keys.resize(kMaxGroups - 1);

  auto label = [&](const std::string& Key) {
    if (Key.empty()) return std::string("(none)");
    if (how.Side >= 0) return Key;
    std::string base(BaseName(Key));
    for (const std::string* k : keys)
      if (*k != Key && EqualIgnoringCase(BaseName(*k), base)) return Key;  // two of one name: the whole path
    return base;
  };
  std::vector<std::pair<std::string, const std::string*>> labelled;
  for (const std::string* k : keys) labelled.emplace_back(label(*k), k);
  std::stable_sort(labelled.begin(), labelled.end(),
                   [](const auto& A, const auto& B) { return LessIgnoringCase(A.first, B.first); });
  std::map<const std::string*, int> groupOf;
  for (const auto& [text, key] : labelled) {
    groupOf[key] = static_cast<int>(set.Groups.size());
    set.Groups.push_back({text, 0});
  }
  if (other) set.Groups.push_back({"Other", 0});

  for (int r = 0; r < set.Rows; ++r) {
    const std::optional<double> x = NumberOf(Grid.Cell(r, XColumn)), y = NumberOf(Grid.Cell(r, YColumn));
    if (!x || !y) {
      ++set.NotNumber;
      continue;
    }
    if ((LogX && *x <= 0) || (LogY && *y <= 0)) {
      ++set.NotPositive;
      continue;
    }
    const auto g = groupOf.find(keyOfRow[static_cast<size_t>(r)]);
    const int group = g != groupOf.end() ? g->second : static_cast<int>(set.Groups.size()) - 1;
    ++set.Groups[static_cast<size_t>(group)].Points;
    set.Points.push_back({*x, *y, r, group});
  }
  return set;
}
