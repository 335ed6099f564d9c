// The main window after start-up, the resize rule, the About and Information
// boxes, leaving the program, and the report view's link to its table.
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabBar>
#include <QTabWidget>

#include "app/about_box.h"
#include "app/information_form.h"
#include "definitions/catalogue.h"
#include "ui_main_fixture.h"

using namespace uitest;

class MainWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { qunsetenv("TA_DIR"); }

  void startUpPagesTablesAndLists() {
    Fixture f;
    TMainForm& m = f.M();
    QCOMPARE(m.windowTitle(), QString("Total Annihilation Kestrava"));
    QCOMPARE(QCoreApplication::applicationName(), QString("Total Annihilation Kestrava"));

    QTabWidget* pages = m.MainPanelControl;
    QCOMPARE(pages->count(), 5);
    const QStringList tabs = {"Units", "Weapons", "Corpses", "Download", "Edit Page"};
    for (int i = 0; i < 5; ++i) QCOMPARE(pages->tabText(i), tabs[i]);
    QCOMPARE(pages->currentWidget(), m.UnitSheet);
    QVERIFY(!pages->isTabVisible(4));
    for (int i = 0; i < 4; ++i) QVERIFY(pages->isTabVisible(i));
    QCOMPARE(pages->widget(4), m.EditSheet);
    QVERIFY(!m.EditMemo->isEnabled());
    QCOMPARE(m.EditMemo->tabChangesFocus(), false);
    QCOMPARE(m.EditMemo->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QCOMPARE(m.EditMemo->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QCOMPARE(m.EditSheetLabel->text(), QString("FileName : "));
    QCOMPARE(m.EditSave->text(), QString("Edit"));
    QCOMPARE(m.EditCancel->text(), QString("Cancel"));
    QVERIFY(m.Panel1->text().isEmpty());
    QVERIFY(m.Panel2->text().isEmpty());

    struct Table {
      ReportView* View;
      RowTable& Core;
      AllUnpacked& Files;
      std::vector<const char*> Keys;
      const char* Ext;
      const char* SubDir;
      const char* Frame;
    };
    AppState& s = f.S();
    const Table tables[] = {
        {m.UnitView, s.UnitView, s.UnitFiles, {UnitKeys.begin(), UnitKeys.end()}, "fbi", "units", "Units"},
        {m.WeaponView, s.WeaponView, s.WeaponFiles, {WeaponKeys.begin(), WeaponKeys.end()}, "tdf", "weapons",
         "Weapons"},
        {m.CorpseView, s.CorpseView, s.CorpseFiles, {CorpseKeys.begin(), CorpseKeys.end()}, "tdf",
         "features\\corpses", "Corpses"},
        {m.DownloadView, s.DownloadView, s.DownloadFiles, {DownloadKeys.begin(), DownloadKeys.end()}, "tdf",
         "download", "BuildMenus"},
    };
    const int expectedColumns[] = {104, 73, 19, 8};
    for (int t = 0; t < 4; ++t) {
      const Table& tb = tables[t];
      std::vector<std::string> captions(tb.Keys.begin(), tb.Keys.end());
      captions.insert(captions.end(), FileColumns.begin(), FileColumns.end());
      QCOMPARE(int(captions.size()), expectedColumns[t]);
      QCOMPARE(tb.Core.ColumnCount(), expectedColumns[t]);
      QCOMPARE(tb.View->model()->columnCount(), expectedColumns[t]);
      QCOMPARE(tb.View->model()->rowCount(), 0);
      QCOMPARE(tb.Files.KeyList, captions);
      for (int c = 0; c < expectedColumns[t]; ++c) {
        QCOMPARE(tb.Core.ColumnCaption(c), captions[c]);
        QCOMPARE(tb.View->model()->headerData(c, Qt::Horizontal).toString().toStdString(), captions[c]);
        QCOMPARE(tb.View->model()->headerData(c, Qt::Horizontal, Qt::TextAlignmentRole).toInt(),
                 int(Qt::AlignLeft | Qt::AlignVCenter));
        QVERIFY(tb.Core.ColumnWidth(c) > 0);
        QCOMPARE(tb.View->header()->sectionSize(c), tb.Core.ColumnWidth(c));
        QVERIFY(!tb.View->header()->isSectionHidden(c));
      }
      // Fitted to the real font: a longer caption never gets a narrower column.
      QVERIFY(tb.View->TextWidth("UnPackedFile", true) > tb.View->TextWidth("ID", true));
      QCOMPARE(tb.Files.Count, uint16_t(0));
      QCOMPARE(tb.Files.Ext, std::string(tb.Ext));
      QCOMPARE(tb.Files.SubDir, std::string(tb.SubDir));
      QCOMPARE(s.SortColumnOf(tb.Core), 0);
      auto* frame = qobject_cast<QGroupBox*>(tb.View->parentWidget());
      QVERIFY(frame);
      QCOMPARE(frame->title(), QString(tb.Frame));
      QCOMPARE(tb.View->selectionMode(), QAbstractItemView::SingleSelection);
      QCOMPARE(tb.View->selectionBehavior(), QAbstractItemView::SelectRows);
      QCOMPARE(tb.View->editTriggers(), QAbstractItemView::NoEditTriggers);
      QVERIFY(!tb.View->rootIsDecorated());
    }
    QCOMPARE(s.RepackFiles.Count, uint16_t(0));

    // Selection kept highlighted without focus: units and corpses only.
    auto keeps = [](ReportView* v) {
      return v->palette().color(QPalette::Inactive, QPalette::Highlight) ==
             v->palette().color(QPalette::Active, QPalette::Highlight);
    };
    QVERIFY(keeps(m.UnitView));
    QVERIFY(keeps(m.CorpseView));
    QVERIFY(!keeps(m.WeaponView) || QApplication::palette().color(QPalette::Inactive, QPalette::Highlight) ==
                                        QApplication::palette().color(QPalette::Active, QPalette::Highlight));
  }

  void startUpMenus() {
    Fixture f;
    TMainForm& m = f.M();
    struct Item {
      QAction* Action;
      const char* Caption;
      bool Enabled;
      bool Checkable;
      bool Checked;
    };
    const Item items[] = {
        {m.Open1, "&Open...", true, false, false},
        {m.Close1, "&Close", false, false, false},
        {m.CloseAll1, "C&lose All", false, false, false},
        {m.Exit1, "E&xit", true, false, false},
        {m.UnitNameList, "&Make list of unitnames", false, false, false},
        {m.Extractufos, "Ex&tract...", true, false, false},
        {m.Checkfordouble, "&Check for double value's in  active-view's sortcolumn", true, false, false},
        {m.AutosizeallColumns, "&Autosize all Columns", true, true, true},
        {m.IncludeTaFiles, "&Include Files in Total Annihillation-Subdir's", true, true, false},
        {m.SearchDirMenu, "&Select all files in a directoryby selecting one", true, true, false},
        {m.Options1, "&Options", true, false, false},
        {m.Information, "&Information", true, false, false},
        {m.About1, "&About", true, false, false},
    };
    for (const Item& i : items) {
      QVERIFY(i.Action);
      QCOMPARE(i.Action->text(), QString::fromLatin1(i.Caption));
      QCOMPARE(i.Action->isEnabled(), i.Enabled);
      QCOMPARE(i.Action->isCheckable(), i.Checkable);
      QCOMPARE(i.Action->isChecked(), i.Checked);
    }
    QCOMPARE(m.Open1->shortcut(), QKeySequence("Ctrl+O"));

    // Top level: File, Extra, Options (an item that acts itself), Help.
    const QList<QAction*> top = m.menuBar()->actions();
    QCOMPARE(top.size(), 4);
    QCOMPARE(top[0]->text(), QString("&File"));
    QCOMPARE(top[1]->text(), QString("&Extra"));
    QCOMPARE(top[2], m.Options1);
    QVERIFY(!m.Options1->menu());
    QCOMPARE(top[3]->text(), QString("&Help"));
    QCOMPARE(top[0]->menu()->actions(), (QList<QAction*>{m.Open1, m.Close1, m.CloseAll1, m.Exit1}));
    const QList<QAction*> extra = top[1]->menu()->actions();
    QCOMPARE(extra.size(), 7);
    QVERIFY(extra[3]->isSeparator());
    QCOMPARE(extra[4], m.AutosizeallColumns);
    QCOMPARE(top[2 + 1]->menu()->actions(), (QList<QAction*>{m.Information, m.About1}));

    // A click on a check item flips its mark exactly once.
    m.SearchDirMenu->trigger();
    QVERIFY(m.SearchDirMenu->isChecked());
    m.SearchDirMenu->trigger();
    QVERIFY(!m.SearchDirMenu->isChecked());
    QVERIFY(f.D.Messages.empty());
    QVERIFY(f.D.Questions.empty());
  }

  void startUpGameDirectory() {
    {
      Fixture f;
      QCOMPARE(f.S().TaDir, std::string());
    }
    qputenv("TA_DIR", "/games/Total Annihilation");
    {
      Fixture f;
      QCOMPARE(f.S().TaDir, std::string("/games/Total Annihilation"));
      QVERIFY(!f.M().IncludeTaFiles->isChecked());
    }
  }

  void resizeRule() {
    Fixture f;
    TMainForm& m = f.M();
    m.show();
    QVERIFY(QTest::qWaitForWindowExposed(&m));
    const QSize frame = m.frameGeometry().size() - m.size();
    auto outer = [&](int W, int H) {
      m.resize(W - frame.width(), H - frame.height());
      QApplication::processEvents();
      QCOMPARE(m.frameGeometry().size(), QSize(W, H));
    };
    auto design = [&] {
      QCOMPARE(m.Bevel1->geometry().topLeft(), QPoint(0, 0));
      QCOMPARE(m.Bevel1->height(), 2);
      QCOMPARE(m.MainPanel->geometry(), QRect(0, 2, 552, 369));
      QCOMPARE(m.MainPanelControl->size(), QSize(546, 363));
      QCOMPARE(m.Panel1->geometry(), QRect(0, 374, 105, 25));
      QCOMPARE(m.Panel2->geometry(), QRect(106, 374, 443, 25));
      QCOMPARE(m.EditMemo->geometry(), QRect(0, 24, 538, 249));
      QCOMPARE(m.EditSave->geometry(), QRect(184, 292, 75, 25));
      QCOMPARE(m.EditCancel->geometry(), QRect(279, 292, 75, 25));
    };

    outer(560, 446);
    design();
    outer(400, 300);  // smaller: nothing shrinks
    design();
    outer(560, 700);  // taller only: the width rule keeps the design
    QCOMPARE(m.MainPanel->width(), 552);
    QCOMPARE(m.Panel2->geometry().left(), 106);

    outer(900, 700);
    const QSize client = m.centralWidget()->size();
    QCOMPARE(m.MainPanel->geometry(), QRect(0, 2, client.width(), client.height() - 31));
    QCOMPARE(m.MainPanelControl->size(), QSize(client.width() - 6, client.height() - 37));
    QCOMPARE(m.Panel1->geometry(), QRect(1, client.height() - 26, 104, 25));
    QCOMPARE(m.Panel2->geometry(), QRect(106, client.height() - 26, client.width() - 108, 25));
    const QSize pages = m.MainPanelControl->size();
    QCOMPARE(m.EditMemo->size(), QSize(pages.width() - 8, pages.height() - 114));
    QCOMPARE(m.EditSave->pos(), QPoint(pages.width() / 2 - 75 - 18, pages.height() - 71));
    QCOMPARE(m.EditCancel->pos(), QPoint(pages.width() / 2 + 2, pages.height() - 71));
    QCOMPARE(m.Bevel1->width(), client.width());

    outer(900, 446);  // wider only: the height rule keeps the design
    QCOMPARE(m.MainPanel->height(), 369);
    QCOMPARE(m.Panel1->geometry(), QRect(1, 374, 104, 25));
    QCOMPARE(m.EditSave->y(), 292);

    outer(560, 446);  // and back
    design();
  }

  void aboutBoxBothWaysOut() {
    Fixture f;
    TMainForm& m = f.M();
    TAboutBox& about = *f.P->AboutBox;
    QCOMPARE(m.AboutBox, &about);
    QVERIFY(!about.isVisible());
    QCOMPARE(about.windowTitle(), QString("About Ta Kestrava"));
    QCOMPARE(about.size(), QSize(298, 213));
    QCOMPARE(about.minimumSize(), about.maximumSize());
    QVERIFY(about.windowFlags() & Qt::WindowStaysOnTopHint);
    QCOMPARE(about.OKButton->geometry(), QRect(111, 184, 75, 25));
    QVERIFY(about.OKButton->isDefault());
    QCOMPARE(about.Panel1->geometry(), QRect(8, 8, 281, 169));
    QCOMPARE(about.ProductName->text(), QString("Ta Kestrava"));
    QCOMPARE(about.Version->text(), QString("Version : 2.0"));
    QVERIFY(!about.ProgramIcon->pixmap().isNull());
    QVERIFY(about.Comments->wordWrap());
    m.show();

    m.About1->trigger();
    QVERIFY(about.isVisible());
    QVERIFY(!m.isEnabled());
    QTest::mouseClick(about.OKButton, Qt::LeftButton);
    QVERIFY(!about.isVisible());
    QVERIFY(m.isEnabled());

    m.About1Click();
    QVERIFY(about.isVisible() && !m.isEnabled());
    QVERIFY(about.close());  // the title bar's close button
    QVERIFY(!about.isVisible());
    QVERIFY(m.isEnabled());

    m.About1Click();
    QTest::keyClick(&about, Qt::Key_Escape);
    QVERIFY(!about.isVisible() && m.isEnabled());
  }

  void informationBox() {
    Fixture f;
    TMainForm& m = f.M();
    TInformationForm& info = *f.P->InformationForm;
    QCOMPARE(m.InformationForm, &info);
    QCOMPARE(info.windowTitle(), QString("Information"));
    QCOMPARE(info.size(), QSize(298, 211));
    QCOMPARE(info.Panel1->geometry(), QRect(8, 8, 281, 161));
    QCOMPARE(info.UnitArm->pos(), QPoint(8, 28));
    QCOMPARE(info.UnitCore->pos(), QPoint(8, 64));
    QCOMPARE(info.TotalUnit->pos(), QPoint(8, 96));
    QCOMPARE(info.Weapon->pos(), QPoint(8, 124));
    QCOMPARE(info.OKButton->geometry(), QRect(111, 180, 75, 25));
    QVERIFY(info.OKButton->isDefault());

    info.ShowCounts(3, 40000, 0);
    QCOMPARE(info.UnitArm->text(), QString("Number of Arm Units           : 3"));
    QCOMPARE(info.UnitCore->text(), QString("Number of Core Units          : 40000"));
    QCOMPARE(info.TotalUnit->text(), QString("Total Number of Units          : 40003"));
    QCOMPARE(info.Weapon->text(), QString("Total Number of Weapons  : 0"));
    QVERIFY(info.UnitCore->width() >= info.UnitCore->sizeHint().width());

    m.show();
    for (int way = 0; way < 3; ++way) {
      info.show();
      m.setEnabled(false);
      if (way == 0) QTest::mouseClick(info.OKButton, Qt::LeftButton);
      if (way == 1) QTest::keyClick(&info, Qt::Key_Return);
      if (way == 2) info.close();
      QVERIFY2(!info.isVisible() && m.isEnabled(), qPrintable(QString::number(way)));
    }
  }

  void exitAsksNothing() {
    Fixture f;
    TMainForm& m = f.M();
    m.show();
    m.EditMemo->setEnabled(true);
    m.EditMemo->setPlainText("unsaved text");
    m.EditChanged = true;
    m.Exit1->trigger();
    QVERIFY(!m.isVisible());
    QVERIFY(f.D.Questions.empty());
    QVERIFY(f.D.Messages.empty());

    m.show();
    QVERIFY(m.close());  // the title bar's close box ends the program the same way
    QVERIFY(f.D.Questions.empty());
  }

  void viewFollowsItsTable() {
    Fixture f;
    TMainForm& m = f.M();
    RowTable& t = f.S().WeaponView;
    QSignalSpy resets(m.WeaponView->model(), &QAbstractItemModel::modelReset);
    t.BeginUpdate();
    for (const char* id : {"1", "2", "3"}) {
      Row& r = t.AddRow();
      r.Caption = id;
      r.SubItems.assign(t.ColumnCount() - 1, std::string("x\xe9"));  // Latin-1 e-acute
    }
    t.EndUpdate();
    QCOMPARE(resets.count(), 1);  // once per batch, not per row
    QAbstractItemModel* model = m.WeaponView->model();
    QCOMPARE(model->rowCount(), 3);
    QCOMPARE(model->data(model->index(1, 0)).toString(), QString("2"));
    QCOMPARE(model->data(model->index(1, 5)).toString(), QString::fromUtf8("x\u00e9"));

    // Core to view, and view to core.
    t.Select(2);
    QCOMPARE(m.WeaponView->selectionModel()->selectedRows().value(0).row(), 2);
    f.SelectInView(m.WeaponView, 0);
    QCOMPARE(t.SelectedIndex(), 0);
    QCOMPARE(t.SelectedCount(), 1);
    m.WeaponView->selectionModel()->clearSelection();
    QCOMPARE(t.SelectedCount(), 0);

    // A cell the row does not have reads as empty; rows deleted inside a batch
    // are not read before the view hears of them.
    t.RowAt(0).SubItems.clear();
    QCOMPARE(model->data(model->index(0, 3)).toString(), QString());
    t.BeginUpdate();
    t.DeleteRow(2);
    t.DeleteRow(1);
    QCOMPARE(model->rowCount(), 3);
    QCOMPARE(model->data(model->index(2, 0)).toString(), QString());
    t.EndUpdate();
    QCOMPARE(model->rowCount(), 1);

    // Widths: the core's width 0 hides a section; a section the user drags
    // to another width is written back to the core.
    QHeaderView* h = m.WeaponView->header();
    t.SetColumnWidth(4, 0);
    QVERIFY(h->isSectionHidden(4));
    t.SetColumnWidth(4, 55);
    QVERIFY(!h->isSectionHidden(4));
    QCOMPARE(h->sectionSize(4), 55);
    h->resizeSection(6, 123);
    QCOMPARE(t.ColumnWidth(6), 123);

    // Scrolling by pixels brings a row to the top.
    m.show();
    t.BeginUpdate();
    for (int i = 0; i < 200; ++i) t.AddRow().Caption = std::to_string(i);
    t.EndUpdate();
    m.MainPanelControl->setCurrentWidget(m.WeaponSheet);
    QVERIFY(QTest::qWaitForWindowExposed(&m));
    QCOMPARE(t.TopIndex(), 0);
    const int rowHeight = t.RowHeight();
    QVERIFY(rowHeight > 0);
    t.ScrollBy(50 * rowHeight);
    QCOMPARE(t.TopIndex(), 50);
    t.ScrollBy(-20 * rowHeight);
    QCOMPARE(t.TopIndex(), 30);
  }

  void clicksReachTheHandlers() {
    Fixture f;
    TMainForm& m = f.M();
    RowTable& t = f.S().CorpseView;
    t.AddRow().Caption = "wreck";
    m.MainPanelControl->setCurrentWidget(m.CorpseSheet);
    m.show();
    QVERIFY(QTest::qWaitForWindowExposed(&m));
    QSignalSpy clicks(m.CorpseView, &ReportView::Clicked);
    QSignalSpy doubles(m.CorpseView, &ReportView::DoubleClicked);
    QSignalSpy headers(m.CorpseView, &ReportView::ColumnClicked);
    const QRect cell = m.CorpseView->visualRect(m.CorpseView->model()->index(0, 0));
    QTest::mouseClick(m.CorpseView->viewport(), Qt::LeftButton, {}, cell.center());
    QCOMPARE(clicks.count(), 1);
    QCOMPARE(t.SelectedIndex(), 0);
    QTest::mouseDClick(m.CorpseView->viewport(), Qt::LeftButton, {}, cell.center());
    QCOMPARE(doubles.count(), 1);
    QHeaderView* h = m.CorpseView->header();
    QTest::mouseClick(h->viewport(), Qt::LeftButton, {}, QPoint(h->sectionViewportPosition(2) + h->sectionSize(2) / 2, 5));
    QCOMPARE(headers.count(), 1);
    QCOMPARE(headers.at(0).at(0).toInt(), 2);
  }
};

QTEST_MAIN(MainWindowTest)
#include "ui_main_window.moc"
