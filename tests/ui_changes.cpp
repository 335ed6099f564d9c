// The Changes list after "Compare with Version...": the differences between an
// older archive (or directory) and what is open, as kestrava-diff reports
// them; changed cells marked "was X" and added rows marked; a double click
// selecting a definition's row; a Save comparing again; Close All and the
// menu command ending the comparison.
#include <QAction>
#include <QImage>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTreeWidget>
#include <QtTest>
#include <filesystem>

#include "changes/changes_dock.h"
#include "ui_main_fixture.h"

using namespace uitest;

namespace {

std::string UnitFile(const std::string& Name, const std::string& Metal) {
  return "[UNITINFO]\r\n{\r\n\tUnitNumber=1;\r\n\tUnitName=" + Name + ";\r\n\tBuildCostMetal=" + Metal +
         ";\r\n\tMaxDamage=500;\r\n}\r\n";
}
std::string Guns(const std::string& Range, bool WithSecond) {
  std::string t = "[GUN1]\r\n{\r\n\tID=1;\r\n\tRange=" + Range + ";\r\n}\r\n";
  if (WithSecond) t += "[GUN2]\r\n{\r\n\tID=2;\r\n}\r\n";
  return t;
}

QString Tip(ReportView* V, int Row, int Column) {
  return V->Model()->data(V->Model()->index(Row, Column), Qt::ToolTipRole).toString();
}

int RowOf(const RowTable& T, const std::string& Caption, int Column) {
  for (int i = 0; i < T.RowCount(); ++i)
    if (T.Cell(i, Column) == Caption) return i;
  return -1;
}

// The list as lines: group, definition (old | new), key (old | new), indented.
std::vector<std::string> Lines(QTreeWidget* L) {
  std::vector<std::string> out;
  std::function<void(QTreeWidgetItem*, int)> walk = [&](QTreeWidgetItem* I, int Depth) {
    std::string line(static_cast<size_t>(Depth) * 2, ' ');
    line += I->text(0).toStdString();
    if (Depth > 0) line += " | " + I->text(1).toStdString() + " | " + I->text(2).toStdString();
    out.push_back(line);
    for (int c = 0; c < I->childCount(); ++c) walk(I->child(c), Depth + 1);
  };
  for (int i = 0; i < L->topLevelItemCount(); ++i) walk(L->topLevelItem(i), 0);
  return out;
}

}  // namespace

class ChangesTest : public QObject {
  Q_OBJECT

  std::unique_ptr<Fixture> f;
  std::string oldArchive, newArchive;
  ChangesDock& dock() { return *f->M().Changes; }

 private slots:
  void init() {
    f = std::make_unique<Fixture>();
    oldArchive = f->Archive("old.ufo", {{"units\\ARMA.FBI", UnitFile("ARMA", "100")},
                                        {"weapons\\guns.tdf", Guns("300", true)}});
    newArchive = f->Archive("new.ufo", {{"units\\ARMA.FBI", UnitFile("ARMA", "110")},
                                        {"units\\ARMB.FBI", UnitFile("ARMB", "50")},
                                        {"weapons\\guns.tdf", Guns("350", false)}});
    f->Open({newArchive});
  }
  void cleanup() { f.reset(); }

  void listsAndMarksTheChanges() {
    QVERIFY(!f->M().EndComparison->isEnabled());
    f->D.VersionChoices.push_back(oldArchive);
    f->M().CompareVersion->trigger();
    QCOMPARE(f->D.VersionTitles, (Strings{"Compare with Version"}));
    QVERIFY(dock().Comparing());
    QVERIFY(f->M().EndComparison->isEnabled());
    const Strings want = {
        "units",
        "  changed ARMA | units\\ARMA.FBI:1 in " + oldArchive + " | units\\ARMA.FBI:1 in " + newArchive,
        "    BuildCostMetal | 100 | 110",
        "  added ARMB |  | units\\ARMB.FBI:1 in " + newArchive,
        "weapons",
        "  changed GUN1 | weapons\\guns.tdf:1 in " + oldArchive + " | weapons\\guns.tdf:1 in " + newArchive,
        "    Range | 300 | 350",
        "  removed GUN2 | weapons\\guns.tdf:6 in " + oldArchive + " | ",
    };
    QCOMPARE(Lines(dock().List), want);
    QCOMPARE(dock().Summary->text().toStdString(),
             "Compared with " + oldArchive + ": 4 definitions differ: 1 added, 1 removed, 2 changed");

    // Cells: the changed value tells the old one, the added row says so, an
    // unchanged cell says nothing.
    const RowTable& units = f->S().UnitView;
    const int name = Fixture::ColumnOf(units, "UnitName"), metal = Fixture::ColumnOf(units, "BuildCostMetal"),
              damage = Fixture::ColumnOf(units, "MaxDamage");
    const int a = RowOf(units, "ARMA", name), b = RowOf(units, "ARMB", name);
    QCOMPARE(Tip(f->M().UnitView, a, metal), QString("was 100"));
    QVERIFY(Tip(f->M().UnitView, a, damage).isEmpty());
    QVERIFY(Tip(f->M().UnitView, a, 0).isEmpty());
    QCOMPARE(Tip(f->M().UnitView, b, 0).toStdString(), "added since " + oldArchive);
    QVERIFY(Tip(f->M().UnitView, b, metal).isEmpty());
    const RowTable& weapons = f->S().WeaponView;
    QCOMPARE(Tip(f->M().WeaponView, 0, Fixture::ColumnOf(weapons, "Range")), QString("was 300"));

    // Drawn: the changed cell's flag in its top-right corner, the added row's bar.
    f->M().resize(1200, 700);
    f->M().show();
    QVERIFY(QTest::qWaitForWindowExposed(&f->M()));
    for (int c = 0; c < units.ColumnCount(); ++c)
      if (c != 0 && c != metal && c != damage) f->M().UnitView->setColumnHidden(c, true);
    QApplication::processEvents();
    const QImage shot = f->M().UnitView->viewport()->grab().toImage();
    const auto blue = [&](int Row, int Column) {
      const QRect r = f->M().UnitView->visualRect(f->M().UnitView->Model()->index(Row, Column));
      const QColor c = shot.pixelColor(r.right() - 2, r.top() + 1);
      return c.blue() > 150 && c.red() < 80;
    };
    const auto green = [&](int Row) {
      const QRect r = f->M().UnitView->visualRect(f->M().UnitView->Model()->index(Row, 0));
      const QColor c = shot.pixelColor(r.left() + 1, r.center().y());
      return c.green() > 100 && c.red() < 80 && c.blue() < 80;
    };
    QVERIFY(blue(a, metal));
    QVERIFY(!blue(a, damage));
    QVERIFY(green(b));
    QVERIFY(!green(a));
  }

