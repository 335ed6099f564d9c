// Archives named on the command line open at start-up as File > Open... opens
// chosen files; names that cannot be opened are reported, the rest still open.
#include <sys/stat.h>

#include <QDir>

#include "app/command_line.h"

#include "ui_main_fixture.h"

using namespace uitest;

class CommandLineTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { qunsetenv("TA_DIR"); }

  // In the order given, a relative name taken from the working directory,
  // with the tables and the menus File > Open... leaves.
  void namedArchivesOpenInOrder() {
    Fixture f;
    const std::string b = f.Archive("b.hpi", Full("2")), c = f.Archive("c.gp3", Full("3")),
                      a = f.Archive("a.ufo", Full("1"));
    const QString before = QDir::currentPath();
    QDir::setCurrent(f.Dir.path());
    OpenCommandLineArchives(*f.P, {"c.gp3", "./sub/../a.ufo", b});
    QDir::setCurrent(before);
    for (AllUnpacked* l : {&f.S().UnitFiles, &f.S().WeaponFiles, &f.S().DownloadFiles, &f.S().CorpseFiles})
      QCOMPARE(Fixture::Parents(*l), (Strings{c, a, b}));
    QCOMPARE(Rows(f.S()), (Strings{"1", "2", "3", "11", "12", "13", "M1", "M2", "M3", "dead1", "dead2", "dead3"}));
    QVERIFY(MenusOn(f.M()) && f.D.Messages.empty() && f.D.OpenTitles.empty());

    // The very state the open dialog gives for the same files.
    Fixture g;
    g.Open({c, a, b});
    QCOMPARE(Rows(g.S()), Rows(f.S()));
    QCOMPARE(g.S().UnitView.RowAt(0).Data->UnPackedFile, f.S().UnitView.RowAt(0).Data->UnPackedFile);
  }

  // Missing names and directories are reported in one message; the good
  // archives open, a read-only one (as a game installed by root is) too.
  void unusableNamesAreReported() {
    Fixture f;
    const std::string good = f.Archive("good.hpi", Full("1")), locked = f.Archive("locked.ufo", Full("2"));
    QCOMPARE(::chmod(locked.c_str(), 0444), 0);
    QVERIFY(QDir().mkdir(QString::fromStdString(f.Path("dir.hpi"))));
    OpenCommandLineArchives(*f.P, {f.Path("gone.hpi"), locked, f.Path("dir.hpi"), good});
    QCOMPARE(f.D.Messages,
             (Strings{f.Path("gone.hpi") + "\n" + f.Path("dir.hpi") +
                      "\nThese files do not exist or are not regular files and cannot be opened."}));
    QCOMPARE(Rows(f.S()), (Strings{"1", "2", "11", "12", "M1", "M2", "dead1", "dead2"}));
    QVERIFY(MenusOn(f.M()));

    Fixture none;  // nothing usable, or no names at all: the menus stay as at start-up
    OpenCommandLineArchives(*none.P, {f.Path("dir.hpi")});
    OpenCommandLineArchives(*none.P, {});
    QVERIFY(!none.M().Close1->isEnabled() && !none.M().CloseAll1->isEnabled());
    QCOMPARE(none.D.Messages.size(), size_t(1));
  }
};

QTEST_MAIN(CommandLineTest)
#include "ui_command_line.moc"
