// The Problems list: kestrava-check's checks over the archive the window has
// open, with kestrava-check.conf of the current directory; its columns,
// counts, filters and sorting; the broken references marked in the tables
// (drawn, and as tool tips); a double click opening the edit page at the
// finding's line; a new check after a Save; cancelling.
#include <QAccessible>
#include <QComboBox>
#include <QDir>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QSortFilterProxyModel>
#include <QTabWidget>
#include <QTextBlock>
#include <QTreeView>
#include <QtTest>
#include <filesystem>
#include <set>

#include "problems/problems_dock.h"
#include "ui_main_fixture.h"

using namespace uitest;

namespace {

// One broken reference of each kind: two weapons (Weapon1, SelfDestructAs), a
// corpse, and a build-menu entry naming no unit.
const std::string kUnit =
    "[UNITINFO]\r\n{\r\n\tUnitNumber=1;\r\n\tUnitName=ARMA;\r\n\tWeapon1=MISSING1;\r\n\tWeapon2=GOODGUN;\r\n"
    "\tCorpse=NODEAD;\r\n\tSelfDestructAs=MISSING2;\r\n}\r\n";
const std::string kGuns = "[GOODGUN]\r\n{\r\n\tID=1;\r\n}\r\n";
const std::string kMenu =
    "[ENTRY1]\r\n{\r\n\tUNITMENU=ARMA;\r\n\tMENU=1;\r\n\tBUTTON=0;\r\n\tUNITNAME=NOUNIT;\r\n}\r\n";

// A list row as texts: severity, ID, file, line, definition, message.
std::string ListRow(const QAbstractItemModel& M, int Row) {
  std::string s;
  for (int c = 0; c < M.columnCount(); ++c) s += (c ? "|" : "") + M.index(Row, c).data().toString().toStdString();
  return s;
}

QString Tip(ReportView* V, int Row, int Column) {
  return V->Model()->data(V->Model()->index(Row, Column), Qt::ToolTipRole).toString();
}

// Whether the top-left corner of a cell shows the problem flag's red.
bool RedCorner(const QImage& Shot, const QRect& Cell) {
  const QColor c = Shot.pixelColor(Cell.left() + 1, Cell.top() + 1);
  return c.red() > 150 && c.green() < 90 && c.blue() < 90;
}

}  // namespace

class ProblemsTest : public QObject {
  Q_OBJECT

  std::unique_ptr<Fixture> f;
  std::string archive;
  QString oldCurrent;

  ProblemsDock& dock() { return *f->M().Problems; }
  void Check() {
    QSignalSpy done(&dock(), &ProblemsDock::Finished);
    f->M().CheckProblems->trigger();
    QVERIFY(done.wait(30000));
  }
  std::vector<std::string> ListRows() {
    std::vector<std::string> rows;
    for (int r = 0; r < dock().List->model()->rowCount(); ++r) rows.push_back(ListRow(*dock().List->model(), r));
    return rows;
  }
  int ListRowOf(const std::string& Id, const std::string& Text) {
    const QAbstractItemModel& m = *dock().List->model();
    for (int r = 0; r < m.rowCount(); ++r)
      if (m.index(r, 1).data().toString().toStdString() == Id && ListRow(m, r).find(Text) != std::string::npos)
        return r;
    return -1;
  }

 private slots:
  void init() {
    f = std::make_unique<Fixture>();
    archive = f->Archive("mod.ufo", {{"units\\ARMA.FBI", kUnit}, {"weapons\\guns.tdf", kGuns},
                                     {"download\\menu.tdf", kMenu}});
    // The configuration of the current directory silences the assets the test
    // mod lacks, and the notes on what it builds and uses (one test below
    // lets them through).
    oldCurrent = QDir::currentPath();
    QDir::setCurrent(f->Dir.path());
    WriteFile(f->Path("kestrava-check.conf"),
              "ignore = missing-model, missing-script,missing-picture,unbuildable-unit,unused-weapon\n");
    f->Open({archive});
  }
  void cleanup() {
    f.reset();
    QDir::setCurrent(oldCurrent);
  }

