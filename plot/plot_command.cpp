// Extra > Plot: the plot of the table in front, one window per table.
#include <QTabWidget>

#include "app/main_form.h"
#include "app/report_view.h"
#include "plot/plot_window.h"

void TMainForm::Plot1Click() {
  // While the edit page is open, the table it was opened from is in front.
  QWidget* page = MainPanelControl->currentWidget();
  if (page == EditSheet) page = ReturnPage ? ReturnPage : UnitSheet;
  ReportView* view = page == WeaponSheet     ? WeaponView
                     : page == CorpseSheet   ? CorpseView
                     : page == DownloadSheet ? DownloadView
                                             : UnitView;
  if (view == UnitView) page = UnitSheet;
  for (PlotWindow* open : findChildren<PlotWindow*>(Qt::FindDirectChildrenOnly)) {
    if (open->View() != view) continue;
    open->show();
    open->raise();
    open->activateWindow();
    return;
  }
  // A row chosen in the plot is shown in its table, as a click there shows it.
  auto reveal = [this, view, page] {
    if (MainPanelControl->currentWidget() != EditSheet) MainPanelControl->setCurrentWidget(page);
    if (view == UnitView) UnitViewClick();
    activateWindow();
    view->setFocus(Qt::OtherFocusReason);
  };
  auto* plot = new PlotWindow(*view, State.dialogs, reveal, this);
  plot->setWindowTitle(QStringLiteral("Plot - ") + MainPanelControl->tabText(MainPanelControl->indexOf(page)));
  plot->show();
}
