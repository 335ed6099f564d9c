// The main window: construction of its pages, tables, menus and status panels,
// the creation step, the resize rule, leaving the program and the About box.
#include "app/main_form.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDockWidget>
#include <QFrame>
#include <QGroupBox>
#include <QHeaderView>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QTabWidget>
#include <QWindow>
#include <QVBoxLayout>
#include <algorithm>
#include <cstring>
#include <vector>

#include "app/about_box.h"
#include "app/frozen_column.h"
#include "app/report_view.h"
#include "definitions/catalogue.h"
#include "hpi/hpi.h"

namespace {

// Design geometry of the window and of the controls the resize rule moves.
constexpr int kDesignWidth = 560, kDesignHeight = 446;
// The client area (below the menu bar) that the design's outer size leaves
// inside the frame the layout was drawn for: the controls fill exactly this.
constexpr int kDesignClientWidth = 552, kDesignClientHeight = 400;
constexpr int kDesignLeft = 212, kDesignTop = 106;
constexpr int kPanelWidth = 552, kPanelHeight = 369;
constexpr int kPagesInset = 3;  // the page control fills the sunken main panel
constexpr int kStatusTop = 374, kStatusHeight = 25;
constexpr int kMemoWidth = 538, kMemoHeight = 249;
constexpr int kButtonTop = 292, kSaveLeft = 184, kCancelLeft = 279;

QLabel* StatusPanel(QWidget* Parent, const char* Name, int Left, int Width) {
  auto* p = new QLabel(Parent);
  p->setObjectName(Name);
  p->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  p->setGeometry(Left, kStatusTop, Width, kStatusHeight);
  return p;
}

}  // namespace

