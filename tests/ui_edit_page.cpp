// The edit page: opening a row's file, editing, saving, cancelling, and
// closing when its entry goes away.
#include <QAction>
#include <QButtonGroup>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTextCursor>
#include <QTextDocument>
#include <QTemporaryDir>
#include <QtTest>
#include <sys/stat.h>
#include <filesystem>
#include <optional>

#include "app/main_form.h"
#include "hpi/rewrite.h"
#include "app/startup.h"
#include "archive/scripted_dialogs.h"
#include "options/options_form.h"
#include "ui_save_support.h"

using namespace testsupport;

namespace {

const std::string kAlpha =
    "[UNITINFO]\r\n{\r\n\tUnitNumber=11;\r\n\tUnitName=ALPHA;\r\n\tMaxDamage=100; // hull\r\n}\r\n";
const std::string kBeta = "[UNITINFO]\r\n{\r\n\tUnitNumber=12;\r\n\tUnitName=BETA;\r\n}";  // no final break
const std::string kDead =
    "[ALPHA_DEAD]\r\n{\r\ndamage=300;\r\n}\r\n[ALPHA_HEAP]\r\n{\r\ndamage=600;\r\n}\r\n";

int RowWith(const RowTable& View, int Col, const std::string& Value) {
  for (int i = 0; i < View.RowCount(); ++i)
    if (View.Cell(i, Col) == Value) return i;
  return -1;
}

int ColumnNamed(const RowTable& View, const std::string& Caption) {
  for (int c = 0; c < View.ColumnCount(); ++c)
    if (View.ColumnCaption(c) == Caption) return c;
  return -1;
}

// Scripted answers, and what the file held at the moment a question was asked.
struct WatchingDialogs : ScriptedDialogs {
  std::string Watched;                  // the disk file looked at, or an archive's path
  std::string WatchedInside;            // the file inside it, for an archive
  std::vector<std::string> SeenAtQuestion;
  bool AskYesNo(const std::string& Text, bool Warning = false) override {
    if (!Watched.empty()) {
      if (WatchedInside.empty()) {
        SeenAtQuestion.push_back(ReadBytes(Watched));
      } else {
        const auto files = UnpackArchive(Watched);
        SeenAtQuestion.push_back(files && files->count(WatchedInside) ? files->at(WatchedInside) : "(none)");
      }
    }
    return ScriptedDialogs::AskYesNo(Text, Warning);
  }
};

// Another program's write into an archive: one file replaced or removed.
void OtherWriter(const std::string& Archive, const std::string& Path, const std::optional<std::string>& Bytes) {
  const hpi::RewriteStatus status = hpi::Rewrite(
      Archive,
      [&](const hpi::Archive&, hpi::Changes& Changes, std::string*) {
        if (Bytes)
          Changes.Put(Path, std::vector<uint8_t>(Bytes->begin(), Bytes->end()));
        else
          Changes.Remove(Path);
        return true;
      },
      hpi::RewriteOptions());
  QCOMPARE(status, hpi::RewriteStatus::Done);
}

}  // namespace

class EditPageTest : public QObject {
  Q_OBJECT

  WatchingDialogs dialogs;
  std::unique_ptr<Program> p;
  std::unique_ptr<QTemporaryDir> temp;
  std::string archive;

  TMainForm& m() { return *p->MainForm; }
  AppState& s() { return *p->State; }
  bool TabShown(QWidget* Page) {
    return m().MainPanelControl->isTabVisible(m().MainPanelControl->indexOf(Page));
  }
  void OpenUnit(const std::string& Name) {
    s().UnitView.Select(RowWith(s().UnitView, 1, Name));
    m().UnitViewDblClick();
  }
  bool PageClosed() {
    return !TabShown(m().EditSheet) && TabShown(m().UnitSheet) && TabShown(m().WeaponSheet) &&
           TabShown(m().CorpseSheet) && TabShown(m().DownloadSheet) &&
           m().MainPanelControl->currentWidget() != m().EditSheet &&
           m().EditSave->text() == "Edit" && !m().EditMemo->isEnabled() &&
           m().EditMemo->toPlainText().isEmpty();
  }

