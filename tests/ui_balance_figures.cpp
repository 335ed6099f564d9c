// The balance figure columns in the window: off at first, switched on from
// the menu and remembered, following the rows after Open, a sort, Save and
// Close All; and the Compare window over selected rows, read as a screen
// reader reads it.
#include <QAccessible>
#include <QCheckBox>
#include <QHeaderView>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QTableWidget>
#include <QtTest>

#include "compare/compare_window.h"
#include "ui_main_fixture.h"

using namespace uitest;

namespace {

const std::string kWeapons =
    "[LASER2]\r\n{\r\n\tID=1;\r\n\treloadtime=2;\r\n\trange=300;\r\n\t[DAMAGE]\r\n\t{\r\n\t\tdefault=19;\r\n\t}\r\n}\r\n"
    "[BIG]\r\n{\r\n\tID=2;\r\n\treloadtime=0.5;\r\n\tburst=2;\r\n\t[DAMAGE]\r\n\t{\r\n\t\tdefault=100;\r\n\t}\r\n}\r\n";

ArchiveFiles Mod() {
  return {{"weapons\\W.TDF", kWeapons},
          {"units\\U1.FBI", Unit("1", {{"UnitName", "U1"}, {"BuildCostMetal", "30"}, {"Weapon1", "laser2"}})},
          {"units\\U2.FBI", Unit("2", {{"UnitName", "U2"}, {"BuildCostMetal", "200"}, {"Weapon1", "BIG"}})},
          {"download\\M.TDF", "[MENUENTRY1]\r\n{\r\n\tUNITMENU=U1;\r\n\tUNITNAME=U2;\r\n}\r\n"}};
}

int ColumnNamed(const RowTable& T, const std::string& Caption) { return Fixture::ColumnOf(T, Caption); }

std::string CellOf(const RowTable& T, const std::string& Unit, const std::string& Caption) {
  for (int i = 0; i < T.RowCount(); ++i)
    if (T.Cell(i, ColumnNamed(T, "UnitName")) == Unit) return T.Cell(i, ColumnNamed(T, Caption));
  return "no row";
}

}  // namespace

class BalanceFiguresTest : public QObject {
  Q_OBJECT

  QTemporaryDir config_;
  // The settings of this test only, in a file of its own.
  QString File() const { return config_.filePath("kestrava.conf"); }
  std::unique_ptr<QSettings> Settings() const { return std::make_unique<QSettings>(File(), QSettings::IniFormat); }
  bool Saved() const { return QSettings(File(), QSettings::IniFormat).value("view/balanceFigures").toBool(); }

 private slots:

  void columnsFollowTheRows() {
    Fixture f(Settings());
    RowTable& units = f.S().UnitView;
    QCOMPARE(units.ColumnCount(), 104);  // off at first: the table as drawn
    QVERIFY(!f.M().BalanceFigures->isChecked());
    f.Open({f.Archive("a.ufo", Mod())});
    f.M().BalanceFigures->trigger();
    QVERIFY(f.M().BalanceFigures->isChecked());
    QCOMPARE(Saved(), true);
    QCOMPARE(units.ColumnCount(), 110);
    QCOMPARE(f.S().WeaponView.ColumnCount(), 76);
    QVERIFY(units.ColumnComputed(104) && !units.ColumnComputed(103));
    QVERIFY(units.ColumnWidth(104) > 0);
    QCOMPARE(CellOf(units, "U1", "DPS (computed)"), std::string("9.5"));
    QCOMPARE(CellOf(units, "U2", "DPS (computed)"), std::string("400"));

    // The header set apart, and saying what it is; a cell's tooltip gives the formula.
    RowTableModel* model = f.M().UnitView->Model();
    const int dps = ColumnNamed(units, "DPS (computed)");
    QVERIFY(qvariant_cast<QFont>(model->headerData(dps, Qt::Horizontal, Qt::FontRole)).italic());
    QVERIFY(!model->headerData(1, Qt::Horizontal, Qt::FontRole).isValid());
    QVERIFY(model->headerData(dps, Qt::Horizontal, Qt::AccessibleDescriptionRole).toString().contains("Computed"));
    int u1 = 0;
    while (units.Cell(u1, 1) != "U1") ++u1;
    QCOMPARE(model->data(model->index(u1, dps), Qt::ToolTipRole).toString().section('\n', 0, 0),
             QString::fromUtf8("DPS = 19 × 1 ÷ 2 = 9.5 (LASER2)"));
    QVERIFY(!model->data(model->index(u1, 1), Qt::ToolTipRole).isValid());

    // Sorted as numbers: 9.5 before 400 (as text "400" would come first), an empty cell before both.
    f.Open({f.Archive("b.ufo", {{"units\\U3.FBI", Unit("3", {{"UnitName", "U3"}})}})});
    f.M().UnitViewColumnClick(dps);
    QCOMPARE(Fixture::Column(units, 1), (Strings{"U3", "U1", "U2"}));

    // Save: the weapon's new damage reaches the unit's figure, and the order follows it.
    RowTable& weapons = f.S().WeaponView;
    int laser = 0;
    while (weapons.Cell(laser, ColumnNamed(weapons, "SName")) != "LASER2") ++laser;
    f.M().MainPanelControl->setCurrentWidget(f.M().WeaponSheet);
    weapons.Select(laser);
    f.M().WeaponViewDblClick();
    f.M().EditSave->click();
    f.M().EditMemo->setPlainText(f.M().EditMemo->toPlainText().replace("default=19", "default=1000"));
    f.M().EditSave->click();
    QCOMPARE(CellOf(units, "U1", "DPS (computed)"), std::string("500"));
    QCOMPARE(Fixture::Column(units, 1), (Strings{"U3", "U2", "U1"}));

    // Sorted by a figure of text (U2 is built by U1), a new archive opens
    // without a failed comparison: its rows have their figure cells before any sort.
    f.M().UnitViewColumnClick(ColumnNamed(units, "Built by (computed)"));
    f.Open({f.Archive("c.ufo", {{"units\\U4.FBI", Unit("4", {{"UnitName", "U4"}, {"Weapon1", "BIG"}})}})});
    QVERIFY(f.D.Messages.empty());
    QCOMPARE(CellOf(units, "U4", "DPS (computed)"), std::string("400"));

    // Hidden like any column, and kept hidden when the figures change.
    units.SetColumnWidth(dps, 0);
    QVERIFY(f.M().UnitView->header()->isSectionHidden(dps));

    // Close All: no rows, no figures; switched off: the table as drawn again.
    f.M().CloseAll1Click();
    QCOMPARE(units.RowCount(), 0);
    QVERIFY(f.S().Figures.Figures().UnitCount() == 0);
    f.M().BalanceFigures->trigger();
    QCOMPARE(units.ColumnCount(), 104);
    QCOMPARE(Saved(), false);
  }

