// Header clicks: the clicked column becomes the table's sort column and the
// table is sorted by it at once, always ascending.
#include "app/main_form.h"
#include "definitions/column_sort.h"

int TMainForm::ColumnIndexByCaption(const RowTable& View, const std::string& Caption) {
  return ::ColumnIndexByCaption(View, Caption);
}

void TMainForm::UnitViewColumnClick(int Column) { SortByColumn(State, State.UnitView, Column); }
void TMainForm::WeaponViewColumnClick(int Column) { SortByColumn(State, State.WeaponView, Column); }
void TMainForm::CorpseViewColumnClick(int Column) { SortByColumn(State, State.CorpseView, Column); }
void TMainForm::DownloadViewColumnClick(int Column) { SortByColumn(State, State.DownloadView, Column); }