 private slots:
  void init() {
    dialogs = WatchingDialogs{};
    p = StartUp(&dialogs);
    temp = std::make_unique<QTemporaryDir>();
    archive = temp->filePath("mod.ufo").toStdString();
    QVERIFY(PackArchive(archive, {{"units\\ALPHA.FBI", kAlpha}, {"units\\BETA.FBI", kBeta},
                                  {"features\\corpses\\DEAD.TDF", kDead}}, 1));
    dialogs.FileChoices = {{archive}};
    m().Open1Click();
    QCOMPARE(s().UnitView.RowCount(), 2);
  }
  void cleanup() {
    p.reset();
    temp.reset();
  }

  void noSelectionOpensNothing() {
    s().UnitView.Select(-1);
    m().UnitViewDblClick();
    QVERIFY(!m().EditEntry);
    QVERIFY(!TabShown(m().EditSheet));
    QCOMPARE(m().EditFiles, &s().UnitFiles);  // set even when nothing opened
  }

  void openShowsRawTextAndHidesTables() {
    QWidget* before = m().MainPanelControl->currentWidget();
    OpenUnit("ALPHA");
    QVERIFY(m().EditEntry);
    QCOMPARE(m().EditSheetLabel->text(),
             QString::fromStdString("FileName : units\\ALPHA.FBI in " + archive + "."));
    QCOMPARE(m().EditMemo->toPlainText().toStdString(),
             std::string("[UNITINFO]\n{\n\tUnitNumber=11;\n\tUnitName=ALPHA;\n\tMaxDamage=100; // hull\n}"));
    QCOMPARE(m().MainPanelControl->currentWidget(), m().EditSheet);
    QCOMPARE(m().ReturnPage, before);
    QVERIFY(!TabShown(m().UnitSheet) && !TabShown(m().WeaponSheet));
    QVERIFY(!TabShown(m().CorpseSheet) && !TabShown(m().DownloadSheet));
    QVERIFY(!m().EditMemo->isEnabled());
    QCOMPARE(m().EditSave->text(), QString("Edit"));
  }

  void fileLabelShowsItsWholeText() {
    m().show();
    QVERIFY(QTest::qWaitForWindowExposed(&m()));
    QLabel* label = m().EditSheetLabel;
    auto whole = [&] { return label->pos() == QPoint(4, 4) && label->width() >= label->sizeHint().width(); };
    // The unit-name list first, before any file: the label keeps up all the same.
    m().UnitNameListClick();
    m().EditCancel->click();
    OpenUnit("ALPHA");
    QVERIFY(whole());
    const int shortWidth = label->width();
    m().EditCancel->click();

    // A longer path: the label grows with it. Its file also ends in a zero
    // byte, which gives the editor no extra empty line.
    const std::string deep = temp->filePath(QString(60, 'd') + "/" + QString(60, 'e')).toStdString();
    std::filesystem::create_directories(deep);
    const std::string other = deep + "/other.ufo";
    QVERIFY(PackArchive(other, {{"units\\LONGER_NAME_OF_A_UNIT_FILE.FBI",
                                 std::string("[UNITINFO]\r\n{\r\nUnitNumber=15;\r\nUnitName=LONG;\r\n}\r\n\0", 51)}}, 1));
    dialogs.FileChoices = {{other}};
    m().Open1Click();
    OpenUnit("LONG");
    QCOMPARE(label->text(), QString::fromStdString("FileName : units\\LONGER_NAME_OF_A_UNIT_FILE.FBI in " + other + "."));
    QVERIFY(whole());
    QVERIFY(label->width() > shortWidth + 300);
    QCOMPARE(m().EditMemo->toPlainText(), QString("[UNITINFO]\n{\nUnitNumber=15;\nUnitName=LONG;\n}"));
    m().EditCancel->click();
    OpenUnit("ALPHA");  // and shrinks back
    QCOMPARE(label->width(), shortWidth);
  }

