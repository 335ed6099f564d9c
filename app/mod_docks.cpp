#include "app/mod_docks.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

#include "app/main_form.h"
#include "changes/changes_dock.h"
#include "problems/problems_dock.h"

void AddModDocks(TMainForm& Form) {
  Form.Problems = new ProblemsDock(Form);
  Form.Changes = new ChangesDock(Form);
  for (QDockWidget* dock : {static_cast<QDockWidget*>(Form.Problems), static_cast<QDockWidget*>(Form.Changes)}) {
    Form.addDockWidget(Qt::BottomDockWidgetArea, dock);
    dock->hide();
  }
  Form.tabifyDockWidget(Form.Problems, Form.Changes);

  // At the end of the Extra menu: the menu bar stays as it was.
  QMenu* menu = Form.menuBar()->findChild<QMenu*>("Extra1");
  menu->addSeparator();
  Form.CheckProblems = menu->addAction("Check for &Problems");
  Form.CheckProblems->setObjectName("CheckProblems");
  QObject::connect(Form.CheckProblems, &QAction::triggered, Form.Problems, [&Form] { Form.Problems->Run(); });
  Form.CompareVersion = menu->addAction(QString::fromUtf8("Compare with &Version\u2026"));
  Form.CompareVersion->setObjectName("CompareVersion");
  QObject::connect(Form.CompareVersion, &QAction::triggered, Form.Changes, [&Form] { Form.Changes->Compare(); });
  Form.EndComparison = menu->addAction("&End Comparison");
  Form.EndComparison->setObjectName("EndComparison");
  Form.EndComparison->setEnabled(false);
  QObject::connect(Form.EndComparison, &QAction::triggered, Form.Changes, [&Form] { Form.Changes->End(); });
  QObject::connect(Form.Changes, &ChangesDock::ComparingChanged, Form.EndComparison, &QAction::setEnabled);
  menu->addSeparator();
  menu->addAction(Form.Problems->toggleViewAction());
  menu->addAction(Form.Changes->toggleViewAction());
}
