// The sample game directory and archive shipped in examples/: they load into
// all four tables, and a sample file survives an edit with its CR LF line ends.
#include <QCoreApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>
#include <filesystem>
#include <set>

#include "app/main_form.h"
#include "app/startup.h"
#include "archive/scripted_dialogs.h"
#include "ui_save_support.h"

namespace fs = std::filesystem;

namespace {
const fs::path kExamples = fs::path(KESTRAVA_SOURCE_DIR) / "examples";

std::set<std::string> ColumnValues(const RowTable& View, const std::string& Caption) {
  int col = -1;
  for (int c = 0; c < View.ColumnCount(); ++c)
    if (View.ColumnCaption(c) == Caption) col = c;
  std::set<std::string> values;
  for (int i = 0; col >= 0 && i < View.RowCount(); ++i) values.insert(View.Cell(i, col));
  return values;
}
}  // namespace

class SampleTest : public QObject {
  Q_OBJECT

 private slots:
  void sampleGameDirectoryFillsEveryTable() {
    QTemporaryDir temp;
    const std::string game = temp.filePath("game").toStdString();
    fs::copy(kExamples / "game", game, fs::copy_options::recursive);
    ScriptedDialogs dialogs;
    auto p = StartUp(&dialogs);
    AppState& s = *p->State;
    s.TaDir = game;
    p->MainForm->IncludeTaFilesClick();
    QVERIFY(dialogs.Messages.empty());
    QVERIFY(s.UnitView.RowCount() >= 12);
    QCOMPARE(s.WeaponView.RowCount(), 10);
    QVERIFY(s.DownloadView.RowCount() >= 4);
    QVERIFY(s.CorpseView.RowCount() >= 4);
    QCOMPARE(ColumnValues(s.UnitView, "Side"), (std::set<std::string>{"ARM", "CORE"}));
    // The nested [DAMAGE] block fills the weapon's Default column.
    QVERIFY(!ColumnValues(s.WeaponView, "Default").count(""));
    // Every unit's weapon is defined among the sample weapons.
    std::set<std::string> weapons = ColumnValues(s.WeaponView, "SName");
    for (const std::string& w : ColumnValues(s.UnitView, "Weapon1"))
      QVERIFY2(w.empty() || weapons.count(w), w.c_str());

    // Edit a sample unit and save it over its file: CR LF throughout.
    RowTable& units = s.UnitView;
    int row = -1;
    for (int i = 0; i < units.RowCount(); ++i)
      if (units.Cell(i, 1) == "CORTUSK") row = i;
    QVERIFY(row >= 0);
    units.Select(row);
    p->MainForm->UnitViewDblClick();
    const std::string path = p->MainForm->EditEntry->UnPackedFile;
    p->MainForm->EditSave->click();
    p->MainForm->EditMemo->setPlainText(
        p->MainForm->EditMemo->toPlainText().replace("MaxDamage=1240;", "MaxDamage=1300;"));
    dialogs.Answers = {true};
    p->MainForm->EditSave->click();
    const std::string bytes = testsupport::ReadBytes(path);
    QVERIFY(bytes.find("MaxDamage=1300;\r\n") != std::string::npos);
    for (size_t i = 0; i < bytes.size(); ++i)
      if (bytes[i] == '\n') QVERIFY(i > 0 && bytes[i - 1] == '\r');
  }

  void sampleArchiveOpens() {
    const std::string archive = QCoreApplication::applicationDirPath().toStdString() + "/../examples/sample.ufo";
    if (!fs::exists(archive)) QSKIP("the sample archive is built by the sample_archive target");
    ScriptedDialogs dialogs;
    auto p = StartUp(&dialogs);
    dialogs.FileChoices = {{archive}};
    p->MainForm->Open1Click();
    QVERIFY(dialogs.Messages.empty());
    QCOMPARE(ColumnValues(p->State->UnitView, "Side"), (std::set<std::string>{"ARM", "CORE"}));
    QVERIFY(p->State->UnitView.RowCount() >= 4);
    QVERIFY(p->State->WeaponView.RowCount() >= 2);
    QVERIFY(p->State->DownloadView.RowCount() >= 2);
    QVERIFY(p->State->CorpseView.RowCount() >= 2);
  }
};

QTEST_MAIN(SampleTest)
#include "ui_edit_sample.moc"