  void editThenSaveWithoutTypingWritesNothing() {
    const std::string before = ReadBytes(archive);
    OpenUnit("ALPHA");
    m().EditSave->click();
    QCOMPARE(m().EditSave->text(), QString("Save"));
    QVERIFY(m().EditMemo->isEnabled() && !m().EditMemo->isReadOnly());
    m().EditSave->click();
    QVERIFY(PageClosed());
    QCOMPARE(ReadBytes(archive), before);
    QCOMPARE(s().UnitFiles[0].Changed, uint8_t{0});
  }

  void saveIntoArchiveRebuildsRows() {
    p->OptionsForm->CompressiontypeButtons->button(2)->click();
    OpenUnit("BETA");
    m().EditSave->click();
    m().EditMemo->setPlainText("[UNITINFO]\n{\n\tUnitNumber=12;\n\tUnitName=BETA;\n\tMaxDamage=4321;\n}");
    m().EditSave->click();
    QVERIFY(PageClosed());
    QVERIFY(dialogs.Messages.empty());
    auto files = UnpackArchive(archive);
    QVERIFY(files.has_value());
    QCOMPARE(files->at("units\\BETA.FBI"),
             std::string("[UNITINFO]\r\n{\r\n\tUnitNumber=12;\r\n\tUnitName=BETA;\r\n\tMaxDamage=4321;\r\n}\r\n"));
    QCOMPARE(files->at("units\\ALPHA.FBI"), kAlpha);
    QCOMPARE(files->at("features\\corpses\\DEAD.TDF"), kDead);
    QCOMPARE(FindRecord(archive, "units\\ALPHA.FBI")->compression, uint8_t{2});
    const int row = RowWith(s().UnitView, 1, "BETA");
    QCOMPARE(s().UnitView.Cell(row, ColumnNamed(s().UnitView, "MaxDamage")), std::string("4321"));
    QCOMPARE(s().RepackFiles.Count, uint16_t{0});
  }

  void retypingTheSameTextStillSaves() {
    p->OptionsForm->CompressiontypeButtons->button(0)->click();
    OpenUnit("ALPHA");
    m().EditSave->click();
    const QString same = m().EditMemo->toPlainText();
    m().EditMemo->setPlainText(same + "x");
    m().EditMemo->setPlainText(same);
    m().EditSave->click();
    QCOMPARE(FindRecord(archive, "units\\ALPHA.FBI")->compression, uint8_t{0});  // rewritten
    QCOMPARE(UnpackArchive(archive)->at("units\\ALPHA.FBI"), kAlpha);
  }

  void cancelAfterTypingChangesNothing() {
    const std::string before = ReadBytes(archive);
    OpenUnit("ALPHA");
    UnPacked* entry = m().EditEntry;
    m().EditSave->click();
    m().EditMemo->setPlainText("garbage");
    m().EditCancel->click();
    QVERIFY(PageClosed());
    QVERIFY(!m().EditEntry);
    QCOMPARE(std::string(entry->Contents.get(), entry->PFileSize), kAlpha);
    QCOMPARE(ReadBytes(archive), before);
    const int row = RowWith(s().UnitView, 1, "ALPHA");
    QCOMPARE(s().UnitView.Cell(row, ColumnNamed(s().UnitView, "MaxDamage")), std::string("100"));
  }

  void corpseRowSavesItsOwnFile() {
    RowTable& corpses = s().CorpseView;
    QCOMPARE(corpses.RowCount(), 2);
    corpses.Select(RowWith(corpses, 0, "ALPHA_HEAP"));
    m().CorpseViewDblClick();
    QCOMPARE(m().EditFiles, &s().CorpseFiles);
    QVERIFY(m().EditMultiSection);
    m().EditSave->click();
    m().EditMemo->setPlainText(m().EditMemo->toPlainText().replace("damage=600", "damage=650"));
    m().EditSave->click();
    const int damage = ColumnNamed(corpses, "Damage");
    QCOMPARE(corpses.RowCount(), 2);
    QCOMPARE(corpses.Cell(RowWith(corpses, 0, "ALPHA_HEAP"), damage), std::string("650"));
    QCOMPARE(corpses.Cell(RowWith(corpses, 0, "ALPHA_DEAD"), damage), std::string("300"));
    QVERIFY(UnpackArchive(archive)->at("features\\corpses\\DEAD.TDF").find("damage=650;\r\n") !=
            std::string::npos);
  }