TMainForm::TMainForm(AppState& S, QWidget* Parent) : QMainWindow(Parent), State(S) {
  setObjectName("MainForm");
  setWindowTitle(QString::fromLatin1(kApplicationTitle.c_str()));
  setWindowIcon(QIcon(":/kestrava.png"));

  auto* client = new QWidget(this);
  client->setObjectName("Client");
  setCentralWidget(client);

  Bevel1 = new QFrame(client);
  Bevel1->setObjectName("Bevel1");
  Bevel1->setFrameStyle(QFrame::HLine | QFrame::Sunken);
  Bevel1->setGeometry(0, 0, kDesignWidth, 2);

  MainPanel = new QFrame(client);
  MainPanel->setObjectName("MainPanel");
  MainPanel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  MainPanel->setGeometry(0, 2, kPanelWidth, kPanelHeight);

  MainPanelControl = new QTabWidget(MainPanel);
  MainPanelControl->setObjectName("MainPanelControl");
  MainPanelControl->setGeometry(kPagesInset, kPagesInset, kPanelWidth - 2 * kPagesInset,
                                kPanelHeight - 2 * kPagesInset);

  struct Page {
    QWidget*& Sheet;
    ReportView*& View;
    RowTable& Table;
    const char* SheetName;
    const char* ViewName;
    const char* Tab;
    const char* Frame;
    bool KeepSelection;
  };
  const Page pages[] = {
      {UnitSheet, UnitView, State.UnitView, "UnitSheet", "UnitView", "Units", "Units", true},
      {WeaponSheet, WeaponView, State.WeaponView, "WeaponSheet", "WeaponView", "Weapons", "Weapons", false},
      {CorpseSheet, CorpseView, State.CorpseView, "CorpseSheet", "CorpseView", "Corpses", "Corpses", true},
      {DownloadSheet, DownloadView, State.DownloadView, "DownloadSheet", "DownloadView", "Download",
       "BuildMenus", false},
  };
  for (const Page& p : pages) {
    p.Sheet = new QWidget;
    p.Sheet->setObjectName(p.SheetName);
    auto* sheetLayout = new QVBoxLayout(p.Sheet);
    sheetLayout->setContentsMargins(2, 2, 2, 2);
    auto* frame = new QGroupBox(QString::fromLatin1(p.Frame), p.Sheet);
    sheetLayout->addWidget(frame);
    auto* frameLayout = new QVBoxLayout(frame);
    frameLayout->setContentsMargins(4, 4, 4, 4);
    // The view observes its table from here on, so the column set-up in
    // FormCreate measures captions with the real font.
    p.View = new ReportView(p.Table, p.KeepSelection, frame);
    p.View->setObjectName(p.ViewName);
    frameLayout->addWidget(p.View);
    MainPanelControl->addTab(p.Sheet, QString::fromLatin1(p.Tab));
  }

  EditSheet = new QWidget;
  EditSheet->setObjectName("EditSheet");
  EditSheetLabel = new QLabel("FileName : ", EditSheet);
  EditSheetLabel->setObjectName("EditSheetLabel");
  EditSheetLabel->move(4, 4);
  EditSheetLabel->adjustSize();
  EditMemo = new QPlainTextEdit(EditSheet);
  EditMemo->setObjectName("EditMemo");
  EditMemo->setGeometry(0, 24, kMemoWidth, kMemoHeight);
  EditMemo->setLineWrapMode(QPlainTextEdit::NoWrap);
  EditMemo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  EditMemo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  EditMemo->setTabChangesFocus(false);  // Tab types a tab
  // Tab stops every eight average characters, as a plain text editor has them.
  EditMemo->setTabStopDistance(EditMemo->fontMetrics().averageCharWidth() * 8);
  EditMemo->setEnabled(false);
  EditSave = new QPushButton("Edit", EditSheet);
  EditSave->setObjectName("EditSave");
  EditSave->setGeometry(kSaveLeft, kButtonTop, 75, 25);
  EditCancel = new QPushButton("Cancel", EditSheet);
  EditCancel->setObjectName("EditCancel");
  EditCancel->setGeometry(kCancelLeft, kButtonTop, 75, 25);
  const int editIndex = MainPanelControl->addTab(EditSheet, "Edit Page");
  MainPanelControl->setTabVisible(editIndex, false);
  MainPanelControl->setCurrentWidget(UnitSheet);

  Panel1 = StatusPanel(client, "Panel1", 0, 105);
  Panel2 = StatusPanel(client, "Panel2", 106, 443);

  // ---- menus
  auto item = [this](QMenu* Menu, const char* Caption, const char* Name, void (TMainForm::*Handler)()) {
    auto* a = new QAction(QString::fromLatin1(Caption), this);
    a->setObjectName(Name);
    Menu->addAction(a);
    connect(a, &QAction::triggered, this, [this, Handler] { (this->*Handler)(); });
    return a;
  };
  // A check mark that is itself the setting: the handler flips it, so Qt's own
  // flip on a click is undone first.
  auto checkItem = [this](QMenu* Menu, const char* Caption, const char* Name, bool Checked,
                          void (TMainForm::*Handler)()) {
    auto* a = new QAction(QString::fromLatin1(Caption), this);
    a->setObjectName(Name);
    a->setCheckable(true);
    a->setChecked(Checked);
    Menu->addAction(a);
    connect(a, &QAction::triggered, this, [this, a, Handler](bool Now) {
      a->setChecked(!Now);
      (this->*Handler)();
    });
    return a;
  };

  QMenu* file = menuBar()->addMenu("&File");
  file->setObjectName("File1");
  Open1 = item(file, "&Open...", "Open1", &TMainForm::Open1Click);
  Open1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
  Close1 = item(file, "&Close", "Close1", &TMainForm::Close1Click);
  Close1->setEnabled(false);
  CloseAll1 = item(file, "C&lose All", "CloseAll1", &TMainForm::CloseAll1Click);
  CloseAll1->setEnabled(false);
  RecentMenu = file->addMenu("&Recent Archives");
  RecentMenu->setObjectName("RecentMenu");
  Exit1 = item(file, "E&xit", "Exit1", &TMainForm::Exit1Click);
  Exit1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));  // asks first, as closing does

  QMenu* extra = menuBar()->addMenu("&Extra");
  extra->setObjectName("Extra1");
  UnitNameList = item(extra, "&Make list of unitnames", "UnitNameList", &TMainForm::UnitNameListClick);
  UnitNameList->setEnabled(false);
  Extractufos = item(extra, "Ex&tract...", "Extractufos", &TMainForm::ExtractufosClick);
  Checkfordouble = item(extra, "&Check for double value's in  active-view's sortcolumn", "Checkfordouble",
                        &TMainForm::CheckfordoubleClick);
  Plot1 = item(extra, "&Plot", "Plot1", &TMainForm::Plot1Click);
  extra->addSeparator();
  AutosizeallColumns = checkItem(extra, "&Autosize all Columns", "AutosizeallColumns", true,
                                 &TMainForm::AutosizeallColumnsClick);
  IncludeTaFiles = checkItem(extra, "&Include Files in Total Annihillation-Subdir's", "IncludeTaFiles", false,
                             &TMainForm::IncludeTaFilesClick);
  SearchDirMenu = checkItem(extra, "&Select all files in a directoryby selecting one", "SearchDirMenu", false,
                            &TMainForm::SearchDirMenuClick);
  extra->addSeparator();
  RestoreDefaults = item(extra, "Restore &Default Settings", "RestoreDefaults", &TMainForm::RestoreDefaultsClick);
  BalanceFigures = checkItem(extra, "Show &Balance Figures", "BalanceFigures", false, &TMainForm::BalanceFiguresClick);
  Compare1 = item(extra, "Co&mpare", "Compare1", &TMainForm::CompareClick);
  Compare1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_M));

  Options1 = new QAction("&Options", this);
  Options1->setObjectName("Options1");
  menuBar()->addAction(Options1);
  connect(Options1, &QAction::triggered, this, [this] { Options1Click(); });

  QMenu* help = menuBar()->addMenu("&Help");
  help->setObjectName("Help1");
  Information = item(help, "&Information", "Information", &TMainForm::InformationClick);
  About1 = item(help, "&About", "About1", &TMainForm::About1Click);

  // ---- table events
  const std::pair<ReportView*, void (TMainForm::*)(int)> headers[] = {
      {UnitView, &TMainForm::UnitViewColumnClick},
      {WeaponView, &TMainForm::WeaponViewColumnClick},
      {CorpseView, &TMainForm::CorpseViewColumnClick},
      {DownloadView, &TMainForm::DownloadViewColumnClick},
  };
  for (const auto& [view, handler] : headers) {
    connect(view, &ReportView::ColumnClicked, this, [this, h = handler](int Column) { (this->*h)(Column); });
    new FrozenColumn(view);  // the caption column stays when the table scrolls right
    view->installEventFilter(this);
  }
  const std::pair<ReportView*, void (TMainForm::*)()> doubles[] = {
      {UnitView, &TMainForm::UnitViewDblClick},
      {WeaponView, &TMainForm::WeaponViewDblClick},
      {CorpseView, &TMainForm::CorpseViewDblClick},
      {DownloadView, &TMainForm::DownloadViewDblClick},
  };
  for (const auto& [view, handler] : doubles)
    connect(view, &ReportView::DoubleClicked, this, [this, h = handler] { (this->*h)(); });
  connect(UnitView, &ReportView::Clicked, this, [this] { UnitViewClick(); });
  // The status panel follows the selected unit row however it moved: by
  // click, keyboard or the duplicate search (the view has told the table first).
  connect(UnitView->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] { UnitViewClick(); });
  connect(UnitView->selectionModel(), &QItemSelectionModel::currentRowChanged, this, [this] { UnitViewClick(); });
  // Ctrl+S on the edit page is its Save button, while it says "Save".
  auto* save = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_S), EditSheet);
  save->setContext(Qt::WidgetWithChildrenShortcut);
  connect(save, &QShortcut::activated, this, [this] {
    if (EditSave->isEnabled() && EditSave->text() == "Save") EditSaveClick();
  });
  connect(EditSave, &QPushButton::clicked, this, [this] { EditSaveClick(); });
  connect(EditCancel, &QPushButton::clicked, this, [this] { EditCancelClick(); });
  connect(EditMemo, &QPlainTextEdit::textChanged, this, [this] { EditMemoChange(); });

  move(kDesignLeft, kDesignTop);
  resize(kDesignWidth, kDesignHeight);

  FormCreate();
  SetUpBalanceFigures();
}

