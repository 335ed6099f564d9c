// The window as a desktop program: messages for what cannot be read, a
// question before typed text is lost, settings kept between runs, the
// keyboard, the sort order and arrow, the frozen caption column, several
// selected rows, and a window that fits its screen.
#include <QAccessible>
#include <QButtonGroup>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSettings>
#include <QTabWidget>
#include <QtTest>
#include <filesystem>
#include <iterator>

#include "app/frozen_column.h"
#include "hpi/archive.h"
#include "options/options_form.h"
#include "ui_main_fixture.h"

using namespace uitest;

namespace {

std::string ReadAll(const std::string& Path) {
  std::ifstream in(Path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Units named by UnitName: ids u1.. in the archive, names as given.
ArchiveFiles NamedUnits(const Strings& Names) {
  ArchiveFiles files;
  int n = 0;
  for (const std::string& name : Names) {
    const std::string id = "u" + std::to_string(++n);
    files["units\\" + id + ".fbi"] = Unit(id, {{"UnitName", name}});
  }
  return files;
}

// Opens the unit row with caption Id on the edit page and types Text at its end.
void EditUnit(Fixture& F, const std::string& Id, const QString& Text) {
  const auto ids = Fixture::Column(F.S().UnitView);
  F.S().UnitView.Select(static_cast<int>(std::find(ids.begin(), ids.end(), Id) - ids.begin()));
  F.M().UnitViewDblClick();
  F.M().EditSaveClick();  // "Edit"
  F.M().EditMemo->moveCursor(QTextCursor::End);
  F.M().EditMemo->insertPlainText(Text);
}

FrozenColumn* FrozenOf(ReportView* View) { return View->findChild<FrozenColumn*>(); }

void ClickHeader(ReportView* View, int Column) {
  QHeaderView* h = View->header();
  // Near the middle of the caption, away from the resize grips at its edges;
  // one click a little left of the last, so that two are no double click.
  static int side = 1;
  side = -side;
  const int middle = h->sectionViewportPosition(Column) + h->sectionSize(Column) / 2 + side * 8;
  QTest::mouseClick(h->viewport(), Qt::LeftButton, {}, QPoint(middle, h->height() / 2));
}

}  // namespace

class DesktopTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { qunsetenv("TA_DIR"); }

  void whatCannotBeReadIsNamed() {
    Fixture f;
    const std::string good = f.Archive("good.ufo", Full("good"));
    // Cut short inside its header: the archive cannot be opened at all.
    const std::string cut = f.Archive("cut.ufo", Full("cut"));
    std::filesystem::resize_file(cut, 12);
    // One file's packed bytes changed: that file is left out, the other read.
    const std::string damaged = f.Archive("damaged.ufo", NamedUnits({"KEPT", "LOST"}));
    {
      std::unique_ptr<hpi::Archive> a = hpi::Archive::Open(damaged);
      QVERIFY(a);
      const uint32_t at = a->at(*a->Find("units\\u2.fbi")).dataOffset;
      a.reset();
      std::string bytes = ReadAll(damaged);
      bytes[at + 4 + 19 + 2] ^= 0x10;
      WriteFile(damaged, bytes);
    }
    f.Open({good, cut, damaged});
    QCOMPARE(f.D.Messages.size(), size_t{1});
    const std::string& m = f.D.Messages[0];
    QVERIFY2(m.rfind("cannot read archive " + cut + ": ", 0) == 0, m.c_str());
    const size_t lineBreak = m.find('\n');
    QVERIFY2(lineBreak != std::string::npos, m.c_str());
    QCOMPARE(m.substr(lineBreak + 1), "cannot read units\\u2.fbi in " + damaged + "; what it defines is left out");
    // The rest is shown.
    QCOMPARE(Fixture::Column(f.S().UnitView), (Strings{"good", "u1"}));
    QCOMPARE(Fixture::Column(f.S().WeaponView), (Strings{"1good"}));
    // Only what could be read is offered again.
    QCOMPARE(f.M().RecentArchives, (Strings{good, damaged}));

    // An archive read whole gives no message.
    f.D.Messages.clear();
    f.Open({f.Archive("fine.ufo", Full("fine"))});
    QCOMPARE(f.D.Messages, Strings{});
  }

  void typedTextIsNotLostWithoutAQuestion() {
    Fixture f;
    const std::string a = f.Archive("a.ufo", Full("a"));
    f.Open({a});
    const std::string before = ReadAll(a);

    // Closing the window: Cancel stays, with the text.
    EditUnit(f, "a", "\tBuildTime=9;\n");
    f.M().show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.M()));
    QVERIFY(!f.M().close());
    QCOMPARE(f.D.UnsavedQuestions, (Strings{"The changes to units\\a.fbi in " + a + " are not saved. Save them?"}));
    QVERIFY(f.M().EditMemo->toPlainText().contains("BuildTime=9;"));
    QCOMPARE(f.M().MainPanelControl->currentWidget(), f.M().EditSheet);
    // Ctrl+Q leaves as closing does: asked again, stays again.
    QTest::keyClick(f.M().EditMemo, Qt::Key_Q, Qt::ControlModifier);
    QCOMPARE(f.D.UnsavedQuestions.size(), size_t{2});
    QVERIFY(f.M().isVisible());
    // Close All and Open stay too, and change nothing.
    f.M().CloseAll1Click();
    f.D.FileChoices.push_back({f.Archive("b.ufo", Full("b"))});
    f.M().Open1Click();
    QCOMPARE(f.D.UnsavedQuestions.size(), size_t{4});
    QCOMPARE(Rows(f.S()), (Strings{"a", "1a", "Ma", "deada"}));
    QVERIFY(f.M().HasUnsavedEdits());
    QCOMPARE(ReadAll(a), before);

