// Opening archives, the two directory switches, Close and Close All, through
// the window's handlers on archives written by the archive library.
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFileDialog>
#include <QSignalSpy>
#include <QTabWidget>
#include <filesystem>

#include "app/qt_dialogs.h"

#include "ui_main_fixture.h"

using namespace uitest;
namespace fs = std::filesystem;

class OpenCloseTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { qunsetenv("TA_DIR"); }

  void openOrderRepeatsAndCancel() {
    Fixture f;
    const std::string b = f.Archive("b.hpi", Full("2")), c = f.Archive("c.gp3", Full("3")),
                      a = f.Archive("a.ufo", Full("1")), d = f.Archive("D.CCX", Full("4"));
    WriteFile(f.Path("notes.txt"), "not an archive");
    f.Open({c, a, b});  // chosen files, in the dialog's order
    QCOMPARE(f.D.OpenTitles, Strings{"Select packed files to compare.."});
    for (AllUnpacked* l : {&f.S().UnitFiles, &f.S().WeaponFiles, &f.S().DownloadFiles, &f.S().CorpseFiles})
      QCOMPARE(Fixture::Parents(*l), (Strings{c, a, b}));
    QCOMPARE(Rows(f.S()), (Strings{"1", "2", "3", "11", "12", "13", "M1", "M2", "M3", "dead1", "dead2", "dead3"}));
    QVERIFY(MenusOn(f.M()));
    f.M().CloseAll1->setEnabled(false);
    f.Open({a});  // again: nothing added, menus enabled all the same
    QCOMPARE(f.S().UnitView.RowCount(), 3);
    QVERIFY(MenusOn(f.M()));
    f.M().Close1->setEnabled(false);
    f.M().Open1Click();  // cancelled: nothing at all
    QVERIFY(!f.M().Close1->isEnabled());

    Fixture g;  // select-all: the whole directory of the first file, once, by pattern
    g.M().SearchDirMenuClick();
    g.Open({c, b});
    QCOMPARE(g.D.OpenTitles, Strings{"Select one packed file and i will select the rest"});
    QCOMPARE(Fixture::Parents(g.S().UnitFiles), (Strings{a, b, c, d}));
    QVERIFY(g.D.Messages.empty() && MenusOn(g.M()));
  }

  void weaponsOnlyArchiveTouchesOnlyWeapons() {
    Fixture f;
    f.Open({f.Archive("u.hpi", {{"units\\a.fbi", Unit("2", {{"UnitName", "A"}})}, {"units\\b.fbi", Unit("1", {{"UnitName", "Z"}})}})});
    RowTable& units = f.S().UnitView;
    // Were the units rebuilt, they would be refitted and sorted by UnitName.
    f.S().UnitSortColumn = 1;
    units.SetColumnWidth(1, 7);
    QSignalSpy resets(f.M().UnitView->model(), &QAbstractItemModel::modelReset);
    f.Open({f.Archive("w.hpi", {{"weapons\\w.tdf", Sections("ID", {"5", "4"})}})});
    QCOMPARE(Fixture::Column(f.S().WeaponView), (Strings{"4", "5"}));
    QCOMPARE(Fixture::Column(units), (Strings{"1", "2"}));
    QVERIFY(units.ColumnWidth(1) == 7 && resets.count() == 0);
  }

  void closeOneOfTwoArchivesThenCloseAll() {
    Fixture f;
    AppState& s = f.S();
    TMainForm& m = f.M();
    const std::string a = f.Archive("a.hpi", Full("1"));
    ArchiveFiles bFiles = Full("2");
    bFiles["units\\x.fbi"] = Unit("0");
    const std::string b = f.Archive("b.hpi", bFiles);
    f.Open({a, b});
    m.Close1Click();  // nothing selected
    m.UnitView->selectionModel()->select(m.UnitView->model()->index(1, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    m.MainPanelControl->setCurrentWidget(m.WeaponSheet);
    m.Close1Click();  // the selected row is on another page
    QVERIFY(s.UnitView.RowCount() == 3 && f.D.Messages.empty());
    m.MainPanelControl->setCurrentWidget(m.UnitSheet);
    m.Close1->trigger();  // row "1" of a.hpi
    QCOMPARE(Rows(s), (Strings{"0", "2", "12", "M2", "dead2"}));
    for (RowTable* t : {&s.UnitView, &s.WeaponView, &s.DownloadView, &s.CorpseView})
      for (int i = 0; i < t->RowCount(); ++i) QCOMPARE(t->RowAt(i).Data->ParentFile, b);  // living entries
    for (AllUnpacked* l : {&s.UnitFiles, &s.WeaponFiles, &s.DownloadFiles, &s.CorpseFiles}) QCOMPARE(Fixture::Parents(*l), Strings(l->Count, b));
    QVERIFY(MenusOn(m));

    m.CloseAll1->trigger();
    QVERIFY(Rows(s).empty() && s.UnitFiles.Count + s.WeaponFiles.Count + s.DownloadFiles.Count + s.CorpseFiles.Count == 0);
    QVERIFY(!m.Close1->isEnabled() && !m.CloseAll1->isEnabled() && !m.UnitNameList->isEnabled());
    QCOMPARE(m.UnitView->model()->rowCount(), 0);
    f.Open({a});  // as on a fresh start
    QCOMPARE(Rows(s), (Strings{"1", "11", "M1", "dead1"}));
  }

  void looseFilesSwitchAndMissingDirectory() {
    Fixture f;
    AppState& s = f.S();
    TMainForm& m = f.M();
    WriteFile(f.Path("afile"), "x");
    for (const std::string& dir : {f.Path("nowhere"), f.Path("afile"), std::string()}) {
      s.TaDir = dir;
      f.D.Messages.clear();
      m.IncludeTaFilesClick();
      QCOMPARE(f.D.Messages, Strings{"The ta-dir " + dir + " path does not exist. See Options-menu to change."});
      QVERIFY(!m.IncludeTaFiles->isChecked() && !m.CloseAll1->isEnabled() && s.UnitFiles.Count == 0);
    }
    const fs::path ta = f.Path("TA");  // mixed case, as game files copied to Linux keep it
    fs::create_directories(ta / "Units");
    fs::create_directories(ta / "Features" / "Corpses");
    WriteFile((ta / "Units" / "ARMCOM.FBI").string(), Unit("7"));
    WriteFile((ta / "Units" / "corcom.fbi").string(), Unit("8"));
    WriteFile((ta / "Features" / "Corpses" / "dead.TDF").string(), Sections("World", {"armdead"}));
    s.TaDir = ta.string();
    f.Open({f.Archive("a.hpi", Full("1"))});
    m.Close1->setEnabled(false);
    m.UnitNameList->setEnabled(false);
    m.IncludeTaFiles->trigger();
    QVERIFY(m.IncludeTaFiles->isChecked() && m.CloseAll1->isEnabled() && !m.Close1->isEnabled());
    QVERIFY(m.UnitNameList->isEnabled());
    const Strings first = Rows(s);
    QCOMPARE(first, (Strings{"1", "7", "8", "11", "M1", "armdead", "dead1"}));
    QCOMPARE(s.UnitView.RowAt(1).Data->UnPackedFile, (ta / "Units" / "ARMCOM.FBI").string());
    m.IncludeTaFilesClick();  // off
    QVERIFY(!m.IncludeTaFiles->isChecked());
    QCOMPARE(Rows(s), (Strings{"1", "11", "M1", "dead1"}));
    m.IncludeTaFilesClick();  // on again
    QCOMPARE(Rows(s), first);
    s.UnitView.Select(2);  // Close on a loose row closes every loose file
    m.Close1Click();
    QVERIFY(!m.IncludeTaFiles->isChecked());
    QCOMPARE(Rows(s), (Strings{"1", "11", "M1", "dead1"}));

    // Close All with the loose files on clears the switch's check mark too,
    // and switching them on again loads them anew.
    m.IncludeTaFilesClick();
    QVERIFY(m.IncludeTaFiles->isChecked());
    m.CloseAll1->trigger();
    QVERIFY(!m.IncludeTaFiles->isChecked() && Rows(s).empty());
    m.IncludeTaFiles->trigger();
    QCOMPARE(Rows(s), (Strings{"7", "8", "armdead"}));
  }

  // A FIFO named like an archive would block a reader for ever: it is passed
  // over as an archive that cannot be opened, chosen or found by the
  // select-all switch, and the open dialog does not offer it. Should an open
  // ever block again, the alarm ends the test as a failure.
  void fifoNamedLikeAnArchive() {
    Fixture f;
    const std::string fifo = f.Path("x.hpi");
    QCOMPARE(::mkfifo(fifo.c_str(), 0666), 0);
    const std::string good = f.Archive("good.ufo", Full("1"));
    ::alarm(60);
    f.Open({fifo, good});
    QCOMPARE(Rows(f.S()), (Strings{"1", "11", "M1", "dead1"}));
    Fixture g;
    const std::string gFifo = g.Path("y.hpi");
    QCOMPARE(::mkfifo(gFifo.c_str(), 0666), 0);
    const std::string gGood = g.Archive("good.ufo", Full("2"));
    g.M().SearchDirMenuClick();
    g.Open({gGood});
    QCOMPARE(Fixture::Parents(g.S().UnitFiles), Strings{gGood});
    ::alarm(0);
    // Each FIFO is named as what cannot be read, the archive beside it loads.
    QCOMPARE(f.D.Messages.size(), size_t{1});
    QVERIFY2(f.D.Messages[0].rfind("cannot read archive " + fifo + ": ", 0) == 0, f.D.Messages[0].c_str());
    QCOMPARE(g.D.Messages.size(), size_t{1});
    QVERIFY2(g.D.Messages[0].rfind("cannot read archive " + gFifo + ": ", 0) == 0, g.D.Messages[0].c_str());

    QFileDialog dialog;
    SetUpArchiveDialog(dialog);
    const QDir offered(g.Dir.path(), QString(), QDir::Name, dialog.filter());
    QCOMPARE(offered.entryList({"*.hpi", "*.ufo"}), (QStringList{"good.ufo"}));
  }

  void badArchivesAddNothing() {
    Fixture f;
    WriteFile(f.Path("text.hpi"), "this is not an archive at all");
    WriteFile(f.Path("empty.ufo"), "");
    WriteFile(f.Path("noise.gp3"), std::string(300, '\x01'));
    f.Open({f.Path("text.hpi"), f.Path("empty.ufo"), f.Path("noise.gp3"), f.Archive("none.hpi", {}),
            f.Archive("maps.ccx", {{"maps\\x.ota", "[GlobalHeader]\r\n{\r\n}\r\n"}}),
            f.Archive("txt.hpi", {{"units\\readme.txt", Unit("1")}}), f.Archive("good.hpi", Full("1"))});
    QCOMPARE(Rows(f.S()), (Strings{"1", "11", "M1", "dead1"}));
    QVERIFY(MenusOn(f.M()));
    // What is no archive is named, one line each, in one message; archives
    // without definitions are no problem.
    QCOMPARE(f.D.Messages.size(), size_t{1});
    const QStringList lines = QString::fromStdString(f.D.Messages[0]).split('\n');
    QCOMPARE(lines.size(), 3);
    const Strings named = {f.Path("text.hpi"), f.Path("empty.ufo"), f.Path("noise.gp3")};
    for (int i = 0; i < 3; ++i)
      QVERIFY2(lines[i].startsWith(QString::fromStdString("cannot read archive " + named[static_cast<size_t>(i)] + ": ")),
               qPrintable(lines[i]));
  }
};

QTEST_MAIN(OpenCloseTest)
#include "ui_open_close.moc"
