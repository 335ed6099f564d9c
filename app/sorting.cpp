// Header clicks: the clicked column becomes the table's sort column and the
// table is sorted by it at once, ascending. A second click on the column just
// sorted turns the order round (descending), a third back, and so on; the
// header's arrow shows the order.
#include <QHeaderView>

#include "app/main_form.h"
#include "app/report_view.h"
#include "definitions/column_sort.h"

int TMainForm::ColumnIndexByCaption(const RowTable& View, const std::string& Caption) {
  return ::ColumnIndexByCaption(View, Caption);
}

void TMainForm::SortClick(ReportView* View, RowTable& Table, int Column) {
  if (Column < 0 || Column >= Table.ColumnCount()) return;
  // The header flips its own arrow on a click once it shows one; the order
  // is decided here, from the table's state, and the arrow set to match.
  const bool again = SortClicked_.count(&Table) && State.SortColumnOf(Table) == Column;
  const bool descending = again && !State.SortDescendingOf(Table);
  SortClicked_.insert(&Table);
  State.SortDescendingOf(Table) = descending;
  SortByColumn(State, Table, Column);
  QHeaderView* h = View->header();
  h->setSortIndicatorShown(true);
  h->setSortIndicator(Column, descending ? Qt::DescendingOrder : Qt::AscendingOrder);
}

void TMainForm::UnitViewColumnClick(int Column) { SortClick(UnitView, State.UnitView, Column); }
void TMainForm::WeaponViewColumnClick(int Column) { SortClick(WeaponView, State.WeaponView, Column); }
void TMainForm::CorpseViewColumnClick(int Column) { SortClick(CorpseView, State.CorpseView, Column); }
void TMainForm::DownloadViewColumnClick(int Column) { SortClick(DownloadView, State.DownloadView, Column); }