  void looseFileSaveWithNoThenYes() {
    const std::string ta = temp->filePath("ta").toStdString();
    std::filesystem::create_directories(ta + "/Units");
    const std::string loose = ta + "/Units/Gamma.FBI";
    const std::string text = "[UNITINFO]\r\n{\r\nUnitNumber=13;\r\nUnitName=GAMMA;\r\nMaxDamage=5;\r\n}\r\n// old tail\r\n";
    WriteBytes(loose, text);
    s().TaDir = ta;
    m().IncludeTaFilesClick();
    OpenUnit("GAMMA");
    QCOMPARE(m().EditSheetLabel->text(), QString::fromStdString("FileName : " + loose + " on disk."));
    const QString edited =
        m().EditMemo->toPlainText().replace("MaxDamage=5", "MaxDamage=6").remove("\n// old tail");

    m().EditSave->click();
    m().EditMemo->setPlainText(edited);
    dialogs.Answers = {false};
    m().EditSave->click();
    QCOMPARE(dialogs.Questions, std::vector<std::string>{"Save changes to " + loose});
    QCOMPARE(ReadBytes(loose), text);  // not written ...
    const int maxDamage = ColumnNamed(s().UnitView, "MaxDamage");
    QCOMPARE(s().UnitView.Cell(RowWith(s().UnitView, 1, "GAMMA"), maxDamage), std::string("6"));  // ... but shown

    OpenUnit("GAMMA");
    m().EditSave->click();
    m().EditMemo->setPlainText(edited);
    dialogs.Answers = {true};
    m().EditSave->click();
    QCOMPARE(ReadBytes(loose),
             std::string("[UNITINFO]\r\n{\r\nUnitNumber=13;\r\nUnitName=GAMMA;\r\nMaxDamage=6;\r\n}\r\n"));

    // An emptied editor holds no lines: the file becomes 0 bytes, not a lone CR LF.
    OpenUnit("GAMMA");
    m().EditSave->click();
    m().EditMemo->clear();
    dialogs.Answers = {true};
    m().EditSave->click();
    QCOMPARE(ReadBytes(loose), std::string());
  }

  void failedLooseWriteKeepsEditing() {
    const std::string ta = temp->filePath("ta").toStdString();
    std::filesystem::create_directories(ta + "/units");
    const std::string loose = ta + "/units/DELTA.FBI";
    WriteBytes(loose, "[UNITINFO]\r\n{\r\nUnitNumber=14;\r\nUnitName=DELTA;\r\n}\r\n");
    s().TaDir = ta;
    m().IncludeTaFilesClick();
    OpenUnit("DELTA");
    m().EditSave->click();
    m().EditMemo->setPlainText("[UNITINFO]\n{\nUnitNumber=14;\nUnitName=DELTA;\nMaxDamage=1;\n}");
    // The file turned into a directory meanwhile: it cannot be written.
    std::filesystem::remove(loose);
    std::filesystem::create_directory(loose);
    dialogs.Answers = {true};
    m().EditSave->click();
    QCOMPARE(dialogs.Messages.size(), size_t{1});
    QVERIFY(dialogs.Messages[0].find(loose) != std::string::npos);
    QCOMPARE(m().EditSave->text(), QString("Save"));
    QCOMPARE(m().MainPanelControl->currentWidget(), m().EditSheet);
    QVERIFY(m().EditMemo->isEnabled());
    const int maxDamage = ColumnNamed(s().UnitView, "MaxDamage");
    QCOMPARE(s().UnitView.Cell(RowWith(s().UnitView, 1, "DELTA"), maxDamage), std::string());
    m().EditCancel->click();
    QVERIFY(PageClosed());
  }