  void doubleClickSelectsTheRow() {
    f->D.VersionChoices.push_back(oldArchive);
    f->M().CompareVersion->trigger();
    QTreeWidgetItem* gun = dock().List->topLevelItem(1)->child(0);
    QCOMPARE(gun->text(0), QString("changed GUN1"));
    f->S().WeaponView.Select(-1);
    emit dock().List->itemActivated(gun->child(0), 0);  // a key of it: its definition's row
    QCOMPARE(f->M().MainPanelControl->currentWidget(), f->M().WeaponSheet);
    QCOMPARE(f->S().WeaponView.SelectedIndex(), 0);
    QTreeWidgetItem* added = dock().List->topLevelItem(0)->child(1);
    QCOMPARE(added->text(0), QString("added ARMB"));
    emit dock().List->itemActivated(added, 0);
    QCOMPARE(f->M().MainPanelControl->currentWidget(), f->M().UnitSheet);
    QCOMPARE(f->S().UnitView.Cell(f->S().UnitView.SelectedIndex(), 1), std::string("ARMB"));
  }

  void aSaveComparesAgainAndTheComparisonEnds() {
    f->D.VersionChoices.push_back(oldArchive);
    f->M().CompareVersion->trigger();
    // ARMA back at its old cost: only three differences are left.
    const int a = RowOf(f->S().UnitView, "ARMA", 1);
    f->S().UnitView.Select(a);
    f->M().UnitViewDblClick();
    f->M().EditSave->click();
    const QString text = f->M().EditMemo->toPlainText().replace("BuildCostMetal=110", "BuildCostMetal=100");
    f->M().EditMemo->setPlainText(text);
    f->M().EditSave->click();
    QCOMPARE(dock().Differences().size(), size_t{3});
    QVERIFY(Tip(f->M().UnitView, RowOf(f->S().UnitView, "ARMA", 1), Fixture::ColumnOf(f->S().UnitView, "BuildCostMetal"))
                .isEmpty());

    // The menu command ends it: no list, no marks.
    f->M().EndComparison->trigger();
    QVERIFY(!dock().Comparing());
    QCOMPARE(dock().List->topLevelItemCount(), 0);
    QCOMPARE(dock().Summary->text(), QString("No comparison."));
    QVERIFY(!f->M().UnitView->HasAnnotations());
    QVERIFY(!f->M().EndComparison->isEnabled());

    // So does Close All.
    f->D.VersionChoices.push_back(oldArchive);
    f->M().CompareVersion->trigger();
    QVERIFY(f->M().WeaponView->HasAnnotations());
    f->M().CloseAll1Click();
    QVERIFY(!dock().Comparing());
    QCOMPARE(dock().List->topLevelItemCount(), 0);
    QVERIFY(!f->M().WeaponView->HasAnnotations());
  }

  void aDirectoryIsAnOldSideTooAndFailuresAreSaid() {
    namespace fs = std::filesystem;
    const fs::path dir = f->Path("oldgame");
    fs::create_directories(dir / "Units");
    WriteFile((dir / "Units" / "ARMA.FBI").string(), UnitFile("ARMA", "90"));
    f->D.VersionChoices.push_back(dir.string());
    f->M().CompareVersion->trigger();
    QVERIFY(dock().Comparing());
    // ARMA changed; ARMB, GUN1 added (the directory has no weapons).
    QCOMPARE(dock().Differences().size(), size_t{3});
    QCOMPARE(dock().List->topLevelItem(0)->child(0)->child(0)->text(1), QString("90"));

    // Cancelling the chooser changes nothing; a source that cannot be read is said.
    f->M().CompareVersion->trigger();
    QVERIFY(dock().Comparing());
    f->D.VersionChoices.push_back(f->Path("missing.ufo"));
    f->M().CompareVersion->trigger();
    QCOMPARE(f->D.Messages.size(), size_t{1});
    QVERIFY(f->D.Messages[0].find("missing.ufo") != std::string::npos);
    QCOMPARE(dock().Differences().size(), size_t{3});
  }
};

QTEST_MAIN(ChangesTest)
#include "ui_changes.moc"