  void listsTheFindingsWithCountsFiltersAndSorting() {
    Check();
    QVERIFY(dock().isVisible() || dock().isHidden() == false);
    const std::string place = archive + ":";
    const std::set<std::string> want = {
        "error|unknown-weapon|" + place + "units\\ARMA.FBI|5|ARMA|Weapon1=MISSING1 names no weapon of any weapons\\*.tdf",
        "error|unknown-weapon|" + place +
            "units\\ARMA.FBI|8|ARMA|SelfDestructAs=MISSING2 names no weapon of any weapons\\*.tdf",
        "error|unknown-feature|" + place +
            "units\\ARMA.FBI|7|ARMA|Corpse=NODEAD names no feature of any features\\**\\*.tdf",
        "error|unknown-unit|" + place + "download\\menu.tdf|6|ENTRY1|UNITNAME=NOUNIT names no unit's UnitName",
    };
    const std::vector<std::string> rows = ListRows();
    QCOMPARE(std::set<std::string>(rows.begin(), rows.end()), want);
    QCOMPARE(rows.size(), want.size());
    QCOMPARE(dock().Counts->text(), QString("4 errors, 0 warnings"));
    // The severity shows as an icon too.
    QVERIFY(!dock().List->model()->index(0, 0).data(Qt::DecorationRole).value<QIcon>().isNull());

    // Filters: by ID, by severity, by text, and all three off again.
    dock().IdFilter->setCurrentText("unknown-weapon");
    QCOMPARE(dock().List->model()->rowCount(), 2);
    dock().IdFilter->setCurrentIndex(0);
    dock().SeverityFilter->setCurrentText("warning");
    QCOMPARE(dock().List->model()->rowCount(), 0);
    dock().SeverityFilter->setCurrentText("error");
    QCOMPARE(dock().List->model()->rowCount(), 4);
    dock().SeverityFilter->setCurrentIndex(0);
    dock().TextFilter->setText("nodead");
    QCOMPARE(dock().List->model()->rowCount(), 1);
    QVERIFY(ListRow(*dock().List->model(), 0).find("Corpse=NODEAD") != std::string::npos);
    dock().TextFilter->clear();
    QCOMPARE(dock().List->model()->rowCount(), 4);

    // Sorting by line, as numbers, both ways.
    dock().List->sortByColumn(3, Qt::AscendingOrder);
    std::vector<int> lines;
    for (int r = 0; r < 4; ++r) lines.push_back(dock().List->model()->index(r, 3).data().toInt());
    QCOMPARE(lines, (std::vector<int>{5, 6, 7, 8}));
    dock().List->sortByColumn(3, Qt::DescendingOrder);
    QCOMPARE(dock().List->model()->index(0, 3).data().toInt(), 8);
  }

  void marksTheCellsOfBrokenReferences() {
    Check();
    ReportView* units = f->M().UnitView;
    const RowTable& t = f->S().UnitView;
    const int weapon1 = Fixture::ColumnOf(t, "Weapon1"), weapon2 = Fixture::ColumnOf(t, "Weapon2"),
              corpse = Fixture::ColumnOf(t, "Corpse"), self = Fixture::ColumnOf(t, "SelfDestructAs");
    QCOMPARE(Tip(units, 0, weapon1),
             QString("error: Weapon1=MISSING1 names no weapon of any weapons\\*.tdf [unknown-weapon]"));
    QCOMPARE(Tip(units, 0, self),
             QString("error: SelfDestructAs=MISSING2 names no weapon of any weapons\\*.tdf [unknown-weapon]"));
    QCOMPARE(Tip(units, 0, corpse),
             QString("error: Corpse=NODEAD names no feature of any features\\**\\*.tdf [unknown-feature]"));
    QVERIFY(Tip(units, 0, weapon2).isEmpty());  // GOODGUN resolves
    QVERIFY(Tip(units, 0, 0).isEmpty());
    ReportView* menus = f->M().DownloadView;
    QCOMPARE(Tip(menus, 0, Fixture::ColumnOf(f->S().DownloadView, "UnitName")),
             QString("error: UNITNAME=NOUNIT names no unit's UnitName [unknown-unit]"));
    QVERIFY(Tip(menus, 0, 0).isEmpty());

    // Drawn: a flag in the marked cell's corner, none in its neighbour's,
    // both by the view's own row painting and, with the row selected, by the
    // tree view's.
    f->M().resize(1200, 700);
    f->M().show();
    QVERIFY(QTest::qWaitForWindowExposed(&f->M()));
    for (int c = 0; c < t.ColumnCount(); ++c)
      if (c != weapon1 && c != weapon2) units->setColumnHidden(c, true);
    for (bool selected : {false, true}) {
      f->S().UnitView.Select(selected ? 0 : -1);
      const QImage shot = units->viewport()->grab().toImage();
      const QModelIndex marked = units->Model()->index(0, weapon1), plain = units->Model()->index(0, weapon2);
      QVERIFY2(RedCorner(shot, units->visualRect(marked)), selected ? "selected" : "plain");
      QVERIFY2(!RedCorner(shot, units->visualRect(plain)), selected ? "selected" : "plain");
    }
  }