  void readOnlyAfterLoadingIsNotOverwritten() {
    const std::string ta = temp->filePath("ta").toStdString();
    std::filesystem::create_directories(ta + "/units");
    const std::string loose = ta + "/units/ZETA.FBI";
    const std::string text = "[UNITINFO]\r\n{\r\nUnitNumber=16;\r\nUnitName=ZETA;\r\n}\r\n";
    WriteBytes(loose, text);
    s().TaDir = ta;
    m().IncludeTaFilesClick();
    OpenUnit("ZETA");
    // Every write permission bit cleared after loading; the system would
    // still let root write.
    std::filesystem::permissions(loose, std::filesystem::perms::owner_read | std::filesystem::perms::group_read |
                                            std::filesystem::perms::others_read);
    m().EditSave->click();
    m().EditMemo->setPlainText("[UNITINFO]\n{\nUnitNumber=16;\nUnitName=ZETA;\nMaxDamage=1;\n}");
    dialogs.Answers = {true};
    m().EditSave->click();
    QCOMPARE(dialogs.Messages, std::vector<std::string>{"The file " + loose + " is read-only; it was not changed."});
    QVERIFY(dialogs.Questions.empty());  // refused before anything is asked
    QCOMPARE(ReadBytes(loose), text);
    QCOMPARE(m().EditSave->text(), QString("Save"));
    QCOMPARE(m().MainPanelControl->currentWidget(), m().EditSheet);
    QVERIFY(m().EditMemo->isEnabled());
  }

  // Every byte from 1 to 255 the user did not change comes back exactly,
  // into an archive and into a loose file: a no-break space (0xA0), a CR or
  // an LF alone inside a line included.
  void untouchedBytesSurviveAnEdit() {
    std::string every;
    for (int b = 1; b < 256; ++b) every += static_cast<char>(b);  // CR (13) and LF (10) apart
    const std::string allBytes = "[UNITINFO]\r\n{\r\n\tUnitNumber=21;\r\n\tUnitName=BYTES;\r\n\tDescription=" + every +
                                 ";\r\n}\r\n";
    const std::string lone = "[UNITINFO]\r\n{\r\n\tUnitNumber=22;\r\n\tUnitName=LONE;\r\n\tA=1\rB=2;\r\n\tC=3\nD=4;\r\n"
                             "\r\r\n\n\r\n\r\n\tE=\xA0x\xA0;\r\n}\r\n";
    const std::string ta = temp->filePath("ta").toStdString();
    std::filesystem::create_directories(ta + "/units");
    WriteBytes(ta + "/units/BYTES.FBI", allBytes);
    WriteBytes(ta + "/units/LONE.FBI", lone);
    s().TaDir = ta;
    m().IncludeTaFilesClick();
    const std::string packed = temp->filePath("bytes.ufo").toStdString();
    QVERIFY(PackArchive(packed, {{"units\\BYTES.FBI", allBytes}, {"units\\LONE.FBI", lone}}, 1));
    dialogs.FileChoices = {{packed}};
    m().Open1Click();

    // Opens the unit's row of the given parent, types a character and deletes it, saves.
    auto typeAndDelete = [&](const std::string& Name, const std::string& Parent) {
      RowTable& units = s().UnitView;
      for (int i = 0; i < units.RowCount(); ++i)
        if (units.Cell(i, 1) == Name && units.RowAt(i).Data->ParentFile == Parent) units.Select(i);
      m().UnitViewDblClick();
      m().EditSave->click();
      QTest::keyClicks(m().EditMemo, "x");
      QTest::keyClick(m().EditMemo, Qt::Key_Backspace);
      dialogs.Answers = {true};
      m().EditSave->click();
    };
    for (const std::string name : {"BYTES", "LONE"}) {
      typeAndDelete(name, packed);
      typeAndDelete(name, kNotPacked);
    }
    QVERIFY(dialogs.Messages.empty());
    QCOMPARE(dialogs.Questions.size(), size_t{2});  // the two loose files were written
    const auto files = UnpackArchive(packed);
    QVERIFY(files.has_value());
    QVERIFY(files->at("units\\BYTES.FBI") == allBytes);
    QVERIFY(files->at("units\\LONE.FBI") == lone);
    QVERIFY(ReadBytes(ta + "/units/BYTES.FBI") == allBytes);
    QVERIFY(ReadBytes(ta + "/units/LONE.FBI") == lone);

    // One changed character changes exactly one byte: the no-break space after "E=".
    s().UnitView.Select(RowWith(s().UnitView, 1, "LONE"));
    m().UnitViewDblClick();
    QCOMPARE(m().EditEntry->ParentFile, packed);
    m().EditSave->click();
    QTextCursor cursor = m().EditMemo->document()->find("E=", 0, QTextDocument::FindCaseSensitively);
    QVERIFY(!cursor.isNull());
    cursor.setPosition(cursor.selectionEnd());
    cursor.movePosition(QTextCursor::NextCharacter, QTextCursor::KeepAnchor);
    m().EditMemo->setTextCursor(cursor);
    QTest::keyClicks(m().EditMemo, "Z");
    m().EditSave->click();
    std::string expected = lone;
    expected[expected.find("E=\xA0") + 2] = 'Z';
    QCOMPARE(QByteArray::fromStdString(UnpackArchive(packed)->at("units\\LONE.FBI")).toHex(), QByteArray::fromStdString(expected).toHex());
  }