TMainForm::~TMainForm() {
  // The docked lists leave the tables' views before the views go.
  qDeleteAll(findChildren<QDockWidget*>(Qt::FindDirectChildrenOnly));
  Problems = nullptr;
  Changes = nullptr;
  // The state may outlive the window; it must not ask a destroyed menu item.
  State.AutosizeSetting = [] { return true; };
}

void TMainForm::FormCreate() {
  std::vector<char> buffer(HPI_NAME_BUFFER, '\0');
  GetTADirectory(buffer.data());
  State.TaDir.assign(buffer.data(), strnlen(buffer.data(), buffer.size()));
  SetUpColumns(State);
  State.AutosizeSetting = [this] { return AutosizeallColumns->isChecked(); };
}

// The rule stretches the controls when the window is larger than its design
// size. Frames differ from one window manager to the next, and without one
// there is none, so "larger" is judged by the client area the controls must
// fill: with the design's frame an outer width above 560 is exactly a client
// width above 552, and an outer height above 446 a client height above 400.
void TMainForm::FormResize() {
  const QSize client = centralWidget()->size();
  auto fitPages = [this] {
    MainPanelControl->setGeometry(kPagesInset, kPagesInset, MainPanel->width() - 2 * kPagesInset,
                                  MainPanel->height() - 2 * kPagesInset);
  };

  // Width rule.
  if (client.width() > kDesignClientWidth) {
    MainPanel->resize(client.width(), MainPanel->height());
    fitPages();
    Panel1->setGeometry(1, Panel1->y(), 104, Panel1->height());
    Panel2->setGeometry(Panel2->x(), Panel2->y(), client.width() - 108, Panel2->height());
    const int pages = MainPanelControl->width();
    EditMemo->resize(pages - 8, EditMemo->height());
    EditSave->move(pages / 2 - EditSave->width() - 18, EditSave->y());
    EditCancel->move(pages / 2 + 2, EditCancel->y());
  } else {
    MainPanel->resize(kPanelWidth, MainPanel->height());
    fitPages();
    Panel1->setGeometry(0, Panel1->y(), 105, Panel1->height());
    Panel2->setGeometry(106, Panel2->y(), 443, Panel2->height());
    EditMemo->resize(kMemoWidth, EditMemo->height());
    EditSave->move(kSaveLeft, EditSave->y());
    EditCancel->move(kCancelLeft, EditCancel->y());
  }

  // Height rule.
  if (client.height() > kDesignClientHeight) {
    MainPanel->resize(MainPanel->width(), client.height() - 31);
    fitPages();
    Panel1->move(Panel1->x(), client.height() - 26);
    Panel2->move(Panel2->x(), client.height() - 26);
    const int pages = MainPanelControl->height();
    EditMemo->resize(EditMemo->width(), pages - 114);
    EditSave->move(EditSave->x(), pages - 71);
    EditCancel->move(EditCancel->x(), pages - 71);
  } else {
    MainPanel->resize(MainPanel->width(), kPanelHeight);
    fitPages();
    Panel1->move(Panel1->x(), kStatusTop);
    Panel2->move(Panel2->x(), kStatusTop);
    EditMemo->resize(EditMemo->width(), kMemoHeight);
    EditSave->move(EditSave->x(), kButtonTop);
    EditCancel->move(EditCancel->x(), kButtonTop);
  }

  Bevel1->resize(client.width(), Bevel1->height());
}

