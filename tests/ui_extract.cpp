// "Ex&tract...": whole archives unpacked below a chosen directory.
#include <QTemporaryDir>
#include <QtTest>
#include <sys/stat.h>
#include <filesystem>

#include <QLineEdit>
#include <QPushButton>

#include "app/directory_dialog.h"
#include "app/main_form.h"
#include "app/startup.h"
#include "archive/scripted_dialogs.h"
#include "ui_save_support.h"

using namespace testsupport;
namespace fs = std::filesystem;

namespace {
const std::string kCreate = "The specified directory does not exist. Create it?";
}

class ExtractTest : public QObject {
  Q_OBJECT

  ScriptedDialogs dialogs;
  std::unique_ptr<Program> p;
  std::unique_ptr<QTemporaryDir> temp;

  std::string Path(const char* Name) { return temp->filePath(Name).toStdString(); }

 private slots:
  void init() {
    dialogs = ScriptedDialogs{};
    p = StartUp(&dialogs);
    temp = std::make_unique<QTemporaryDir>();
  }
  void cleanup() {
    p.reset();
    temp.reset();
  }

  void twoArchivesIntoANewDirectory() {
    const std::string a = Path("a.ufo"), b = Path("b.hpi");
    QVERIFY(PackArchive(a, {{"units\\ONE.FBI", "one\r\n"}, {"weapons\\W.TDF", "w\r\n"}}, 1));
    QVERIFY(PackArchive(b, {{"units\\TWO.FBI", "two\r\n"}, {"units\\ONE.FBI", "one from b\r\n"}}, 2));
    const std::string target = Path("out/deeper/still");
    dialogs.FileChoices = {{a, b}};
    dialogs.DirectoryChoices = {target};
    dialogs.Answers = {true};
    p->MainForm->ExtractufosClick();

    QCOMPARE(dialogs.OpenTitles, std::vector<std::string>{"Select packed files to extract.."});
    QCOMPARE(dialogs.DirectoryStarts, std::vector<std::string>{"/"});
    QCOMPARE(dialogs.Questions, std::vector<std::string>{kCreate});
    QCOMPARE(p->State->ExtractDir, target + "/");
    QCOMPARE(ReadBytes(target + "/weapons/W.TDF"), std::string("w\r\n"));
    QCOMPARE(ReadBytes(target + "/units/TWO.FBI"), std::string("two\r\n"));
    // Dialog order: the second archive's copy is the one left on disk.
    QCOMPARE(ReadBytes(target + "/units/ONE.FBI"), std::string("one from b\r\n"));
    // Nothing was loaded into the tables.
    QCOMPARE(p->State->UnitFiles.Count, uint16_t{0});
    QCOMPARE(p->State->UnitView.RowCount(), 0);
  }

  // Extraction only reads: a read-only archive is extracted like any other.
  void readOnlyArchiveIsExtracted() {
    const std::string a = Path("locked.ufo");
    QVERIFY(PackArchive(a, {{"units\\ONE.FBI", "one\r\n"}}, 1));
    QCOMPARE(::chmod(a.c_str(), 0444), 0);
    const std::string target = Path("out");
    QVERIFY(std::filesystem::create_directory(target));
    dialogs.FileChoices = {{a}};
    dialogs.DirectoryChoices = {target};
    p->MainForm->ExtractufosClick();
    QVERIFY(dialogs.Messages.empty());
    QCOMPARE(ReadBytes(target + "/units/ONE.FBI"), std::string("one\r\n"));
  }

  void refusedCreationAsksAgainAndCancelEnds() {
    const std::string a = Path("a.ufo");
    QVERIFY(PackArchive(a, {{"units\\ONE.FBI", "one\r\n"}}, 0));
    const std::string missing = Path("never"), existing = Path("there/");
    fs::create_directory(existing);
    dialogs.FileChoices = {{a}};
    dialogs.DirectoryChoices = {missing, existing};
    dialogs.Answers = {false};
    p->MainForm->ExtractufosClick();
    // Asked while the chooser was open; No kept that one chooser open.
    QCOMPARE(dialogs.Questions, std::vector<std::string>{kCreate});
    QCOMPARE(dialogs.DirectoryStarts.size(), size_t{1});
    QVERIFY(!fs::exists(missing));
    QCOMPARE(p->State->ExtractDir, existing);  // already ends with '/': none added
    QCOMPARE(ReadBytes(existing + "units/ONE.FBI"), std::string("one\r\n"));

    // A cancelled chooser leaves the extraction directory at the root and writes nothing.
    dialogs.FileChoices = {{a}};
    dialogs.DirectoryChoices = {""};
    p->MainForm->ExtractufosClick();
    QCOMPARE(p->State->ExtractDir, std::string("/"));
    // A cancelled file dialog does not even ask for the directory.
    p->MainForm->ExtractufosClick();
    QCOMPARE(dialogs.DirectoryStarts.size(), size_t{2});
  }