  void copyCutsTheListToTheClipboard() {
    // The page as the unit-name list leaves it.
    m().ReturnPage = m().CorpseSheet;
    m().MainPanelControl->setTabVisible(m().MainPanelControl->indexOf(m().EditSheet), true);
    m().MainPanelControl->setCurrentWidget(m().EditSheet);
    m().EditMemo->setEnabled(true);
    m().EditMemo->setPlainText("ALPHA\nBETA");
    m().EditSave->setText("Copy");
    m().EditSave->click();
    QCOMPARE(dialogs.Clipboard, std::string("ALPHA\nBETA"));
    QVERIFY(PageClosed());
    QCOMPARE(m().MainPanelControl->currentWidget(), m().CorpseSheet);
  }

  // Another program changed the file after the page loaded it: Save asks
  // before writing; Yes writes the edited text over the other version, No
  // keeps that version and shows it. In an archive and on disk alike.
  void saveAsksWhenTheFileChangedMeanwhile() {
    const std::string ta = temp->filePath("ta").toStdString();
    std::filesystem::create_directories(ta + "/units");
    const std::string loose = ta + "/units/GAMMA.FBI";
    WriteBytes(loose, "[UNITINFO]\r\n{\r\nUnitNumber=13;\r\nUnitName=GAMMA;\r\nMaxDamage=5;\r\n}\r\n");
    s().TaDir = ta;
    m().IncludeTaFilesClick();
    const int maxDamage = ColumnNamed(s().UnitView, "MaxDamage");
    const std::string question =
        " has changed since it was loaded.\nOverwrite it with the edited text? No keeps the other version and shows it.";
    for (const bool inArchive : {true, false}) {
      for (const bool overwrite : {true, false}) {
        const std::string unit = inArchive ? "ALPHA" : "GAMMA";
        const std::string where = inArchive ? "units\\ALPHA.FBI in " + archive : loose;
        const std::string other = "[UNITINFO]\r\n{\r\nUnitName=" + unit + ";\r\nMaxDamage=2200;\r\n}\r\n";
        const std::string edited = "[UNITINFO]\r\n{\r\nUnitName=" + unit + ";\r\nMaxDamage=7;\r\n}\r\n";
        auto fileNow = [&] { return inArchive ? UnpackArchive(archive)->at("units\\ALPHA.FBI") : ReadBytes(loose); };
        qInfo() << "case:" << QString::fromStdString(where) << (overwrite ? "Yes" : "No");
        dialogs.Questions.clear();
        dialogs.SeenAtQuestion.clear();
        dialogs.Watched = inArchive ? archive : loose;
        dialogs.WatchedInside = inArchive ? "units\\ALPHA.FBI" : "";
        OpenUnit(unit);
        m().EditSave->click();
        m().EditMemo->setPlainText(QString::fromStdString(edited).remove('\r').trimmed());
        if (inArchive)
          OtherWriter(archive, "UNITS\\alpha.fbi", other);
        else
          WriteBytes(loose, other);
        // Loose files are then confirmed as always.
        dialogs.Answers = inArchive ? std::deque<bool>{overwrite} : std::deque<bool>{overwrite, true};
        m().EditSave->click();
        QVERIFY(!dialogs.Questions.empty());
        QCOMPARE(dialogs.Questions.front(), where + question);
        QCOMPARE(dialogs.SeenAtQuestion.front(), other);  // nothing written before the answer
        if (overwrite) {
          QCOMPARE(QString::fromStdString(fileNow()), QString::fromStdString(edited));
          QVERIFY(PageClosed());
          QCOMPARE(s().UnitView.Cell(RowWith(s().UnitView, 1, unit), maxDamage), std::string("7"));
        } else {
          QCOMPARE(dialogs.Questions.size(), size_t{1});
          QCOMPARE(fileNow(), other);
          // The page shows the other version, not yet editing, and so do the rows.
          QCOMPARE(m().MainPanelControl->currentWidget(), m().EditSheet);
          QCOMPARE(m().EditMemo->toPlainText().toStdString(), QString::fromStdString(other).remove('\r').trimmed().toStdString());
          QCOMPARE(m().EditSave->text(), QString("Edit"));
          QVERIFY(!m().EditMemo->isEnabled());
          QCOMPARE(s().UnitView.Cell(RowWith(s().UnitView, 1, unit), maxDamage), std::string("2200"));
          // Saved again without another change meanwhile: no question.
          m().EditSave->click();
          m().EditMemo->setPlainText(QString::fromStdString(edited).remove('\r').trimmed());
          dialogs.Questions.clear();
          dialogs.Answers = {true};
          m().EditSave->click();
          QCOMPARE(dialogs.Questions.size(), size_t(inArchive ? 0 : 1));
          QCOMPARE(fileNow(), edited);
          QVERIFY(PageClosed());
        }
      }
    }
    dialogs.Watched.clear();

    // Removed from its archive meanwhile: added back without a question.
    OpenUnit("BETA");
    m().EditSave->click();
    m().EditMemo->setPlainText("[UNITINFO]\n{\nUnitNumber=12;\nUnitName=BETA;\nMaxDamage=3;\n}");
    OtherWriter(archive, "units\\BETA.FBI", std::nullopt);
    dialogs.Questions.clear();
    m().EditSave->click();
    QVERIFY(dialogs.Questions.empty());
    QCOMPARE(UnpackArchive(archive)->at("units\\BETA.FBI"),
             std::string("[UNITINFO]\r\n{\r\nUnitNumber=12;\r\nUnitName=BETA;\r\nMaxDamage=3;\r\n}\r\n"));

    // A loose file saved with No to its confirmation keeps the page's text in
    // the rows: saving it later is no change by another program.
    OpenUnit("GAMMA");
    m().EditSave->click();
    m().EditMemo->setPlainText("[UNITINFO]\n{\nUnitName=GAMMA;\nMaxDamage=8;\n}");
    dialogs.Questions.clear();
    dialogs.Answers = {false};
    m().EditSave->click();
    OpenUnit("GAMMA");
    m().EditSave->click();
    m().EditMemo->setPlainText("[UNITINFO]\n{\nUnitName=GAMMA;\nMaxDamage=9;\n}");
    dialogs.Answers = {true};
    m().EditSave->click();
    QCOMPARE(dialogs.Questions, (std::vector<std::string>{"Save changes to " + loose, "Save changes to " + loose}));
    QCOMPARE(ReadBytes(loose), std::string("[UNITINFO]\r\n{\r\nUnitName=GAMMA;\r\nMaxDamage=9;\r\n}\r\n"));
  }

