// The Options dialog: column visibility, the game directory, the compression choice.
#include <QAction>
#include <QButtonGroup>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>
#include <filesystem>

#include "app/main_form.h"
#include "app/startup.h"
#include "archive/scripted_dialogs.h"
#include "options/options_form.h"
#include "ui_save_support.h"

namespace {

void Tick(QListWidget* List, int Row, bool Ticked) {
  List->item(Row)->setCheckState(Ticked ? Qt::Checked : Qt::Unchecked);
}

bool Ticked(QListWidget* List, int Row) { return List->item(Row)->checkState() == Qt::Checked; }

int CountTicked(QListWidget* List) {
  int n = 0;
  for (int i = 0; i < List->count(); ++i) n += Ticked(List, i) ? 1 : 0;
  return n;
}

// A game directory with loose unit files named after Names.
std::string MakeGameDir(const QTemporaryDir& Temp, const std::string& Sub,
                        const std::vector<std::string>& Names) {
  const std::string dir = Temp.filePath(QString::fromStdString(Sub)).toStdString();
  std::filesystem::create_directories(dir + "/units");
  for (const auto& n : Names)
    testsupport::WriteBytes(dir + "/units/" + n + ".fbi",
                            "[UNITINFO]\r\n{\r\nUnitNumber=1;\r\nUnitName=" + n + ";\r\n}\r\n");
  return dir;
}

std::vector<std::string> UnitNames(const RowTable& View) {
  std::vector<std::string> names;
  for (int i = 0; i < View.RowCount(); ++i) names.push_back(View.Cell(i, 1));
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

class OptionsTest : public QObject {
  Q_OBJECT

  ScriptedDialogs dialogs;
  std::unique_ptr<Program> p;

 private slots:
  void init() {
    dialogs = ScriptedDialogs{};
    p = StartUp(&dialogs);
  }
  void cleanup() { p.reset(); }

  void dialogShapeAndModality() {
    TOptionsForm& f = *p->OptionsForm;
    QCOMPARE(f.windowTitle(), QString("Options"));
    QCOMPARE(f.size(), QSize(311, 427));
    QVERIFY(f.windowFlags() & Qt::WindowStaysOnTopHint);
    QVERIFY(!(f.windowFlags() & Qt::WindowCloseButtonHint));
    for (QPushButton* b : {f.OptionOk, f.OptionCancel}) {
      QVERIFY(!b->isDefault());
      QVERIFY(!b->autoDefault());
    }
    QCOMPARE(f.OUnitsCheckBox->count(), p->State->UnitView.ColumnCount());
    QCOMPARE(f.ODownloadCheckBox->count(), p->State->DownloadView.ColumnCount());
    QCOMPARE(f.OCorpsesCheckBox->item(0)->text(), QString("SName"));

    p->MainForm->Options1Click();
    QVERIFY(f.isVisible());
    QVERIFY(!p->MainForm->isEnabled());
    // Neither the window manager's close request nor Escape gets out.
    QVERIFY(!f.close());
    QTest::keyClick(&f, Qt::Key_Escape);
    QVERIFY(f.isVisible());
    f.OptionCancel->click();
    QVERIFY(!f.isVisible());
    QVERIFY(p->MainForm->isEnabled());
  }

  void captionsAndTheDirectoryLabel() {
    TOptionsForm& f = *p->OptionsForm;
    QStringList tabs, boxes;
    for (int i = 0; i < f.OptionPanelControl->count(); ++i) {
      tabs << f.OptionPanelControl->tabText(i);
      boxes << f.OptionPanelControl->widget(i)->findChild<QGroupBox*>()->title();
    }
    QCOMPARE(tabs, (QStringList{"Units", "Weapons", "Corpses", "Download"}));
    QCOMPARE(boxes, (QStringList{"Unit Columns Shown", "Weapon Columns Shown", "Corpse Columns Shown",
                                 "BuildMenu Columns Shown"}));
    QCOMPARE(f.ColumnAllSelect->text(), QString("Sellect all"));
    QCOMPARE(f.ColumnAllDeSelect->text(), QString("Desellect all"));
    QCOMPARE(f.OptionGroupBox->title(), QString("Common Options"));
    QCOMPARE(f.TaDirLabel->text(), QString("&Ta Directory :"));
    QCOMPARE(f.TaDirBrowseButon->text(), QString("&Browse.."));
    QCOMPARE(f.Compressiontype->title(), QString("Compressiontype"));
    QStringList radios;
    for (QRadioButton* r : f.Compressiontype->findChildren<QRadioButton*>()) radios << r->text();
    QCOMPARE(radios, (QStringList{"No Compression", "LZ77 (HPI1)", "ZLib  (HPI2)"}));
    QCOMPARE(f.OptionOk->text(), QString("Ok"));
    QCOMPARE(f.OptionCancel->text(), QString("Cancel"));

    // The whole directory caption shows: the label is as wide as its text and
    // the edit field starts after it; field and button stay apart too.
    p->MainForm->Options1Click();
    QVERIFY(QTest::qWaitForWindowExposed(&f));
    const QRect label = f.TaDirLabel->geometry(), edit = f.TaDirEdit->geometry();
    QVERIFY(label.width() >= f.TaDirLabel->sizeHint().width());
    QVERIFY2(label.right() < edit.left(), qPrintable(QString("label ends at %1, field starts at %2").arg(label.right()).arg(edit.left())));
    QVERIFY(edit.right() < f.TaDirBrowseButon->geometry().left());
    QVERIFY(edit.width() >= 100);
    QCOMPARE(f.TaDirBrowseButon->geometry(), QRect(220, 16, 75, 21));
    f.OptionCancel->click();
  }

  void columnsHiddenShownAgainAndKept() {
    TOptionsForm& f = *p->OptionsForm;
    RowTable& units = p->State->UnitView;
    const int description = 3, side = 6;
    Row& r = units.AddRow();
    r.Caption = "7";
    std::vector<std::string> cells(units.ColumnCount() - 1, "");
    cells[description - 1] = std::string(60, 'W');  // wider than its caption
    r.SetSubItems(cells);
    units.SetColumnWidth(description, 200);
    units.SetColumnWidth(side, 77);

    p->MainForm->Options1Click();
    QVERIFY(Ticked(f.OUnitsCheckBox, description));
    Tick(f.OUnitsCheckBox, description, false);
    f.OptionOk->click();
    QCOMPARE(units.ColumnWidth(description), 0);
    QCOMPARE(units.ColumnWidth(side), 77);  // ticked and shown: untouched

    // Dragged to zero in the header: shows unticked next time.
    units.SetColumnWidth(side, 0);
    p->MainForm->Options1Click();
    QVERIFY(!Ticked(f.OUnitsCheckBox, description));
    QVERIFY(!Ticked(f.OUnitsCheckBox, side));
    Tick(f.OUnitsCheckBox, description, true);
    Tick(f.OUnitsCheckBox, side, true);
    f.OptionOk->click();
    // Back with a width fitted to caption and cells, not the former 200.
    const int fitted = units.ColumnWidth(description);
    QVERIFY(fitted != 200 && fitted != 40 && fitted > 0);
    QCOMPARE(units.FitColumnToContents(description), fitted);
    QVERIFY(units.ColumnWidth(side) > 0);
    QCOMPARE(units.FitColumnToHeader(side), units.ColumnWidth(side));
  }

  void cancelDropsTicksButKeepsCompression() {
    TOptionsForm& f = *p->OptionsForm;
    QCOMPARE(p->State->CompressionSetting(), 1);
    p->MainForm->Options1Click();
    Tick(f.OWeaponsCheckBox, 2, false);
    f.TaDirEdit->setText("/somewhere/else");
    f.CompressiontypeButtons->button(2)->click();
    QCOMPARE(f.CompressiontypeButtons->button(2)->text(), QString("ZLib  (HPI2)"));
    f.OptionCancel->click();
    QVERIFY(p->State->WeaponView.ColumnWidth(2) != 0);
    QVERIFY(p->State->TaDir != "/somewhere/else");
    QCOMPARE(p->State->CompressionSetting(), 2);
    // Opening again refills ticks and directory but leaves the compression alone.
    p->MainForm->Options1Click();
    QVERIFY(Ticked(f.OWeaponsCheckBox, 2));
    QCOMPARE(f.TaDirEdit->text().toStdString(), p->State->TaDir);
    QCOMPARE(f.CompressionIndex(), 2);
    f.CompressiontypeButtons->button(0)->click();
    f.OptionOk->click();
    QCOMPARE(p->State->CompressionSetting(), 0);
  }

  void selectAllWorksOnShowingTabOnly() {
    TOptionsForm& f = *p->OptionsForm;
    p->MainForm->Options1Click();
    for (int tab : {0, 2}) {
      f.OptionPanelControl->setCurrentIndex(tab);
      f.ColumnAllDeSelect->click();
    }
    QCOMPARE(CountTicked(f.OUnitsCheckBox), 0);
    QCOMPARE(CountTicked(f.OCorpsesCheckBox), 0);
    QCOMPARE(CountTicked(f.OWeaponsCheckBox), f.OWeaponsCheckBox->count());
    f.OptionPanelControl->setCurrentIndex(2);
    QCOMPARE(f.OptionPanelControl->tabText(2), QString("Corpses"));
    f.ColumnAllSelect->click();
    QCOMPARE(CountTicked(f.OCorpsesCheckBox), f.OCorpsesCheckBox->count());
    QCOMPARE(CountTicked(f.OUnitsCheckBox), 0);
    f.OptionOk->click();
    for (int c = 0; c < p->State->UnitView.ColumnCount(); ++c)
      QCOMPARE(p->State->UnitView.ColumnWidth(c), 0);
    for (int c = 0; c < p->State->CorpseView.ColumnCount(); ++c)
      QVERIFY(p->State->CorpseView.ColumnWidth(c) > 0);
  }

  void browseStartsAtRootAndFillsTheField() {
    TOptionsForm& f = *p->OptionsForm;
    p->MainForm->Options1Click();
    f.TaDirEdit->setText("/games/ta");
    dialogs.DirectoryChoices = {"/mnt/other ta", ""};
    f.TaDirBrowseButon->click();
    QCOMPARE(f.TaDirEdit->text(), QString("/mnt/other ta"));
    f.TaDirBrowseButon->click();  // cancelled: unchanged
    QCOMPARE(f.TaDirEdit->text(), QString("/mnt/other ta"));
    QCOMPARE(dialogs.DirectoryStarts, (std::vector<std::string>{"/", "/"}));
    QVERIFY(p->State->TaDir != "/mnt/other ta");  // only "Ok" sets it
    f.OptionOk->click();
    QCOMPARE(p->State->TaDir, std::string("/mnt/other ta"));
  }

  void directoryChangeKeepsOrDropsOldFiles() {
    QTemporaryDir temp;
    const std::string a = MakeGameDir(temp, "ta-a", {"ARMONE", "CORONE"});
    const std::string b = MakeGameDir(temp, "ta-b", {"ARMTWO"});
    TOptionsForm& f = *p->OptionsForm;
    TMainForm& m = *p->MainForm;
    AppState& s = *p->State;

    // Not including loose files: the directory changes, nothing is asked or loaded.
    p->MainForm->Options1Click();
    f.TaDirEdit->setText(QString::fromStdString(a));
    f.OptionOk->click();
    QCOMPARE(s.TaDir, a);
    QVERIFY(dialogs.Questions.empty());
    QCOMPARE(s.UnitFiles.Count, uint16_t{0});

    m.IncludeTaFilesClick();
    QVERIFY(m.IncludeTaFiles->isChecked());
    QCOMPARE(UnitNames(s.UnitView), (std::vector<std::string>{"ARMONE", "CORONE"}));

    // Yes: the old directory's files stay beside the new ones.
    m.Options1Click();
    f.TaDirEdit->setText(QString::fromStdString(b));
    dialogs.Answers = {true};
    f.OptionOk->click();
    QCOMPARE(dialogs.Questions.back(), "Do you want to keep all data from the old Ta-subdirs in " + a);
    QCOMPARE(s.TaDir, b);
    QVERIFY(m.IncludeTaFiles->isChecked());
    QCOMPARE(UnitNames(s.UnitView), (std::vector<std::string>{"ARMONE", "ARMTWO", "CORONE"}));
    QCOMPARE(s.UnitFiles.Count, uint16_t{3});

    // No: everything loose goes, then the new directory's files come.
    m.Options1Click();
    f.TaDirEdit->setText(QString::fromStdString(b + "/"));  // spelled differently: a change
    dialogs.Answers = {false};
    f.OptionOk->click();
    QCOMPARE(dialogs.Questions.size(), size_t{2});
    QCOMPARE(dialogs.Questions.back(), "Do you want to keep all data from the old Ta-subdirs in " + b);
    QCOMPARE(UnitNames(s.UnitView), (std::vector<std::string>{"ARMTWO"}));
    QCOMPARE(s.UnitFiles.Count, uint16_t{1});
    QVERIFY(m.IncludeTaFiles->isChecked());

    // An empty field is accepted; the include command then reports the missing directory.
    m.Options1Click();
    f.TaDirEdit->clear();
    dialogs.Answers = {false};
    f.OptionOk->click();
    QCOMPARE(s.TaDir, std::string());
    QCOMPARE(s.UnitFiles.Count, uint16_t{0});
    QVERIFY(!m.IncludeTaFiles->isChecked());
    QVERIFY(m.isEnabled());
  }
};

QTEST_MAIN(OptionsTest)
#include "ui_options.moc"
