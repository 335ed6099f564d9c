// The balance figure columns: the menu switch, remembered with the other
// settings, and the tooltips of their cells.
#include <QAction>
#include <QApplication>
#include <QSettings>

#include "app/main_form.h"
#include "app/report_view.h"
#include "compare/selection_order.h"

namespace {
const char kFiguresSetting[] = "view/balanceFigures";
}

void TMainForm::SetUpBalanceFigures() {
  for (ReportView* view : {UnitView, WeaponView}) {
    RowTable& table = view->Table();
    view->Model()->ComputedToolTip = [this, &table](int Row, int Column) {
      return State.Figures.ToolTip(table, Row, Column);
    };
  }
  for (ReportView* view : {UnitView, WeaponView, CorpseView, DownloadView}) {
    new SelectionOrder(view);
    view->setContextMenuPolicy(Qt::ActionsContextMenu);
    view->addAction(Compare1);
  }
}

// The saved choice, applied by LoadSettings at start-up.
void TMainForm::LoadBalanceFiguresSetting() {
  if (Settings && Settings->value(kFiguresSetting, false).toBool() != BalanceFigures->isChecked())
    BalanceFiguresClick();
}

void TMainForm::BalanceFiguresClick() {
  const bool on = !BalanceFigures->isChecked();
  QApplication::setOverrideCursor(Qt::WaitCursor);
  State.Figures.Show(on);
  QApplication::restoreOverrideCursor();
  BalanceFigures->setChecked(on);
  if (Settings) Settings->setValue(kFiguresSetting, on);
}