  void doubleClickOpensTheEditPageAtTheLine() {
    Check();
    // The corpse finding: line 7 of the unit file.
    int row = ListRowOf("unknown-feature", "NODEAD");
    QVERIFY(row >= 0);
    const QModelIndex index = dock().List->model()->index(row, 2);
    dock().List->show();
    dock().List->scrollTo(index);
    emit dock().List->activated(index);
    QCOMPARE(f->M().MainPanelControl->currentWidget(), f->M().EditSheet);
    QCOMPARE(f->M().EditEntry->UnPackedFile, std::string("units\\ARMA.FBI"));
    QCOMPARE(f->M().EditMemo->textCursor().blockNumber(), 6);
    QCOMPARE(f->M().EditMemo->textCursor().block().text(), QString("\tCorpse=NODEAD;"));

    // Another finding of another file: the page shows that file at its line.
    dock().OpenFinding(ListRowOf("unknown-unit", "NOUNIT"));
    QCOMPARE(f->M().EditEntry->UnPackedFile, std::string("download\\menu.tdf"));
    QCOMPARE(f->M().EditMemo->textCursor().block().text(), QString("\tUNITNAME=NOUNIT;"));

    // Typed text that is not saved is not dropped without asking (answered No here).
    f->M().EditSave->click();
    f->M().EditMemo->appendPlainText("typed");
    dock().OpenFinding(ListRowOf("unknown-weapon", "MISSING1"));
    QCOMPARE(f->D.Questions.size(), size_t{1});
    QCOMPARE(f->M().EditEntry->UnPackedFile, std::string("download\\menu.tdf"));
    f->M().EditCancel->click();
  }

  void aSaveChecksAgain() {
    Check();
    QCOMPARE(dock().List->model()->rowCount(), 4);
    dock().OpenFinding(ListRowOf("unknown-weapon", "MISSING1"));
    QVERIFY(f->M().EditEntry);
    f->M().EditSave->click();
    QTextCursor c = f->M().EditMemo->textCursor();
    c.select(QTextCursor::LineUnderCursor);
    c.insertText("\tWeapon1=GOODGUN;");
    QSignalSpy done(&dock(), &ProblemsDock::Finished);
    f->M().EditSave->click();  // Save
    QVERIFY(done.wait(30000));
    QCOMPARE(dock().List->model()->rowCount(), 3);
    QCOMPARE(ListRowOf("unknown-weapon", "MISSING1"), -1);
    QVERIFY(Tip(f->M().UnitView, 0, Fixture::ColumnOf(f->S().UnitView, "Weapon1")).isEmpty());
    QVERIFY(!Tip(f->M().UnitView, 0, Fixture::ColumnOf(f->S().UnitView, "Corpse")).isEmpty());
  }

  void cancelLeavesTheListAsItWas() {
    Check();
    QSignalSpy done(&dock(), &ProblemsDock::Finished);
    f->M().CheckProblems->trigger();
    QVERIFY(dock().Running());
    QVERIFY(!dock().CancelButton->isHidden());
    dock().CancelButton->click();
    QCOMPARE(done.count(), 1);
    QVERIFY(!dock().Running());
    QVERIFY(dock().Progress->isHidden());
    QCOMPARE(dock().Status->text(), QString("The check was cancelled."));
    QTest::qWait(200);  // the abandoned check ends without touching the list
    QCOMPARE(dock().List->model()->rowCount(), 4);
    QCOMPARE(done.count(), 1);
  }

