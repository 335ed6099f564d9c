// Compare: the rows selected in the table in front, side by side.
#include <QTabWidget>

#include "app/main_form.h"
#include "app/report_view.h"
#include "compare/compare_window.h"
#include "compare/selection_order.h"

void TMainForm::CompareClick() {
  const std::pair<QWidget*, ReportView*> pages[] = {
      {UnitSheet, UnitView}, {WeaponSheet, WeaponView}, {CorpseSheet, CorpseView}, {DownloadSheet, DownloadView}};
  ReportView* view = nullptr;
  QString title;
  for (const auto& [sheet, v] : pages)
    if (MainPanelControl->currentWidget() == sheet) {
      view = v;
      title = MainPanelControl->tabText(MainPanelControl->indexOf(sheet));
    }
  if (!view) return;
  auto* order = view->findChild<SelectionOrder*>();
  const std::vector<int> rows = order ? order->Rows() : std::vector<int>{};
  if (rows.size() < 2 || rows.size() > 8) {
    State.dialogs.ShowMessage("Select 2 to 8 rows to compare (Ctrl+click or Shift+click).");
    return;
  }
  auto* window = new CompareWindow(CompareSourceOf(State, State.Figures, view->Table(), rows), title, State.dialogs, this);
  window->show();
}