void TMainForm::resizeEvent(QResizeEvent* Event) {
  QMainWindow::resizeEvent(Event);
  FormResize();
}

void TMainForm::showEvent(QShowEvent* Event) {
  QMainWindow::showEvent(Event);
  FitDesignFrame();
  FitToScreen();
  // The menu bar and the client area have their real sizes only now.
  FormResize();
  if (!ScreenWatched_ && windowHandle()) {
    ScreenWatched_ = true;
    WatchScreen(windowHandle()->screen());
    connect(windowHandle(), &QWindow::screenChanged, this, [this](QScreen* S) {
      WatchScreen(S);
      FitToScreen();
    });
  }
}

void TMainForm::WatchScreen(QScreen* S) {
  if (WatchedScreen_) disconnect(WatchedScreen_, nullptr, this, nullptr);
  WatchedScreen_ = S;
  if (!S) return;
  connect(S, &QScreen::availableGeometryChanged, this, [this] { FitToScreen(); });
  connect(S, &QScreen::logicalDotsPerInchChanged, this, [this] { FitToScreen(); });
}

void TMainForm::FitToScreen() {
  if (!isVisible() || (windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen | Qt::WindowMinimized))) return;
  const QScreen* s = screen();
  if (!s) return;
  const QRect area = s->availableGeometry();
  const QRect frame = frameGeometry();
  const QSize extra = frame.size() - size();  // the frame around the client area
  const QSize fits(std::max(1, area.width() - extra.width()), std::max(1, area.height() - extra.height()));
  if (size().width() > fits.width() || size().height() > fits.height()) resize(size().boundedTo(fits));
  const QSize outer = size() + extra;
  const int x = std::clamp(frame.x(), area.left(), std::max(area.left(), area.right() + 1 - outer.width()));
  const int y = std::clamp(frame.y(), area.top(), std::max(area.top(), area.bottom() + 1 - outer.height()));
  if (x != frame.x() || y != frame.y()) move(x, y);
}