  // A read-only archive (a game installed by root, read-only media) opens
  // for viewing; Save is refused with a message before anything is asked or
  // written, and the page keeps the edited text.
  void readOnlyArchiveOpensAndSaveIsRefused() {
    const std::string locked = temp->filePath("locked.hpi").toStdString();
    QVERIFY(PackArchive(locked, {{"units\\OMEGA.FBI", "[UNITINFO]\r\n{\r\nUnitNumber=20;\r\nUnitName=OMEGA;\r\n}\r\n"}}, 1));
    QCOMPARE(::chmod(locked.c_str(), 0444), 0);
    const std::string before = ReadBytes(locked);
    dialogs.FileChoices = {{locked}};
    m().Open1Click();
    QVERIFY(dialogs.Messages.empty());
    QCOMPARE(s().UnitView.RowCount(), 3);
    OpenUnit("OMEGA");
    m().EditSave->click();
    m().EditMemo->setPlainText("[UNITINFO]\n{\nUnitNumber=20;\nUnitName=OMEGA;\nMaxDamage=1;\n}");
    dialogs.Answers = {true, true};
    m().EditSave->click();
    QCOMPARE(dialogs.Messages, std::vector<std::string>{"The archive " + locked + " is read-only; it was not changed."});
    QVERIFY(dialogs.Questions.empty());
    QCOMPARE(ReadBytes(locked), before);
    QCOMPARE(m().EditSave->text(), QString("Save"));
    QVERIFY(m().EditMemo->toPlainText().contains("MaxDamage=1"));
    QCOMPARE(s().UnitView.Cell(RowWith(s().UnitView, 1, "OMEGA"), ColumnNamed(s().UnitView, "MaxDamage")), std::string());
    m().EditCancel->click();
    QVERIFY(PageClosed());
  }

