// The main window after start-up, the resize rule, the About and Information
// boxes, leaving the program, and the report view kept in step with its table.
#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QListView>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>

#include "app/about_box.h"
#include "app/information_form.h"
#include "app/qt_dialogs.h"
#include "definitions/catalogue.h"
#include "ui_main_fixture.h"

using namespace uitest;

class MainWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { qunsetenv("TA_DIR"); }

  void startUpState() {
    Fixture f;
    TMainForm& m = f.M();
    AppState& s = f.S();
    QCOMPARE(m.windowTitle(), QString("Total Annihilation Kestrava"));
    QCOMPARE(s.TaDir, std::string());
    QTabWidget* pages = m.MainPanelControl;
    const QStringList tabs = {"Units", "Weapons", "Corpses", "Download", "Edit Page"};
    QCOMPARE(pages->count(), 5);
    for (int i = 0; i < 5; ++i) QCOMPARE(pages->tabText(i), tabs[i]);
    QCOMPARE(pages->currentWidget(), m.UnitSheet);
    QVERIFY(!pages->isTabVisible(4) && pages->isTabVisible(3) && !m.EditMemo->isEnabled());
    QVERIFY(m.Panel1->text().isEmpty() && m.Panel2->text().isEmpty());

    const std::vector<std::string> keys[] = {{UnitKeys.begin(), UnitKeys.end()},
                                             {WeaponKeys.begin(), WeaponKeys.end()},
                                             {CorpseKeys.begin(), CorpseKeys.end()},
                                             {DownloadKeys.begin(), DownloadKeys.end()}};
    const std::pair<ReportView*, AllUnpacked*> tables[] = {
        {m.UnitView, &s.UnitFiles}, {m.WeaponView, &s.WeaponFiles}, {m.CorpseView, &s.CorpseFiles}, {m.DownloadView, &s.DownloadFiles}};
    const char* subDirs[] = {"units", "weapons", "features\\corpses", "download"};
    const int counts[] = {104, 73, 19, 8};
    for (int t = 0; t < 4; ++t) {
      auto [view, files] = tables[t];
      Strings captions = keys[t];
      captions.insert(captions.end(), FileColumns.begin(), FileColumns.end());
      QCOMPARE(int(captions.size()), counts[t]);
      QCOMPARE(files->KeyList, captions);
      QCOMPARE(view->Table().ColumnCount(), counts[t]);
      QCOMPARE(view->model()->columnCount(), counts[t]);
      for (int c = 0; c < counts[t]; ++c) {
        QCOMPARE(view->model()->headerData(c, Qt::Horizontal).toString().toStdString(), captions[c]);
        QCOMPARE(view->model()->headerData(c, Qt::Horizontal, Qt::TextAlignmentRole).toInt(), int(Qt::AlignLeft | Qt::AlignVCenter));
        QVERIFY(view->Table().ColumnWidth(c) > 0);
        QCOMPARE(view->header()->sectionSize(c), view->Table().ColumnWidth(c));
      }
      QVERIFY(files->Count == 0 && view->model()->rowCount() == 0);
      QCOMPARE(files->SubDir, std::string(subDirs[t]));
      QCOMPARE(files->Ext, std::string(t == 0 ? "fbi" : "tdf"));
    }
    // Captions are fitted with the real font: the longer caption, the wider.
    QVERIFY(s.UnitView.ColumnWidth(52) > s.UnitView.ColumnWidth(6));  // "Maneuverleashlength", "Side"

    qputenv("TA_DIR", "/games/Total Annihilation");
    Fixture g;
    QCOMPARE(g.S().TaDir, std::string("/games/Total Annihilation"));
  }

  void startUpMenus() {
    Fixture f;
    TMainForm& m = f.M();
    const std::tuple<QAction*, const char*, bool, bool> items[] = {  // caption, enabled, checked
        {m.Open1, "&Open...", true, false}, {m.Close1, "&Close", false, false}, {m.CloseAll1, "C&lose All", false, false},
        {m.Exit1, "E&xit", true, false}, {m.UnitNameList, "&Make list of unitnames", false, false},
        {m.Extractufos, "Ex&tract...", true, false},
        {m.Checkfordouble, "&Check for double value's in  active-view's sortcolumn", true, false},
        {m.AutosizeallColumns, "&Autosize all Columns", true, true},
        {m.IncludeTaFiles, "&Include Files in Total Annihillation-Subdir's", true, false},
        {m.SearchDirMenu, "&Select all files in a directoryby selecting one", true, false},
        {m.Options1, "&Options", true, false}, {m.Information, "&Information", true, false}, {m.About1, "&About", true, false}};
    for (const auto& [action, caption, enabled, checked] : items) {
      QCOMPARE(action->text(), QString::fromLatin1(caption));
      QCOMPARE(action->isEnabled(), enabled);
      QCOMPARE(action->isChecked(), checked);
    }
    QCOMPARE(m.Open1->shortcut(), QKeySequence("Ctrl+O"));
    const QList<QAction*> top = m.menuBar()->actions();
    QCOMPARE(top.size(), 4);
    QCOMPARE(top[2], m.Options1);  // a top-level item that acts itself
    QCOMPARE(top[0]->menu()->actions(),
             (QList<QAction*>{m.Open1, m.Close1, m.CloseAll1, m.RecentMenu->menuAction(), m.Exit1}));
    QCOMPARE(top[3]->menu()->actions(), (QList<QAction*>{m.Information, m.About1}));
    // A click on a check item flips its mark exactly once.
    m.SearchDirMenu->trigger();
    QVERIFY(m.SearchDirMenu->isChecked());
    m.SearchDirMenu->trigger();
    QVERIFY(!m.SearchDirMenu->isChecked());
  }

  void resizeRule() {
    Fixture f;
    TMainForm& m = f.M();
    m.show();
    QVERIFY(QTest::qWaitForWindowExposed(&m));
    // Start-up: frame and all measure the design's outer size, and the controls
    // fill the client area the frame leaves, with no blank strip at the right
    // or below (the status panels keep their one-pixel gap to the bottom).
    QCOMPARE(m.frameGeometry().size(), QSize(560, 446));
    const QSize client = m.centralWidget()->size();
    QCOMPARE(m.MainPanel->geometry().right(), client.width() - 1);
    QCOMPARE(m.Panel2->geometry().right(), client.width() - 3);
    QCOMPARE(m.Panel1->geometry().bottom(), client.height() - 2);
    QCOMPARE(m.MainPanelControl->size(), m.MainPanel->size() - QSize(6, 6));

    const QSize frame = m.frameGeometry().size() - m.size();
    auto outer = [&](int W, int H) {
      m.resize(W - frame.width(), H - frame.height());
      QApplication::processEvents();
    };
    // A client area of the design's 552 by 400 (what 560 by 446 leaves inside
    // the frame the layout was drawn for) and anything smaller: design geometry.
    auto clientArea = [&](int W, int H) {
      m.resize(W, H + m.menuBar()->height());
      QApplication::processEvents();
      QCOMPARE(m.centralWidget()->size(), QSize(W, H));
    };
    auto design = [&] {
      return m.MainPanel->geometry() == QRect(0, 2, 552, 369) && m.MainPanelControl->size() == QSize(546, 363) &&
             m.Panel1->geometry() == QRect(0, 374, 105, 25) && m.Panel2->geometry() == QRect(106, 374, 443, 25) &&
             m.EditMemo->geometry() == QRect(0, 24, 538, 249) && m.EditSave->geometry() == QRect(184, 292, 75, 25) &&
             m.EditCancel->geometry() == QRect(279, 292, 75, 25);
    };
    clientArea(552, 400);
    QVERIFY(design());
    outer(400, 300);
    QVERIFY(design());
    clientArea(553, 401);  // one pixel more each way stretches
    QCOMPARE(m.MainPanel->geometry(), QRect(0, 2, 553, 370));
    QCOMPARE(m.Panel1->geometry(), QRect(1, 375, 104, 25));
    outer(900, 700);
    const int w = m.centralWidget()->width(), h = m.centralWidget()->height();
    QCOMPARE(m.MainPanel->geometry(), QRect(0, 2, w, h - 31));
    QCOMPARE(m.Panel1->geometry(), QRect(1, h - 26, 104, 25));
    QCOMPARE(m.Panel2->geometry(), QRect(106, h - 26, w - 108, 25));
    const QSize pages = m.MainPanelControl->size();
    QCOMPARE(pages, QSize(w - 6, h - 37));
    QCOMPARE(m.EditMemo->size(), QSize(pages.width() - 8, pages.height() - 114));
    QCOMPARE(m.EditSave->pos(), QPoint(pages.width() / 2 - 75 - 18, pages.height() - 71));
    QCOMPARE(m.EditCancel->pos(), QPoint(pages.width() / 2 + 2, pages.height() - 71));
    clientArea(w, 400);  // the two rules apply each by itself
    QCOMPARE(m.MainPanel->geometry(), QRect(0, 2, w, 369));
    QCOMPARE(m.Panel1->geometry(), QRect(1, 374, 104, 25));
    clientArea(552, 400);
    QVERIFY(design());
  }

  // WeaponView and DownloadView show their selection only while they have the
  // focus; UnitView and CorpseView keep it highlighted without it.
  void selectionHighlightWithoutFocus() {
    Fixture f;
    TMainForm& m = f.M();
    m.show();
    QApplication::setActiveWindow(&m);
    QVERIFY(QTest::qWaitForWindowActive(&m));
    const QPalette standard = QApplication::palette(m.UnitView);
    const QColor blue = standard.color(QPalette::Active, QPalette::Highlight);
    const QColor base = standard.color(QPalette::Active, QPalette::Base);
    QVERIFY(blue != base);
    auto highlight = [](ReportView* V, QPalette::ColorGroup G = QPalette::Active) { return V->palette().color(G, QPalette::Highlight); };
    const std::pair<QWidget*, ReportView*> pages[] = {
        {m.UnitSheet, m.UnitView}, {m.WeaponSheet, m.WeaponView}, {m.CorpseSheet, m.CorpseView}, {m.DownloadSheet, m.DownloadView}};
    for (const auto& [sheet, view] : pages) {
      m.MainPanelControl->setCurrentWidget(sheet);
      view->setFocus();
      QTRY_VERIFY(view->hasFocus());
      QCOMPARE(highlight(view), blue);  // focused: every table shows its selection
      m.MainPanelControl->setFocus();   // the focus goes elsewhere in the window
      QTRY_VERIFY(!view->hasFocus());
      const bool keeps = view == m.UnitView || view == m.CorpseView;
      QCOMPARE(highlight(view) == blue, keeps);
      QCOMPARE(highlight(view) == base, !keeps);
      QCOMPARE(view->palette().color(QPalette::Active, QPalette::HighlightedText) ==
                   standard.color(QPalette::Active, QPalette::HighlightedText), keeps);
      // Kept also while another window is active.
      if (keeps) QCOMPARE(highlight(view, QPalette::Inactive), blue);
    }
  }

  void fixedCaptions() {
    Fixture f;
    TMainForm& m = f.M();
    TAboutBox& about = *f.P->AboutBox;
    QCOMPARE(about.windowTitle(), QString("About Ta Kestrava"));
    QCOMPARE(about.ProductName->text(), QString("Ta Kestrava"));
    QCOMPARE(about.Version->text(), QString("Version : 2.0"));
    QCOMPARE(about.OKButton->text(), QString("OK"));
    QStringList frames;
    for (QWidget* sheet : {m.UnitSheet, m.WeaponSheet, m.CorpseSheet, m.DownloadSheet})
      frames << sheet->findChild<QGroupBox*>()->title();
    QCOMPARE(frames, (QStringList{"Units", "Weapons", "Corpses", "BuildMenus"}));
    QCOMPARE(m.EditSheetLabel->text(), QString("FileName : "));
    QCOMPARE(m.EditSave->text(), QString("Edit"));
    QCOMPARE(m.EditCancel->text(), QString("Cancel"));
  }

  void dialogsDisableAndEnableTheMainWindow() {
    Fixture f;
    TMainForm& m = f.M();
    TAboutBox& about = *f.P->AboutBox;
    TInformationForm& info = *f.P->InformationForm;
    QVERIFY(m.AboutBox == &about && m.InformationForm == &info && !about.isVisible() && !info.isVisible());
    QCOMPARE(about.size(), QSize(298, 213));
    QVERIFY(about.OKButton->isDefault() && !about.ProgramIcon->pixmap().isNull());
    m.show();
    const std::function<void()> aboutWays[] = {[&] { QTest::mouseClick(about.OKButton, Qt::LeftButton); },
                                               [&] { about.close(); }, [&] { QTest::keyClick(&about, Qt::Key_Escape); }};
    for (const auto& way : aboutWays) {
      m.About1->trigger();
      QVERIFY(about.isVisible() && !m.isEnabled());
      way();
      QVERIFY(!about.isVisible() && m.isEnabled());
    }
    info.ShowCounts(3, 40000, 0);
    QCOMPARE(info.UnitArm->text(), QString("Number of Arm Units           : 3"));
    QCOMPARE(info.UnitCore->text(), QString("Number of Core Units          : 40000"));
    QCOMPARE(info.TotalUnit->text(), QString("Total Number of Units          : 40003"));
    QCOMPARE(info.Weapon->text(), QString("Total Number of Weapons  : 0"));
    const std::function<void()> infoWays[] = {[&] { QTest::mouseClick(info.OKButton, Qt::LeftButton); },
                                              [&] { QTest::keyClick(&info, Qt::Key_Return); }, [&] { info.close(); }};
    for (const auto& way : infoWays) {
      info.show();
      m.setEnabled(false);
      way();
      QVERIFY(!info.isVisible() && m.isEnabled());
    }
  }

  void exitAsksNothing() {
    Fixture f;
    f.M().show();
    f.M().EditChanged = true;
    f.M().Exit1->trigger();
    QVERIFY(!f.M().isVisible() && f.D.Questions.empty() && f.D.Messages.empty());
  }

  void viewFollowsItsTable() {
    Fixture f;
    TMainForm& m = f.M();
    RowTable& t = f.S().WeaponView;
    QAbstractItemModel* model = m.WeaponView->model();
    QSignalSpy resets(model, &QAbstractItemModel::modelReset);
    t.BeginUpdate();
    for (int i = 0; i < 200; ++i) {
      Row& r = t.AddRow();
      r.Caption = std::to_string(i);
      r.SetSubItems({"x\xe9", "x\xe9", "x\xe9"});  // Latin-1; the rest of the row is missing
    }
    QCOMPARE(model->rowCount(), 0);  // nothing is read before the batch ends
    t.EndUpdate();
    QCOMPARE(resets.count(), 1);
    QCOMPARE(model->rowCount(), 200);
    QCOMPARE(model->data(model->index(1, 2)).toString(), QString::fromUtf8("x\u00e9"));
    QCOMPARE(model->data(model->index(1, 9)).toString(), QString());
    t.Select(2);
    QCOMPARE(m.WeaponView->selectionModel()->selectedRows().value(0).row(), 2);
    m.WeaponView->selectionModel()->select(model->index(5, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    QCOMPARE(t.SelectedIndex(), 5);
    QHeaderView* h = m.WeaponView->header();
    t.SetColumnWidth(4, 0);
    QVERIFY(h->isSectionHidden(4));
    t.SetColumnWidth(4, 55);
    QVERIFY(!h->isSectionHidden(4) && h->sectionSize(4) == 55);
    h->resizeSection(6, 123);  // as a drag in the header does
    QCOMPARE(t.ColumnWidth(6), 123);

    m.MainPanelControl->setCurrentWidget(m.WeaponSheet);
    m.show();
    QVERIFY(QTest::qWaitForWindowExposed(&m));
    t.ScrollBy(50 * t.RowHeight());
    QCOMPARE(t.TopIndex(), 50);
    t.ScrollBy(-20 * t.RowHeight());
    QCOMPARE(t.TopIndex(), 30);
    QSignalSpy headers(m.WeaponView, &ReportView::ColumnClicked);
    QTest::mouseClick(h->viewport(), Qt::LeftButton, {}, QPoint(h->sectionViewportPosition(2) + h->sectionSize(2) / 2, 5));
    QCOMPARE(headers.value(0).value(0).toInt(), 2);
  }

  void openDialogFilterOffersReadOnlyFiles() {
    QTemporaryDir dir;
    for (const char* n : {"a.HPI", "b.ufo", "C.Gp4", "d.CcX", "e.txt", "f.hpi.bak", ".h.hpi", "r.hpi"}) {
      QFile file(dir.filePath(n));
      QVERIFY(file.open(QIODevice::WriteOnly));
    }
    // A read-only archive is offered like any other: it opens for viewing.
    QVERIFY(QFile::setPermissions(dir.filePath("r.hpi"), QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    QFileDialog dialog;
    SetUpArchiveDialog(dialog);
    dialog.setDirectory(dir.path());
    dialog.show();  // not exec: nothing waits for a user
    QCOMPARE(dialog.findChild<QComboBox*>("fileTypeCombo")->currentText(), QString(kArchiveFilterText));
    auto* list = dialog.findChild<QListView*>("listView");
    auto shown = [&] {
      QStringList names;
      for (int r = 0; r < list->model()->rowCount(list->rootIndex()); ++r) names << list->model()->index(r, 0, list->rootIndex()).data().toString();
      names.sort();
      return names;
    };
    QTRY_COMPARE(shown(), (QStringList{".h.hpi", "C.Gp4", "a.HPI", "b.ufo", "d.CcX", "r.hpi"}));  // listed on another thread
  }
};

QTEST_MAIN(MainWindowTest)
#include "ui_main_window.moc"
