#include "mod/plot_data.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <map>

#include "archive/ascii_case.h"
#include "archive/file_lists.h"
#include "mod/cell_text.h"

std::optional<double> NumberOf(std::string_view Text) {
  Text = TrimBlanks(Text);
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

int ColumnNamed(const CellGrid& Grid, std::string_view Caption) {
  for (int c = 0; c < Grid.Columns(); ++c)
    if (Grid.Caption(c) == Caption) return c;
  return -1;
}

std::vector<int> NumericColumns(const CellGrid& Grid) {
  // Row by row, visiting only the filled cells: a wide table fills few.
  const size_t columns = static_cast<size_t>(std::max(Grid.Columns(), 0));
  std::vector<int> numbers(columns), text(columns);
  for (int r = 0; r < Grid.Rows(); ++r)
    Grid.VisitRow(r, [&](int C, std::string_view Cell) {
      if (C < 0 || static_cast<size_t>(C) >= columns) return;
      ++(NumberOf(Cell) ? numbers : text)[static_cast<size_t>(C)];
    });
  std::vector<int> numeric;
  for (size_t c = 0; c < columns; ++c)
    if (numbers[c] > 0 && text[c] * 10 <= numbers[c] + text[c]) numeric.push_back(static_cast<int>(c));
  return numeric;
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