  void theChoiceIsRemembered() {
    Settings()->setValue("view/balanceFigures", true);
    {
      Fixture f(Settings());
      QVERIFY(f.M().BalanceFigures->isChecked());
      QCOMPARE(f.S().UnitView.ColumnCount(), 110);
    }
    Settings()->setValue("view/balanceFigures", false);
    Fixture f(Settings());
    QCOMPARE(f.S().UnitView.ColumnCount(), 104);
  }

  void compareSelectedRowsWithAScreenReader() {
    Fixture f(Settings());
    f.Open({f.Archive("a.ufo", Mod())});
    ReportView* view = f.M().UnitView;
    f.M().show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.M()));
    // One row is too few.
    view->selectionModel()->select(view->model()->index(1, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    f.M().Compare1->trigger();
    QCOMPARE(f.D.Messages.size(), size_t{1});
    QVERIFY(!f.M().findChild<CompareWindow*>());
    // U2 first (the baseline), then U1 added with Ctrl.
    view->selectionModel()->select(view->model()->index(0, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QCOMPARE(f.S().UnitView.Cell(1, 1), std::string("U2"));
    f.M().Compare1->trigger();
    auto* window = f.M().findChild<CompareWindow*>();
    QVERIFY(window);
    QVERIFY(window->OnlyDifferences->isChecked());
    QCOMPARE(window->Grid->horizontalHeaderItem(0)->text(), QString("2 (baseline)"));
    // Figures the table does not show are compared too; numbers against the baseline.
    int dpsLine = -1;
    for (int r = 0; r < window->Grid->rowCount(); ++r)
      if (window->Grid->verticalHeaderItem(r)->text() == "DPS (computed)") dpsLine = r;
    QVERIFY(dpsLine >= 0);
    QCOMPARE(window->Grid->item(dpsLine, 0)->text(), QString("400 [highest]"));
    QCOMPARE(window->Grid->item(dpsLine, 1)->text(), QString("9.5 (-390.5, -97.62%) [lowest]"));

    // Read through the accessibility interfaces: the markers are in the text.
    QAccessibleInterface* grid = QAccessible::queryAccessibleInterface(window->Grid);
    QVERIFY(grid && grid->tableInterface());
    QAccessibleInterface* cell = grid->tableInterface()->cellAt(dpsLine, 1);
    QVERIFY(cell);
    QVERIFY(cell->text(QAccessible::Name).endsWith("[lowest]"));

    const int shown = window->Grid->rowCount();
    window->OnlyDifferences->setChecked(false);
    QVERIFY(window->Grid->rowCount() > shown);  // Side, the same in both, among them
    window->OnlyDifferences->setChecked(true);
    window->Copy->click();
    QVERIFY(f.D.Clipboard.rfind("\t2\t1\n", 0) == 0);
    QVERIFY(f.D.Clipboard.find("DPS (computed)\t400 [highest]\t9.5 (-390.5, -97.62%) [lowest]\n") != std::string::npos);
    QCOMPARE(static_cast<int>(std::count(f.D.Clipboard.begin(), f.D.Clipboard.end(), '\n')), shown + 1);

    // The computed header of the table, as a screen reader hears it.
    f.M().BalanceFigures->trigger();
    QAccessibleInterface* table = QAccessible::queryAccessibleInterface(view);
    const int dps = ColumnNamed(f.S().UnitView, "DPS (computed)");
    QAccessibleInterface* header = nullptr;
    for (int i = 0; i < table->childCount() && !header; ++i) {
      QAccessibleInterface* c = table->child(i);
      if (c && c->role() == QAccessible::ColumnHeader && c->text(QAccessible::Name) == "DPS (computed)") header = c;
    }
    QVERIFY(header);
    QVERIFY(header->text(QAccessible::Description).contains("Computed from the loaded definitions"));
    QVERIFY(dps > 0);
    f.M().BalanceFigures->trigger();
  }
};

QTEST_MAIN(BalanceFiguresTest)
#include "ui_balance_figures.moc"
