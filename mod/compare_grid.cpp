#include "mod/compare_grid.h"

#include <algorithm>
#include <cmath>
#include <span>

#include "mod/figure_columns.h"
#include "mod/figure_number.h"

namespace {

std::string Signed(double V) { return (V > 0 ? "+" : "") + FormatFigure(V); }

bool SameValue(const std::string& A, const std::optional<double>& NA, const std::string& B,
               const std::optional<double>& NB) {
  if (NA && NB) return *NA == *NB;
  return A == B;
}

}  // namespace

CompareGrid MakeCompareGrid(const CompareSource& Source, bool OnlyDifferences) {
  CompareGrid grid;
  grid.Headers = Source.Headers;
  const size_t n = Source.Values.size();
  for (size_t k = 0; k < Source.Keys.size(); ++k) {
    CompareLine line;
    line.Key = Source.Keys[k];
    line.Computed = k < Source.Computed.size() && Source.Computed[k];
    bool any = false;
    std::vector<std::string> raw(n);
    std::vector<std::optional<double>> numbers(n);
    for (size_t d = 0; d < n; ++d) {
      raw[d] = k < Source.Values[d].size() ? Source.Values[d][k] : std::string();
      numbers[d] = ParseFigureNumber(raw[d]);
      any |= !raw[d].empty();
    }
    if (!any) continue;
    for (size_t d = 1; d < n; ++d) line.Differs |= !SameValue(raw[0], numbers[0], raw[d], numbers[d]);
    if (OnlyDifferences && !line.Differs) continue;

    std::optional<double> high, low;
    for (const auto& v : numbers)
      if (v) {
        high = std::max(high.value_or(*v), *v);
        low = std::min(low.value_or(*v), *v);
      }
    const bool marked = high && low && *high != *low;
    for (size_t d = 0; d < n; ++d) {
      CompareCell cell;
      cell.Number = numbers[d];
      cell.Text = raw[d];
      if (d > 0 && numbers[d] && numbers[0]) {
        const double diff = *numbers[d] - *numbers[0];
        if (diff == 0) cell.Text += " (same)";
        else if (*numbers[0] == 0) cell.Text += " (" + Signed(diff) + ")";
        else cell.Text += " (" + Signed(diff) + ", " + Signed(diff / std::fabs(*numbers[0]) * 100) + "%)";
      }
      if (marked && numbers[d]) {
        cell.Highest = *numbers[d] == *high;
        cell.Lowest = *numbers[d] == *low;
        if (cell.Highest) cell.Text += kHighestMark;
        if (cell.Lowest) cell.Text += kLowestMark;
      }
      line.Cells.push_back(std::move(cell));
    }
    grid.Lines.push_back(std::move(line));
  }
  return grid;
}

CompareSource CompareSourceOf(TableState& State, const FigureColumns& Figures, const RowTable& View,
                              const std::vector<int>& Rows) {
  CompareSource source;
  for (int c = 1; c < View.ColumnCount(); ++c) {
    source.Keys.push_back(View.ColumnCaption(c));
    source.Computed.push_back(View.ColumnComputed(c));
  }
  // Figures the table does not show are worked out for the comparison.
  const bool shown = Figures.FirstColumn(View) >= 0;
  BalanceFigures computed;
  std::span<const char* const> captions;
  if (!shown && (&View == &State.UnitView || &View == &State.WeaponView)) {
    computed = ComputeBalanceFigures(State);
    captions = &View == &State.UnitView ? std::span<const char* const>(UnitFigureCaptions)
                                        : std::span<const char* const>(WeaponFigureCaptions);
    for (const char* c : captions) {
      source.Keys.emplace_back(c);
      source.Computed.push_back(true);
    }
  }
  for (int r : Rows) {
    if (r < 0 || r >= View.RowCount()) continue;
    const Row& row = View.RowAt(r);
    source.Headers.push_back(row.Caption);
    std::vector<std::string>& values = source.Values.emplace_back();
    for (int c = 1; c < View.ColumnCount(); ++c) values.emplace_back(row.Cell(static_cast<size_t>(c)));
    if (captions.empty()) continue;
    const FigureRef f = FiguresOfRow(State, computed, View, row);
    for (size_t k = 0; k < captions.size(); ++k) values.push_back(k < f.Count() ? computed.Text(f, k) : std::string());
  }
  return source;
}

std::string CompareGridTsv(const CompareGrid& Grid) {
  auto field = [](std::string Text) {
    for (char& c : Text)
      if (c == '\t' || c == '\r' || c == '\n') c = ' ';
    return Text;
  };
  std::string out;
  for (const std::string& h : Grid.Headers) out += "\t" + field(h);
  out += "\n";
  for (const CompareLine& l : Grid.Lines) {
    out += field(l.Key);
    for (const CompareCell& c : l.Cells) out += "\t" + field(c.Text);
    out += "\n";
  }
  return out;
}
