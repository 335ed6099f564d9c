// Header clicks: the clicked column becomes the table's sort column and the
// table is sorted by it at once, always ascending.
#include "app/main_form.h"
#include "definitions/build_rows.h"

namespace {

void SortBy(AppState& State, RowTable& View, int Column) {
  if (Column < 0 || Column >= View.ColumnCount()) return;
  State.SortColumnOf(View) = TMainForm::ColumnIndexByCaption(View, View.ColumnCaption(Column));
  SortTable(State, View);
}

}  // namespace

int TMainForm::ColumnIndexByCaption(const RowTable& View, const std::string& Caption) {
  for (int i = 0; i < View.ColumnCount(); ++i)
    if (View.ColumnCaption(i) == Caption) return static_cast<uint16_t>(i);
  return 0;
}

void TMainForm::UnitViewColumnClick(int Column) { SortBy(State, State.UnitView, Column); }
void TMainForm::WeaponViewColumnClick(int Column) { SortBy(State, State.WeaponView, Column); }
void TMainForm::CorpseViewColumnClick(int Column) { SortBy(State, State.CorpseView, Column); }
void TMainForm::DownloadViewColumnClick(int Column) { SortBy(State, State.DownloadView, Column); }