  void notesAreAThirdSeverity() {
    WriteFile(f->Path("kestrava-check.conf"), "ignore = missing-model, missing-script,missing-picture\n");
    Check();
    const int row = ListRowOf("unbuildable-unit", "ARMA");
    QVERIFY(row >= 0);
    QCOMPARE(dock().List->model()->index(row, 0).data().toString(), QString("note"));
    QCOMPARE(dock().Counts->text(), QString("4 errors, 0 warnings, 1 note"));
  }

  void aWrongConfigurationIsReported() {
    WriteFile(f->Path("kestrava-check.conf"), "ignore = no-such-check\n");
    Check();
    QCOMPARE(dock().Status->text(), QString("kestrava-check.conf:1: unknown check ID no-such-check"));
    QCOMPARE(dock().List->model()->rowCount(), 0);
  }

  void looseFilesOfTheGameDirectoryAreCheckedAndMarked() {
    namespace fs = std::filesystem;
    const fs::path game = f->Path("game");
    fs::create_directories(game / "Units");
    WriteFile((game / "mod.ufo").string(), "not read: only loose files are included");
    WriteFile((game / "Units" / "ARMC.FBI").string(),
              "[UNITINFO]\r\n{\r\n\tUnitNumber=3;\r\n\tUnitName=ARMC;\r\n\tExplodeAs=NOBLAST;\r\n}\r\n");
    f->S().TaDir = game.string();
    f->M().IncludeTaFilesClick();
    Check();
    const std::string disk = (game / "Units" / "ARMC.FBI").string();
    QVERIFY(ListRowOf("unknown-weapon", disk + "|5|ARMC|ExplodeAs=NOBLAST") >= 0);
    QCOMPARE(dock().List->model()->rowCount(), 5);  // the archive's four, and no complaint about game/mod.ufo
    const RowTable& t = f->S().UnitView;
    const int row = t.Cell(0, 1) == "ARMC" ? 0 : 1;
    QCOMPARE(t.Cell(row, 1), std::string("ARMC"));
    QCOMPARE(Tip(f->M().UnitView, row, Fixture::ColumnOf(t, "ExplodeAs")),
             QString("error: ExplodeAs=NOBLAST names no weapon of any weapons\\*.tdf [unknown-weapon]"));
    dock().OpenFinding(ListRowOf("unknown-weapon", "NOBLAST"));
    QCOMPARE(f->M().EditEntry->UnPackedFile, disk);
    QCOMPARE(f->M().EditMemo->textCursor().blockNumber(), 4);
  }

  void readByAssistiveTechnology() {
    QAccessible::setActive(true);
    Check();
    f->M().resize(1000, 600);
    f->M().show();
    QVERIFY(QTest::qWaitForWindowExposed(&f->M()));
    QAccessibleInterface* list = QAccessible::queryAccessibleInterface(dock().List);
    QVERIFY(list);
    QCOMPARE(list->text(QAccessible::Name), QString("Problems"));
    QAccessibleTableInterface* cells = list->tableInterface();
    QVERIFY(cells);
    QCOMPARE(cells->rowCount(), 4);
    QCOMPARE(cells->cellAt(0, 0)->text(QAccessible::Name), QString("error"));
    // A marked table cell tells its finding as its description.
    QAccessibleTableInterface* units = QAccessible::queryAccessibleInterface(f->M().UnitView)->tableInterface();
    QVERIFY(units);
    QAccessibleInterface* cell = units->cellAt(0, Fixture::ColumnOf(f->S().UnitView, "Corpse"));
    QVERIFY(cell);
    QCOMPARE(cell->text(QAccessible::Name), QString("NODEAD"));
    QCOMPARE(cell->text(QAccessible::Description),
             QString("error: Corpse=NODEAD names no feature of any features\\**\\*.tdf [unknown-feature]"));
    QAccessible::setActive(false);
  }
};

QTEST_MAIN(ProblemsTest)
#include "ui_problems.moc"
