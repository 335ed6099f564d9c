// Opening archives, the directory switches, Close and Close All, through the
// window's own handlers on archives written by the archive library.
#include <QSignalSpy>
#include <QTabWidget>
#include <filesystem>

#include "ui_main_fixture.h"

using namespace uitest;
namespace fs = std::filesystem;

namespace {

// An archive with one unit, one weapon, one build menu and one corpse.
ArchiveFiles Full(const std::string& Tag) {
  return {{"units\\" + Tag + ".fbi", Unit(Tag, "U" + Tag)},
          {"weapons\\" + Tag + ".tdf", Weapons({"1" + Tag})},
          {"download\\" + Tag + ".tdf", Download("M" + Tag, "U" + Tag)},
          {"features\\corpses\\" + Tag + ".tdf", Corpse("dead" + Tag)}};
}

bool MenusAfterOpen(TMainForm& M) {
  return M.Close1->isEnabled() && M.CloseAll1->isEnabled() && M.UnitNameList->isEnabled();
}

bool AllEmpty(AppState& S) {
  return S.UnitFiles.Count + S.WeaponFiles.Count + S.DownloadFiles.Count + S.CorpseFiles.Count == 0 &&
         S.UnitView.RowCount() + S.WeaponView.RowCount() + S.DownloadView.RowCount() + S.CorpseView.RowCount() == 0;
}

}  // namespace

class OpenCloseTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { qunsetenv("TA_DIR"); }

  void selectAllLoadsTheWholeDirectoryInPatternOrder() {
    Fixture f;
    const std::string b = f.Archive("b.hpi", {{"units\\b.fbi", Unit("2", "B")}});
    const std::string c = f.Archive("c.gp3", {{"units\\c.fbi", Unit("3", "C")}});
    const std::string a = f.Archive("a.ufo", {{"units\\a.fbi", Unit("1", "A")}});
    const std::string d = f.Archive("D.CCX", {{"units\\d.fbi", Unit("4", "D")}});
    WriteFile(f.Path("notes.txt"), "not an archive");
    f.M().SearchDirMenuClick();
    QVERIFY(f.M().SearchDirMenu->isChecked());

    f.Open({c, b});  // several chosen: still the whole directory, once
    QCOMPARE(f.D.OpenTitles, Strings{"Select one packed file and i will select the rest"});
    QCOMPARE(Fixture::Parents(f.S().UnitFiles), (Strings{a, b, c, d}));
    QCOMPARE(f.S().UnitView.RowCount(), 4);
    QVERIFY(MenusAfterOpen(f.M()));
    QVERIFY(f.D.Messages.empty());

    f.M().SearchDirMenuClick();
    QVERIFY(!f.M().SearchDirMenu->isChecked());
  }

  void chosenArchivesInDialogOrderAndTwice() {
    Fixture f;
    const std::string a = f.Archive("a.hpi", Full("1"));
    const std::string b = f.Archive("b.hpi", Full("2"));
    const std::string c = f.Archive("c.hpi", Full("3"));
    f.Open({c, a, b});
    QCOMPARE(f.D.OpenTitles, Strings{"Select packed files to compare.."});
    for (AllUnpacked* l : {&f.S().UnitFiles, &f.S().WeaponFiles, &f.S().DownloadFiles, &f.S().CorpseFiles})
      QCOMPARE(Fixture::Parents(*l), (Strings{c, a, b}));
    QCOMPARE(Fixture::Captions(f.S().UnitView), (Strings{"1", "2", "3"}));  // sorted by caption
    QCOMPARE(Fixture::Captions(f.S().WeaponView), (Strings{"11", "12", "13"}));
    QCOMPARE(Fixture::Captions(f.S().DownloadView), (Strings{"M1", "M2", "M3"}));
    QCOMPARE(Fixture::Captions(f.S().CorpseView), (Strings{"dead1", "dead2", "dead3"}));
    QCOMPARE(f.M().UnitView->model()->rowCount(), 3);
    QVERIFY(MenusAfterOpen(f.M()));

    // The same archive again adds nothing; the menu items are enabled all the same.
    f.M().CloseAll1->setEnabled(false);
    f.Open({a});
    QCOMPARE(f.S().UnitFiles.Count, uint16_t(3));
    QCOMPARE(f.S().UnitView.RowCount(), 3);
    QVERIFY(MenusAfterOpen(f.M()));

    // Cancelled: nothing changes, not even the menu.
    f.M().Close1->setEnabled(false);
    f.M().Open1Click();
    QVERIFY(!f.M().Close1->isEnabled());
    QCOMPARE(f.S().UnitView.RowCount(), 3);
  }

  void archiveOfWeaponsOnlyTouchesOnlyWeapons() {
    Fixture f;
    f.Open({f.Archive("units.hpi", {{"units\\a.fbi", Unit("2", "Z")}, {"units\\b.fbi", Unit("1", "A")}})});
    RowTable& units = f.S().UnitView;
    QCOMPARE(Fixture::Captions(units), (Strings{"1", "2"}));
    // Were the unit table rebuilt, it would be refitted and sorted by UnitName.
    f.S().UnitSortColumn = Fixture::ColumnOf(units, "UnitName");
    units.SetColumnWidth(1, 7);
    QSignalSpy resets(f.M().UnitView->model(), &QAbstractItemModel::modelReset);

    f.Open({f.Archive("weapons.hpi", {{"weapons\\w.tdf", Weapons({"5", "4"})}})});
    QCOMPARE(Fixture::Captions(f.S().WeaponView), (Strings{"4", "5"}));
    QCOMPARE(Fixture::Captions(units), (Strings{"1", "2"}));
    QCOMPARE(units.ColumnWidth(1), 7);
    QCOMPARE(resets.count(), 0);
    QCOMPARE(f.S().UnitFiles.Count, uint16_t(2));
    QCOMPARE(f.S().CorpseView.RowCount() + f.S().DownloadView.RowCount(), 0);
  }

  void closeOnARowOfOneOfTwoArchives() {
    Fixture f;
    const std::string a = f.Archive("a.hpi", Full("1"));
    ArchiveFiles bFiles = Full("2");
    bFiles["units\\x.fbi"] = Unit("0", "X");
    const std::string b = f.Archive("b.hpi", bFiles);
    f.Open({a, b});
    AppState& s = f.S();
    QCOMPARE(Fixture::Captions(s.UnitView), (Strings{"0", "1", "2"}));

    // Nothing selected, or another page active: nothing happens.
    f.M().Close1Click();
    QCOMPARE(s.UnitView.RowCount(), 3);
    f.SelectInView(f.M().UnitView, 1);  // the row of a.hpi, chosen in the view
    f.M().MainPanelControl->setCurrentWidget(f.M().WeaponSheet);
    f.M().Close1Click();
    QCOMPARE(s.UnitView.RowCount(), 3);
    QVERIFY(f.D.Messages.empty());

    f.M().MainPanelControl->setCurrentWidget(f.M().UnitSheet);
    f.M().Close1->trigger();
    QCOMPARE(Fixture::Captions(s.UnitView), (Strings{"0", "2"}));
    QCOMPARE(Fixture::Captions(s.WeaponView), (Strings{"12"}));
    QCOMPARE(Fixture::Captions(s.DownloadView), (Strings{"M2"}));
    QCOMPARE(Fixture::Captions(s.CorpseView), (Strings{"dead2"}));
    for (AllUnpacked* l : {&s.UnitFiles, &s.WeaponFiles, &s.DownloadFiles, &s.CorpseFiles})
      for (const std::string& p : Fixture::Parents(*l)) QCOMPARE(p, b);
    // The remaining rows still lead to their own, living entries.
    for (RowTable* t : {&s.UnitView, &s.WeaponView, &s.DownloadView, &s.CorpseView})
      for (int i = 0; i < t->RowCount(); ++i) {
        const UnPacked* e = t->RowAt(i).Data;
        QVERIFY(e);
        QCOMPARE(e->ParentFile, b);
        QCOMPARE(t->Cell(i, t->ColumnCount() - 2), e->UnPackedFile);
      }
    QCOMPARE(f.M().UnitView->model()->rowCount(), 2);
    QVERIFY(MenusAfterOpen(f.M()));

    // Close on a weapon row of the other archive empties everything; Close stays.
    f.M().MainPanelControl->setCurrentWidget(f.M().WeaponSheet);
    s.WeaponView.Select(0);
    f.M().Close1Click();
    QVERIFY(AllEmpty(s));
    QVERIFY(f.M().Close1->isEnabled());
  }

  void looseFilesOnOffOnAndClosedByARow() {
    Fixture f;
    // Mixed-case directories, as game files copied to Linux keep them.
    const fs::path ta = f.Path("TA");
    fs::create_directories(ta / "Units");
    fs::create_directories(ta / "Weapons");
    fs::create_directories(ta / "Features" / "Corpses");
    WriteFile((ta / "Units" / "ARMCOM.FBI").string(), Unit("7", "ARMCOM"));
    WriteFile((ta / "Units" / "corcom.fbi").string(), Unit("8", "CORCOM"));
    WriteFile((ta / "Weapons" / "guns.TDF").string(), Weapons({"9"}));
    WriteFile((ta / "Features" / "Corpses" / "dead.tdf").string(), Corpse("armdead"));
    f.S().TaDir = ta.string();
    AppState& s = f.S();
    TMainForm& m = f.M();
    f.Open({f.Archive("a.hpi", Full("1"))});
    m.Close1->setEnabled(false);  // the switch leaves Close alone

    m.IncludeTaFiles->trigger();
    QVERIFY(m.IncludeTaFiles->isChecked());
    QVERIFY(m.CloseAll1->isEnabled() && m.UnitNameList->isEnabled());
    QVERIFY(!m.Close1->isEnabled());
    const Strings units = Fixture::Captions(s.UnitView);
    QCOMPARE(units, (Strings{"1", "7", "8"}));
    QCOMPARE(Fixture::Captions(s.WeaponView), (Strings{"9", "11"}));  // by value
    QCOMPARE(Fixture::Captions(s.CorpseView), (Strings{"armdead", "dead1"}));
    QCOMPARE(s.UnitView.Cell(1, s.UnitView.ColumnCount() - 2), (ta / "Units" / "ARMCOM.FBI").string());
    QCOMPARE(s.UnitView.Cell(1, s.UnitView.ColumnCount() - 3), std::string("Not packed !"));

    m.IncludeTaFilesClick();  // off
    QVERIFY(!m.IncludeTaFiles->isChecked());
    QCOMPARE(Fixture::Captions(s.UnitView), (Strings{"1"}));
    QCOMPARE(Fixture::Captions(s.WeaponView), (Strings{"11"}));
    QCOMPARE(s.UnitFiles.Count, uint16_t(1));

    m.IncludeTaFilesClick();  // on again: the same rows as the first time
    QCOMPARE(Fixture::Captions(s.UnitView), units);

    // Close on a loose row removes every loose file and clears the switch.
    s.UnitView.Select(2);
    m.Close1Click();
    QVERIFY(!m.IncludeTaFiles->isChecked());
    QCOMPARE(Fixture::Captions(s.UnitView), (Strings{"1"}));
    QCOMPARE(Fixture::Captions(s.CorpseView), (Strings{"dead1"}));
    QCOMPARE(s.WeaponFiles.Count, uint16_t(1));
    QVERIFY(f.D.Messages.empty());
  }

  void missingGameDirectory() {
    Fixture f;
    TMainForm& m = f.M();
    WriteFile(f.Path("afile"), "x");
    const std::string cases[] = {f.Path("nowhere"), f.Path("afile"), ""};
    for (const std::string& dir : cases) {
      f.S().TaDir = dir;
      f.D.Messages.clear();
      m.IncludeTaFilesClick();
      QCOMPARE(f.D.Messages,
               Strings{"The ta-dir " + dir + " path does not exist. See Options-menu to change."});
      QVERIFY(!m.IncludeTaFiles->isChecked());
      QVERIFY(!m.CloseAll1->isEnabled() && !m.UnitNameList->isEnabled());
      QVERIFY(AllEmpty(f.S()));
    }
  }

  void closeAllThenOpenAsFresh() {
    Fixture f;
    TMainForm& m = f.M();
    const fs::path ta = f.Path("ta");
    fs::create_directories(ta / "units");
    WriteFile((ta / "units" / "x.fbi").string(), Unit("5", "X"));
    f.S().TaDir = ta.string();
    const std::string a = f.Archive("a.hpi", Full("1"));
    f.Open({a});
    m.IncludeTaFilesClick();
    QCOMPARE(f.S().UnitView.RowCount(), 2);

    m.CloseAll1->trigger();
    QVERIFY(AllEmpty(f.S()));
    QVERIFY(!m.IncludeTaFiles->isChecked());
    QVERIFY(!m.Close1->isEnabled() && !m.CloseAll1->isEnabled() && !m.UnitNameList->isEnabled());
    QCOMPARE(f.M().UnitView->model()->rowCount(), 0);
    QCOMPARE(f.S().UnitFiles.BuiltCount, uint16_t(0));

    f.Open({a});
    QCOMPARE(Fixture::Captions(f.S().UnitView), (Strings{"1"}));
    QCOMPARE(Fixture::Captions(f.S().CorpseView), (Strings{"dead1"}));
    QVERIFY(MenusAfterOpen(m));
  }

  void badArchivesChangeNoTable() {
    Fixture f;
    TMainForm& m = f.M();
    WriteFile(f.Path("text.hpi"), "this is not an archive at all");
    WriteFile(f.Path("empty.ufo"), "");
    const std::string nothing = f.Archive("nothing.hpi", {});
    const std::string maps = f.Archive("maps.ccx", {{"maps\\x.ota", "[GlobalHeader]\r\n{\r\n}\r\n"}});
    // Right directories, no definitions of the right extension.
    const std::string wrong = f.Archive("wrong.gp3", {{"units\\readme.txt", "UnitNumber=1;"}});
    f.Open({f.Path("text.hpi"), f.Path("empty.ufo"), nothing, maps, wrong});
    QVERIFY(AllEmpty(f.S()));
    QVERIFY(MenusAfterOpen(m));

    // Select-all in a directory whose only archive is damaged: still silent.
    Fixture g;
    fs::create_directories(g.Path("one"));
    WriteFile(g.Path("one/bad.hpi"), std::string(300, '\x01'));
    g.M().SearchDirMenuClick();
    g.Open({g.Path("one/bad.hpi")});
    QVERIFY(AllEmpty(g.S()));
    QVERIFY(MenusAfterOpen(g.M()));

    // A good archive opened beside the bad ones loads fully.
    f.Open({f.Path("text.hpi"), f.Archive("good.hpi", Full("1"))});
    QCOMPARE(f.S().UnitView.RowCount(), 1);
    QCOMPARE(f.S().CorpseView.RowCount(), 1);
  }
};

QTEST_MAIN(OpenCloseTest)
#include "ui_open_close.moc"