  // The real chooser, shown without waiting: a typed directory that does not
  // exist yet can be confirmed with the chooser's own button; the question
  // comes while the chooser is open, and No leaves it open as it was.
  void chooserConfirmsANewDirectory() {
    const QString start = temp->path();
    fs::create_directory(Path("present"));
    DirectoryDialog dialog(nullptr, start, true);
    std::vector<QString> asked;
    std::vector<bool> openWhileAsked;
    bool answer = false;
    dialog.AskCreate = [&](const QString& Question) {
      asked.push_back(Question);
      openWhileAsked.push_back(dialog.isVisible());
      return answer;
    };
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    auto* name = dialog.findChild<QLineEdit*>("fileNameEdit");
    QPushButton* confirm = dialog.AcceptButton();
    QVERIFY(name && confirm);
    QTRY_COMPARE(dialog.directory().absolutePath(), QDir(start).absolutePath());

    name->setFocus();
    name->clear();
    QTest::keyClicks(name, "new/deeper");
    QApplication::processEvents();
    QVERIFY(confirm->isEnabled());  // not greyed for a directory that does not exist yet
    QTest::mouseClick(confirm, Qt::LeftButton);
    QCOMPARE(asked, std::vector<QString>{QString::fromStdString(kCreate)});
    QCOMPARE(openWhileAsked, std::vector<bool>{true});
    // No: still open, where it was, with what was typed.
    QVERIFY(dialog.isVisible() && dialog.result() == QDialog::Rejected);
    QCOMPARE(name->text(), QString("new/deeper"));
    QCOMPARE(dialog.directory().absolutePath(), QDir(start).absolutePath());
    QVERIFY(dialog.Chosen().isEmpty());

    answer = true;
    QTest::keyClick(name, Qt::Key_Return);  // Enter does the same as the button
    QCOMPARE(asked.size(), size_t{2});
    QVERIFY(!dialog.isVisible() && dialog.result() == QDialog::Accepted);
    QCOMPARE(QDir(dialog.Chosen()).absolutePath(), QDir(start).absoluteFilePath("new/deeper"));
    QVERIFY(!fs::exists(Path("new")));  // the caller creates it

    // The questions of the next choosers are recorded and answered with Answer.
    auto recordAndAnswer = [&](bool Answer) {
      return [&asked, Answer](const QString& Question) {
        asked.push_back(Question);
        return Answer;
      };
    };

    // An existing directory is taken without a question.
    DirectoryDialog again(nullptr, start, true);
    again.AskCreate = recordAndAnswer(false);
    again.show();
    QVERIFY(QTest::qWaitForWindowExposed(&again));
    auto* name2 = again.findChild<QLineEdit*>("fileNameEdit");
    name2->setText(QString::fromStdString(Path("present")));
    QTest::mouseClick(again.AcceptButton(), Qt::LeftButton);
    QCOMPARE(asked.size(), size_t{2});
    QVERIFY(again.result() == QDialog::Accepted);
    QCOMPARE(QDir(again.Chosen()).absolutePath(), QDir(QString::fromStdString(Path("present"))).absolutePath());

    // Without creation allowed, a missing directory is not taken.
    DirectoryDialog browse(nullptr, start, false);
    browse.AskCreate = recordAndAnswer(true);
    browse.show();
    QVERIFY(QTest::qWaitForWindowExposed(&browse));
    browse.findChild<QLineEdit*>("fileNameEdit")->setText("missing");
    QVERIFY(!browse.AcceptButton()->isEnabled());
    QVERIFY(asked.size() == 2 && browse.Chosen().isEmpty());
    browse.reject();
  }