void TMainForm::moveEvent(QMoveEvent* Event) {
  QMainWindow::moveEvent(Event);
  FitDesignFrame();
}

// The design's outer size and position include the window frame, which is
// known only after the window is shown (a window manager adds it a little
// later). The first time a frame shows, the window is sized so that frame and
// all measure 560 by 446, with the frame at the design position. Without a
// frame the window itself has the design size from the start.
void TMainForm::FitDesignFrame() {
  if (!FramePending_ || !isVisible() || (windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen))) return;
  const QSize frame = frameGeometry().size() - size();
  if (frame.width() <= 0 && frame.height() <= 0) return;
  FramePending_ = false;
  resize(kDesignWidth - frame.width(), kDesignHeight - frame.height());
  move(kDesignLeft, kDesignTop);
  FitToScreen();
}

void TMainForm::Exit1Click() { close(); }

void TMainForm::closeEvent(QCloseEvent* Event) {
  // Typed text not yet saved is not lost without a word.
  if (!SettleEdits()) {
    Event->ignore();
    return;
  }
  SaveSettings();
  Event->accept();
  QCoreApplication::quit();
}

bool TMainForm::eventFilter(QObject* Watched, QEvent* Event) {
  if (Event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(Event);
    const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
    if (enter && (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier)
      for (ReportView* view : {UnitView, WeaponView, CorpseView, DownloadView})
        if (Watched == view) {
          emit view->DoubleClicked();
          return true;
        }
  }
  return QMainWindow::eventFilter(Watched, Event);
}

void TMainForm::About1Click() {
  if (AboutBox) AboutBox->show();
  setEnabled(false);
}