  void removedEntryClosesThePage() {
    const std::string ta = temp->filePath("ta").toStdString();
    std::filesystem::create_directories(ta + "/units");
    WriteBytes(ta + "/units/EPS.FBI", "[UNITINFO]\r\n{\r\nUnitNumber=15;\r\nUnitName=EPS;\r\n}\r\n");
    s().TaDir = ta;
    m().IncludeTaFilesClick();

    // Switching the loose files off leaves an archive file's page open ...
    OpenUnit("ALPHA");
    m().IncludeTaFilesClick();
    QVERIFY(!m().IncludeTaFiles->isChecked());
    QVERIFY(m().EditEntry);
    QCOMPARE(m().MainPanelControl->currentWidget(), m().EditSheet);
    m().EditCancel->click();

    // ... and closes a loose file's page.
    m().IncludeTaFilesClick();
    OpenUnit("EPS");
    m().EditSave->click();
    m().EditMemo->setPlainText("typed");
    dialogs.UnsavedAnswers.push_back(Dialogs::Unsaved::Discard);  // typed text is asked about first
    m().IncludeTaFilesClick();
    QCOMPARE(dialogs.UnsavedQuestions.size(), size_t{1});
    QVERIFY(!m().EditEntry);
    QVERIFY(PageClosed());

    // Close All closes any page; the save button then has nothing to store.
    OpenUnit("BETA");
    m().EditSave->click();
    m().EditMemo->setPlainText("typed");
    const std::string before = ReadBytes(archive);
    dialogs.UnsavedAnswers.push_back(Dialogs::Unsaved::Discard);
    m().CloseAll1Click();
    QCOMPARE(dialogs.UnsavedQuestions.size(), size_t{2});
    QVERIFY(!m().EditEntry);
    QVERIFY(PageClosed());
    QCOMPARE(s().UnitFiles.Count, uint16_t{0});
    m().EditSave->click();
    m().EditSave->click();
    QCOMPARE(ReadBytes(archive), before);
  }
};

QTEST_MAIN(EditPageTest)
#include "ui_edit_page.moc"