  // Symbolic links already in the target are never followed: not through a
  // directory link, not over a file behind a file link, not through a
  // dangling link. The other entries are extracted, each with its own bytes,
  // names equal apart from letter case included.
  void linksInTheTargetAreNeverFollowed() {
    const std::string outside = Path("outside");
    fs::create_directories(outside);
    WriteBytes(outside + "/kept.fbi", "outside file");
    const std::string a = Path("links.ufo");
    WriteBytes(a, RawArchive({RawNode{"units", true, "", {RawNode{"ARM.FBI", false, "arm", {}}}},
                              RawNode{"weapons", true, "", {RawNode{"W.TDF", false, "w", {}},
                                                            RawNode{"NEW.TDF", false, "new", {}}}},
                              RawNode{"DUP.TXT", false, std::string(32, 'U'), {}},
                              RawNode{"dup.txt", false, "lower!!!", {}},
                              RawNode{"gone", true, "", {RawNode{"x", false, "x", {}}}}}));
    const std::string target = Path("target");
    fs::create_directories(target + "/weapons");
    fs::create_directory_symlink(outside, target + "/units");
    fs::create_symlink(outside + "/kept.fbi", target + "/weapons/W.TDF");
    fs::create_symlink(outside + "/new.tdf", target + "/weapons/NEW.TDF");  // dangling
    fs::create_symlink(outside + "/gone", target + "/gone");                // dangling
    dialogs.FileChoices = {{a}};
    dialogs.DirectoryChoices = {target};
    p->MainForm->ExtractufosClick();

    QVERIFY(dialogs.Messages.empty());
    std::vector<std::string> inOutside;
    for (const auto& e : fs::directory_iterator(outside)) inOutside.push_back(e.path().filename());
    QCOMPARE(inOutside, std::vector<std::string>{"kept.fbi"});
    QCOMPARE(ReadBytes(outside + "/kept.fbi"), std::string("outside file"));
    QVERIFY(fs::is_symlink(target + "/weapons/W.TDF") && fs::is_symlink(target + "/weapons/NEW.TDF"));
    QCOMPARE(ReadBytes(target + "/DUP.TXT"), std::string(32, 'U'));
    QCOMPARE(ReadBytes(target + "/dup.txt"), std::string("lower!!!"));
  }

  void emptyDirectoriesAndHostileNames() {
    // Names the library's writer would refuse, written raw.
    RawNode maps{"maps", true, "", {}};
    RawNode up{"..", true, "", {{"evil.txt", false, "escaped", {}}}};
    RawNode upFile{"..", false, "escaped too", {}};
    RawNode units{"units", true, "", {{"ok.fbi", false, "fine", {}}, {"..", true, "", {{"x.txt", false, "sideways", {}}}}}};
    const std::string hostile = Path("hostile.ufo");
    WriteBytes(hostile, RawArchive({maps, up, upFile, units}));

    const std::string target = Path("base/target");
    fs::create_directories(target);
    dialogs.FileChoices = {{hostile}};
    dialogs.DirectoryChoices = {target};
    p->MainForm->ExtractufosClick();

    QVERIFY(dialogs.Questions.empty());  // the directory existed
    QVERIFY(fs::is_directory(target + "/maps"));
    QVERIFY(fs::is_empty(target + "/maps"));
    QCOMPARE(ReadBytes(target + "/units/ok.fbi"), std::string("fine"));
    QVERIFY(!fs::exists(Path("base/evil.txt")));
    QVERIFY(!fs::exists(target + "/x.txt"));
    // Only what the archive holds below the target: nothing beside it.
    std::vector<std::string> inBase;
    for (const auto& e : fs::directory_iterator(Path("base"))) inBase.push_back(e.path().filename());
    QCOMPARE(inBase, std::vector<std::string>{"target"});
    std::vector<std::string> inTemp;
    for (const auto& e : fs::directory_iterator(temp->path().toStdString()))
      inTemp.push_back(e.path().filename());
    std::sort(inTemp.begin(), inTemp.end());
    QCOMPARE(inTemp, (std::vector<std::string>{"base", "hostile.ufo"}));
  }
};

QTEST_MAIN(ExtractTest)
#include "ui_extract.moc"
