#include "mod/figure_columns.h"

#include <span>
#include <vector>

#include "definitions/build_rows.h"
#include "definitions/column_sort.h"

namespace {

std::span<const char* const> CaptionsOf(const TableState& State, const RowTable& View) {
  if (&View == &State.UnitView) return UnitFigureCaptions;
  if (&View == &State.WeaponView) return WeaponFigureCaptions;
  return {};
}

}  // namespace

FigureColumns::~FigureColumns() {
  if (Shown_) State_.RowsBuilt = nullptr;
}

int FigureColumns::FirstColumn(const RowTable& View) const {
  for (int c = 0; c < View.ColumnCount(); ++c)
    if (View.ColumnComputed(c)) return c;
  return -1;
}

void FigureColumns::Show(bool On) {
  if (On == Shown_) return;
  Shown_ = On;
  RowTable* const views[] = {&State_.UnitView, &State_.WeaponView};
  if (!On) {
    State_.RowsBuilt = nullptr;
    for (RowTable* view : views) {
      const int first = FirstColumn(*view);
      if (first < 0) continue;
      view->BeginUpdate();
      int& sort = State_.SortColumnOf(*view);
      view->RemoveColumnsFrom(first);
      if (sort >= first) {
        sort = 0;
        SortTable(State_, *view);
      }
      view->EndUpdate();
    }
    Figures_ = BalanceFigures();
    return;
  }
  for (RowTable* view : views) {
    view->BeginUpdate();
    for (const char* caption : CaptionsOf(State_, *view)) {
      view->AddColumn(caption, 0, true);
      view->FitColumnToHeader(view->ColumnCount() - 1);
    }
    view->EndUpdate();
  }
  State_.RowsBuilt = [this](RowTable& View, int Mode) { AfterRowsBuilt(View, Mode); };
  Refresh();
}

void FigureColumns::AfterRowsBuilt(RowTable& View, int Mode) {
  // Removed rows leave the others' figures as they were until the entries
  // are gone too, and the caller refreshes.
  if (Mode != brAddNew && Mode != brReplaceFile) return;
  if (&View == &State_.CorpseView) return;
  if (Held_) {
    if (FirstColumn(View) >= 0) Fill(View);
    return;
  }
  Refresh();
}

void FigureColumns::Hold(bool On) {
  Held_ = On;
  if (!On) Refresh();
}

void FigureColumns::Refresh() {
  if (!Shown_) return;
  Figures_ = ComputeBalanceFigures(State_);
  for (RowTable* view : {&State_.UnitView, &State_.WeaponView}) {
    view->BeginUpdate();
    Fill(*view);
    const int first = FirstColumn(*view);
    if (State_.AutosizeSetting())
      for (int c = first; c >= 0 && c < view->ColumnCount(); ++c)
        if (view->ColumnWidth(c) > 0) view->FitColumnToContents(c);
    // A table sorted by a figure is sorted again, as its figures changed.
    if (first >= 0 && State_.SortColumnOf(*view) >= first) SortTable(State_, *view);
    view->EndUpdate();
  }
}

namespace {

// The figures of row R of View, the weapons table's SName being column SName.
FigureRef RowFigures(const TableState& State, const BalanceFigures& Figures, const RowTable& View, const Row& R,
                     int SName) {
  if (&View == &State.UnitView) return Figures.UnitOf(R.Data);
  // A weapon row names its section in SName.
  if (&View == &State.WeaponView)
    return Figures.WeaponOf(R.Data, SName > 0 ? R.Cell(static_cast<size_t>(SName)) : std::string_view());
  return {};
}

}  // namespace

FigureRef FiguresOfRow(const TableState& State, const BalanceFigures& Figures, const RowTable& View, const Row& R) {
  return RowFigures(State, Figures, View, R, &View == &State.WeaponView ? ColumnIndexByCaption(View, "SName") : 0);
}

void FigureColumns::Fill(RowTable& View) {
  const int first = FirstColumn(View);
  if (first < 1) return;
  const size_t count = static_cast<size_t>(View.ColumnCount() - first);
  const int sname = &View == &State_.WeaponView ? ColumnIndexByCaption(View, "SName") : 0;
  std::vector<std::string> tail(count);
  for (int i = 0; i < View.RowCount(); ++i) {
    Row& r = View.RowAt(i);
    const FigureRef f = RowFigures(State_, Figures_, View, r, sname);
    for (size_t k = 0; k < count; ++k) tail[k] = k < f.Count() ? Figures_.Text(f, k) : std::string();
    r.ReplaceSubItemsFrom(static_cast<size_t>(first - 1), tail);
  }
  View.CellsChanged();
}

std::string FigureColumns::ToolTip(const RowTable& View, int RowIndex, int Column) const {
  const int first = FirstColumn(View);
  if (first < 0 || Column < first || RowIndex < 0 || RowIndex >= View.RowCount()) return "";
  const FigureRef f = FiguresOfRow(State_, Figures_, View, View.RowAt(RowIndex));
  const auto k = static_cast<size_t>(Column - first);
  if (!f) return "This row has no definition the figures could be worked out from";
  return k < f.Count() ? Figures_.Worked(f, k).Tooltip : "";
}