    // Discard: the page closes as Cancel does, and the open goes on.
    f.D.UnsavedAnswers.push_back(Dialogs::Unsaved::Discard);
    f.M().Open1Click();
    QVERIFY(!f.M().HasUnsavedEdits());
    QCOMPARE(f.M().MainPanelControl->currentWidget(), f.M().UnitSheet);
    QCOMPARE(Fixture::Column(f.S().UnitView), (Strings{"a", "b"}));
    QCOMPARE(ReadAll(a), before);

    // Save: written as the page's Save writes it, then Close All goes on.
    EditUnit(f, "a", "\tBuildTime=9;\n");
    f.D.UnsavedAnswers.push_back(Dialogs::Unsaved::Save);
    f.M().CloseAll1Click();
    QCOMPARE(f.S().UnitView.RowCount(), 0);
    std::unique_ptr<hpi::Archive> saved = hpi::Archive::Open(a);
    QVERIFY(saved);
    std::vector<uint8_t> bytes;
    QVERIFY(saved->ReadFile(*saved->Find("units\\a.fbi"), bytes));
    const std::string text(bytes.begin(), bytes.end());
    QVERIFY2(text.find("BuildTime=9;") != std::string::npos, text.c_str());

    // Nothing typed ("Edit" only): nothing asked.
    f.Open({a});
    f.S().UnitView.Select(0);
    f.M().UnitViewDblClick();
    f.M().EditSaveClick();
    const size_t asked = f.D.UnsavedQuestions.size();
    f.M().CloseAll1Click();
    QCOMPARE(f.D.UnsavedQuestions.size(), asked);
  }

  void keyboardOpensSavesAndMovesTheStatus() {
    Fixture f;
    f.Open({f.Archive("k.ufo", NamedUnits({"CHARLIE", "ALPHA", "ALPHA", "BRAVO"}))});
    f.M().show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.M()));
    ReportView* units = f.M().UnitView;
    units->setFocus();
    // Rows by caption u1..u4; UnitName is column 1.
    f.S().UnitView.Select(0);
    QCOMPARE(f.M().Panel1->text(), QString("CHARLIE"));
    QTest::keyClick(units, Qt::Key_Down);
    QCOMPARE(f.S().UnitView.SelectedIndex(), 1);
    QCOMPARE(f.M().Panel1->text(), QString("ALPHA"));
    // The duplicate search moves the selection, and the status with it.
    f.M().UnitViewColumnClick(1);  // sorted by UnitName: ALPHA ALPHA BRAVO CHARLIE
    f.S().UnitView.Select(-1);
    f.M().Panel1->clear();
    f.D.Answers.push_back(true);
    f.M().CheckfordoubleClick();
    QCOMPARE(f.S().UnitView.SelectedIndex(), 0);
    QCOMPARE(f.M().Panel1->text(), QString("ALPHA"));
    QTest::keyClick(units, Qt::Key_End);
    QCOMPARE(f.M().Panel1->text(), QString("CHARLIE"));

    // Enter opens the current row.
    QTest::keyClick(units, Qt::Key_Return);
    QCOMPARE(f.M().MainPanelControl->currentWidget(), f.M().EditSheet);
    QVERIFY(f.M().EditSheetLabel->text().contains("units\\u1.fbi"));
    // Ctrl+S does nothing until "Edit" made it a Save, then saves.
    QTest::keyClick(f.M().EditMemo, Qt::Key_S, Qt::ControlModifier);
    QCOMPARE(f.M().MainPanelControl->currentWidget(), f.M().EditSheet);
    f.M().EditSaveClick();
    f.M().EditMemo->moveCursor(QTextCursor::End);
    f.M().EditMemo->insertPlainText("\tBuildTime=5;\n");
    QTest::keyClick(f.M().EditMemo, Qt::Key_S, Qt::ControlModifier);
    QCOMPARE(f.M().MainPanelControl->currentWidget(), f.M().UnitSheet);
    QVERIFY(!f.M().HasUnsavedEdits());
  }

  void secondClickSortsDescendingWithAnArrow() {
    Fixture f;
    f.Open({f.Archive("s.ufo", NamedUnits({"b", "C", "a", "D"}))});
    f.M().show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.M()));
    ReportView* v = f.M().UnitView;
    QVERIFY(!v->header()->isSortIndicatorShown());  // no arrow before a click
    ClickHeader(v, 1);
    QCOMPARE(Fixture::Column(f.S().UnitView, 1), (Strings{"a", "b", "C", "D"}));
    QVERIFY(v->header()->isSortIndicatorShown());
    QCOMPARE(v->header()->sortIndicatorSection(), 1);
    QCOMPARE(v->header()->sortIndicatorOrder(), Qt::AscendingOrder);
    ClickHeader(v, 1);
    QCOMPARE(Fixture::Column(f.S().UnitView, 1), (Strings{"D", "C", "b", "a"}));
    QCOMPARE(v->header()->sortIndicatorOrder(), Qt::DescendingOrder);
    // Rows added while descending keep the order.
    f.Open({f.Archive("s2.ufo", {{"units\\z.fbi", Unit("z", {{"UnitName", "c2"}})}})});
    QCOMPARE(Fixture::Column(f.S().UnitView, 1), (Strings{"D", "c2", "C", "b", "a"}));
    ClickHeader(v, 1);
    QCOMPARE(Fixture::Column(f.S().UnitView, 1), (Strings{"a", "b", "C", "c2", "D"}));
    // Another column's first click is ascending again.
    ClickHeader(v, 1);
    ClickHeader(v, 0);
    QCOMPARE(Fixture::Column(f.S().UnitView, 0), (Strings{"u1", "u2", "u3", "u4", "z"}));
    QCOMPARE(v->header()->sortIndicatorOrder(), Qt::AscendingOrder);
  }

  void captionColumnStaysAndRowsSelectTogether() {
    Fixture f;
    f.Open({f.Archive("w.ufo", NamedUnits({"ONE", "TWO", "THREE"}))});
    f.M().show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.M()));
    ReportView* v = f.M().UnitView;
    FrozenColumn* frozen = FrozenOf(v);
    QVERIFY(frozen);
    QVERIFY(!frozen->isVisible());  // unscrolled, the table looks as before
    QScrollBar* bar = v->horizontalScrollBar();
    QVERIFY(bar->maximum() > 0);
    bar->setValue(bar->maximum());
    QVERIFY(frozen->isVisible());
    QCOMPARE(frozen->width(), v->header()->sectionSize(0));
    QCOMPARE(frozen->geometry().left(), v->viewport()->geometry().left());
    // It reads as the caption column to assistive tools.
    QAccessibleInterface* table = QAccessible::queryAccessibleInterface(frozen);
    QVERIFY(table && table->tableInterface());
    QCOMPARE(table->tableInterface()->cellAt(1, 0)->text(QAccessible::Name), QString("u2"));
    // A double click on a caption there opens the row.
    const QRect second = frozen->visualRect(frozen->model()->index(1, 0));
    QTest::mouseClick(frozen->viewport(), Qt::LeftButton, {}, second.center());
    QCOMPARE(f.S().UnitView.SelectedIndex(), 1);
    QCOMPARE(f.M().Panel1->text(), QString("TWO"));
    // A sort reorders the rows in place, which no model signal tells: the
    // table tells the column to repaint.
    QSignalSpy shown(v, &ReportView::RowsShown);
    f.M().UnitViewColumnClick(0);
    QCOMPARE(shown.count(), 1);
    bar->setValue(0);
    QVERIFY(!frozen->isVisible());

    // Ctrl+click adds a row; the table's own row is the current one.
    bar->setValue(0);
    auto click = [&](int Row, Qt::KeyboardModifiers Keys) {
      QTest::mouseClick(v->viewport(), Qt::LeftButton, Keys, v->visualRect(v->model()->index(Row, 1)).center());
    };
    click(0, {});
    click(2, Qt::ControlModifier);
    QCOMPARE(v->SelectedRows(), (std::vector<int>{0, 2}));
    QCOMPARE(f.S().UnitView.SelectedIndex(), 2);
    QCOMPARE(f.M().Panel1->text(), QString("THREE"));
    click(1, Qt::ShiftModifier);
    QCOMPARE(v->SelectedRows(), (std::vector<int>{0, 1, 2}));
    QCOMPARE(f.S().UnitView.SelectedIndex(), 1);
    // The edit page opens the current row.
    f.M().UnitViewDblClick();
    QVERIFY(f.M().EditSheetLabel->text().contains("units\\u2.fbi"));
  }

  void settingsSurviveARestart() {
    QTemporaryDir dir;
    const QString file = dir.filePath("kestrava.conf");
    const std::string game = dir.path().toStdString() + "/game";
    std::filesystem::create_directory(game);
    qputenv("TA_DIR", "/from/environment");
    auto settings = [&] { return std::make_unique<QSettings>(file, QSettings::IniFormat); };
    std::string archive;
    int hidden = 0;
    {
      ScriptedDialogs d;
      std::unique_ptr<Program> p = StartUp(&d, settings());
      TMainForm& m = *p->MainForm;
      QCOMPARE(p->State->TaDir, std::string("/from/environment"));  // nothing saved: as before
      QCOMPARE(m.RecentMenu->isEnabled(), false);
      hidden = Fixture::ColumnOf(p->State->WeaponView, "Name");
      QVERIFY(hidden > 0);
      p->OptionsForm->Open();
      p->OptionsForm->TaDirEdit->setText(QString::fromStdString(game));
      p->OptionsForm->CompressiontypeButtons->button(2)->click();
      p->OptionsForm->OWeaponsCheckBox->item(hidden)->setCheckState(Qt::Unchecked);
      p->OptionsForm->OptionOkClick();
      archive = dir.path().toStdString() + "/r.ufo";
      HPIHANDLE pack = HPICreate(archive.c_str(), nullptr);
      const std::string unit = Unit("r");
      HPIAddFileFromMemory(pack, "units\\r.fbi", unit.data(), static_cast<int32_t>(unit.size()));
      HPIPackArchive(pack, 1);
      m.OpenArchives({archive});
      m.show();
      QVERIFY(QTest::qWaitForWindowExposed(&m));
      m.resize(600, 380);
      QVERIFY(m.close());
    }
    {
      ScriptedDialogs d;
      std::unique_ptr<Program> p = StartUp(&d, settings());
      TMainForm& m = *p->MainForm;
      QCOMPARE(p->State->TaDir, game);  // the chosen directory before the environment's
      QCOMPARE(p->OptionsForm->CompressionIndex(), 2);
      QCOMPARE(p->State->CompressionSetting(), 2);
      QCOMPARE(p->State->WeaponView.ColumnWidth(hidden), 0);
      QVERIFY(p->State->WeaponView.ColumnWidth(hidden - 1) > 0);
      QCOMPARE(m.RecentArchives, Strings{archive});
      QCOMPARE(m.RecentMenu->actions().first()->text(), "&1 " + QString::fromStdString(archive));
      m.show();
      QVERIFY(QTest::qWaitForWindowExposed(&m));
      QCOMPARE(m.size(), QSize(600, 380));
      // The recent archive opens from the menu.
      m.RecentMenu->actions().first()->trigger();
      QVERIFY(m.CloseAll1->isEnabled());
      QCOMPARE(d.Messages, Strings{});

      // Back to the defaults, asked first.
      d.Answers.push_back(true);
      m.RestoreDefaults->trigger();
      QCOMPARE(p->State->TaDir, std::string("/from/environment"));
      QCOMPARE(p->OptionsForm->CompressionIndex(), 1);
      QVERIFY(p->State->WeaponView.ColumnWidth(hidden) > 0);
      QCOMPARE(m.RecentArchives, Strings{});
      QVERIFY(!m.RecentMenu->isEnabled());
    }
    {
      ScriptedDialogs d;
      std::unique_ptr<Program> p = StartUp(&d, settings());
      QCOMPARE(p->State->TaDir, std::string("/from/environment"));
      QCOMPARE(p->OptionsForm->CompressionIndex(), 1);
    }
    qunsetenv("TA_DIR");
  }

  void windowFitsTheScreen() {
    Fixture f;
    f.M().show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.M()));
    const QScreen* screen = f.M().screen();
    QVERIFY(screen);
    if (qEnvironmentVariableIntValue("QT_SCALE_FACTOR") == 2) QCOMPARE(screen->devicePixelRatio(), 2.0);
    const QRect area = screen->availableGeometry();
    QVERIFY2(area.contains(f.M().frameGeometry()),
             qPrintable(QString("window %1,%2 %3x%4 in %5x%6")
                            .arg(f.M().frameGeometry().x())
                            .arg(f.M().frameGeometry().y())
                            .arg(f.M().frameGeometry().width())
                            .arg(f.M().frameGeometry().height())
                            .arg(area.width())
                            .arg(area.height())));
    // A window placed off the screen comes back when its screen changes.
    f.M().move(area.right() - 20, area.bottom() - 20);
    f.M().FitToScreen();
    QVERIFY(area.contains(f.M().frameGeometry()));
  }
};

QTEST_MAIN(DesktopTest)
#include "ui_desktop.moc"
