// The table tools through the real handlers: duplicate check, information
// counts, unit-name list, autosize and the unit row click.
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>

#include "app/information_form.h"
#include "ui_main_fixture.h"

using namespace uitest;

namespace {

// Opens one archive holding a unit per (number, name, side) triple.
void OpenUnits(Fixture& F, const std::vector<std::array<std::string, 3>>& Units, int Weapons = 0) {
  ArchiveFiles files;
  int n = 0;
  for (const auto& u : Units)
    files["units\\u" + std::to_string(n++) + ".fbi"] =
        Unit(u[0], {{"UnitName", u[1]}, {"Side", u[2]}, {"Name", "Name" + u[1]}, {"Description", "Desc " + u[1]}});
  Strings ids;
  for (int i = 0; i < Weapons; ++i) ids.push_back(std::to_string(i + 1));
  if (Weapons) files["weapons\\w.tdf"] = Sections("ID", ids);
  F.Open({F.Archive("a.hpi", files)});
}

// Selects row I as the user would, through the view.
void SelectInView(ReportView* View, int I) {
  View->selectionModel()->setCurrentIndex(View->model()->index(I, 0),
                                          QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

}  // namespace

class TableToolsTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { qunsetenv("TA_DIR"); }

  void duplicateCheckAsksStartsAtSelectionAndComparesExactly() {
    Fixture f;
    TMainForm& m = f.M();
    RowTable& units = f.S().UnitView;

    // Empty table: nothing asked, nothing said.
    m.CheckfordoubleClick();
    QVERIFY(f.D.Questions.empty());
    QVERIFY(f.D.Messages.empty());

    // Sorted by UnitName: ARM and arm sort together but are no double; the two
    // "tank" rows are.
    OpenUnits(f, {{"1", "ARM", "arm"}, {"2", "arm", "arm"}, {"3", "tank", "core"}, {"4", "tank", "core"},
                  {"5", "zed", "core"}});
    m.UnitViewColumnClick(1);
    QCOMPARE(Fixture::Column(units, 1), (Strings{"ARM", "arm", "tank", "tank", "zed"}));

    // No selection: the question names the sort column; No changes nothing.
    QCOMPARE(units.SelectedCount(), 0);
    f.D.Answers = {false};
    m.CheckfordoubleClick();
    QCOMPARE(f.D.Questions, (Strings{"Start searching from the top in columnUnitName"}));
    QCOMPARE(units.SelectedCount(), 0);

    // Yes: starts at the top and stops on the first row of the pair.
    f.D.Answers = {true};
    m.CheckfordoubleClick();
    QCOMPARE(units.SelectedIndex(), 2);
    QVERIFY(f.D.Messages.empty());

    // Again: no question, starts at the selected row, finds the same pair.
    m.CheckfordoubleClick();
    QCOMPARE(f.D.Questions.size(), size_t(2));
    QCOMPARE(units.SelectedIndex(), 2);

    // Started below the pair: rows above are never compared.
    units.Select(3);
    m.CheckfordoubleClick();
    QCOMPARE(f.D.Messages, (Strings{"Done Checking"}));

    // Started on the last row.
    units.Select(4);
    m.CheckfordoubleClick();
    QCOMPARE(f.D.Messages.size(), size_t(2));

    // Other pages check their own table; the edit page checks the units.
    m.MainPanelControl->setCurrentWidget(m.WeaponSheet);
    units.Select(1);
    m.CheckfordoubleClick();  // no weapon rows: silent, the units untouched
    QCOMPARE(f.D.Messages.size(), size_t(2));
    QCOMPARE(f.D.Questions.size(), size_t(2));
    QCOMPARE(units.SelectedIndex(), 1);
    m.UnitNameListClick();  // the edit page is the active page now
    QCOMPARE(m.MainPanelControl->currentWidget(), m.EditSheet);
    m.CheckfordoubleClick();
    QCOMPARE(units.SelectedIndex(), 2);  // the "tank" pair below row 1 was found
    QCOMPARE(f.D.Messages.size(), size_t(2));
  }

  void duplicateCheckSingleRowEmptyNeighboursAndScroll() {
    Fixture f;
    TMainForm& m = f.M();
    RowTable& units = f.S().UnitView;
    OpenUnits(f, {{"7", "solo", "arm"}});
    f.D.Answers = {true};
    m.CheckfordoubleClick();
    QCOMPARE(units.SelectedIndex(), 0);  // selected even though nothing was found
    QCOMPARE(f.D.Messages, (Strings{"Done Checking"}));

    // Many rows with one pair of empty Side cells far down: the found row is
    // selected and scrolled to the top of the view.
    Fixture g;
    std::vector<std::array<std::string, 3>> many;
    for (int i = 0; i < 200; ++i) many.push_back({std::to_string(i), "u" + std::to_string(i), "s" + std::to_string(i)});
    many[60][2] = "";
    many[61][2] = "";
    OpenUnits(g, many);
    g.M().resize(700, 500);
    g.M().show();
    QVERIFY(QTest::qWaitForWindowExposed(&g.M()));
    g.M().UnitViewColumnClick(0);  // by UnitNumber: 0..199 by value
    g.S().UnitSortColumn = 6;      // check the Side column without re-sorting
    g.S().UnitView.Select(40);
    g.M().CheckfordoubleClick();
    QCOMPARE(g.S().UnitView.SelectedIndex(), 60);
    QCOMPARE(g.S().UnitView.TopIndex(), 60);
    QVERIFY(g.D.Messages.empty());
  }

  void informationCountsSidesAndWeapons() {
    Fixture f;
    TMainForm& m = f.M();
    TInformationForm& info = *f.P->InformationForm;

    m.InformationClick();
    QCOMPARE(info.UnitArm->text(), QString("Number of Arm Units           : 0"));
    QCOMPARE(info.Weapon->text(), QString("Total Number of Weapons  : 0"));
    QVERIFY(!m.isEnabled());
    info.OKButtonClick();
    QVERIFY(m.isEnabled());

    OpenUnits(f,
              {{"1", "a", "Arm"}, {"2", "b", "ARM"}, {"3", "c", "arm"}, {"4", "d", "core arm"}, {"5", "e", "CORE"},
               {"6", "f", "neutral"}, {"7", "g", ""}},
              3);
    m.InformationClick();
    QCOMPARE(info.UnitArm->text(), QString("Number of Arm Units           : 4"));
    QCOMPARE(info.UnitCore->text(), QString("Number of Core Units          : 1"));
    QCOMPARE(info.TotalUnit->text(), QString("Total Number of Units          : 5"));
    QCOMPARE(info.Weapon->text(), QString("Total Number of Weapons  : 3"));
    info.OKButtonClick();
    QVERIFY(m.isEnabled());
  }

  void unitNameListFillsEditPageInTableOrder() {
    Fixture f;
    TMainForm& m = f.M();

    // Empty table: an empty list, the page still opens in the Copy state.
    m.UnitNameListClick();
    QCOMPARE(m.EditMemo->toPlainText(), QString());
    QCOMPARE(m.EditSave->text(), QString("Copy"));
    QCOMPARE(m.MainPanelControl->currentWidget(), m.EditSheet);
    m.EditCancelClick();

    OpenUnits(f, {{"2", "beta", "arm"}, {"1", "alpha", "core"}});
    m.MainPanelControl->setCurrentWidget(m.CorpseSheet);
    m.UnitNameListClick();
    QCOMPARE(m.EditMemo->toPlainText(),
             QString("Weight alpha // Namealpha = Desc alpha\nWeight beta // Namebeta = Desc beta"));
    QVERIFY(m.EditMemo->isEnabled());
    QVERIFY(m.MainPanelControl->isTabVisible(m.MainPanelControl->indexOf(m.EditSheet)));
    QVERIFY(!m.MainPanelControl->isTabVisible(m.MainPanelControl->indexOf(m.UnitSheet)));

    // Made again while the edit page shows: Copy still returns to the table page.
    m.UnitNameListClick();
    m.EditSaveClick();
    QCOMPARE(f.D.Clipboard, std::string("Weight alpha // Namealpha = Desc alpha\nWeight beta // Namebeta = Desc beta"));
    QCOMPARE(m.MainPanelControl->currentWidget(), m.CorpseSheet);
    QCOMPARE(m.EditSave->text(), QString("Edit"));
    QVERIFY(m.EditMemo->toPlainText().isEmpty());
  }

  void autosizeToggleKeepsHiddenColumnsAndStatusPanelFollowsClick() {
    Fixture f;
    TMainForm& m = f.M();
    RowTable& units = f.S().UnitView;
    OpenUnits(f, {{"1", "a-rather-long-unit-name-for-the-column", "arm"}});

    const int nameCol = 1;
    const int fitted = units.ColumnWidth(nameCol);
    units.SetColumnWidth(nameCol, 5);
    units.SetColumnWidth(2, 0);  // hidden

    m.AutosizeallColumnsClick();  // off: widths stay
    QVERIFY(!m.AutosizeallColumns->isChecked());
    QCOMPARE(units.ColumnWidth(nameCol), 5);

    m.AutosizeallColumnsClick();  // on: visible columns refit, hidden stay hidden
    QVERIFY(m.AutosizeallColumns->isChecked());
    QCOMPARE(units.ColumnWidth(nameCol), fitted);
    QCOMPARE(units.ColumnWidth(2), 0);

    m.UnitViewClick();  // nothing selected: panel unchanged
    QVERIFY(m.Panel1->text().isEmpty());
    SelectInView(m.UnitView, 0);
    m.UnitViewClick();
    QCOMPARE(m.Panel1->text(), QString("a-rather-long-unit-name-for-the-column"));
  }
};

QTEST_MAIN(TableToolsTest)
#include "ui_table_tools.moc"
