#pragma once
// The main window: four report tables on pages, the edit page, the menu bar and
// two status panels. Handlers keep the names of the controls and events they
// serve; their bodies live in the file of their subsystem:
//   app/main_form.cpp      construction, FormCreate, FormResize, Exit, About
//   app/open_close.cpp     Open, Close, Close All, the two directory switches
//   app/sorting.cpp        header clicks
//   app/table_tools.cpp    autosize, duplicate check, unit-name list, information, row click
//   editing/edit_page.cpp  double clicks, the edit page's buttons
//   extract/extract_command.cpp   Extract...
//   options/options_form.cpp      Options1Click
//   plot/plot_command.cpp         Plot1Click
//   app/balance_figures_menu.cpp  the balance figure columns' switch
//   compare/compare_command.cpp   Compare
#include <QMainWindow>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "state/app_state.h"

class QAction;
class QFrame;
class QMenu;
class QScreen;
class QSettings;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class ReportView;
class TOptionsForm;
class TAboutBox;
class TInformationForm;
class ProblemsDock;
class ChangesDock;

class TMainForm : public QMainWindow {
  Q_OBJECT

 public:
  explicit TMainForm(AppState& State, QWidget* Parent = nullptr);
  ~TMainForm() override;

  AppState& State;

  // The other forms, created after this one at start-up.
  TOptionsForm* OptionsForm = nullptr;
  TAboutBox* AboutBox = nullptr;
  TInformationForm* InformationForm = nullptr;
  // The dockable lists (app/mod_docks.h), made at start-up.
  ProblemsDock* Problems = nullptr;
  ChangesDock* Changes = nullptr;

  // ---- layout
  QFrame* Bevel1 = nullptr;
  QFrame* MainPanel = nullptr;
  QTabWidget* MainPanelControl = nullptr;
  QWidget* UnitSheet = nullptr;
  QWidget* WeaponSheet = nullptr;
  QWidget* CorpseSheet = nullptr;
  QWidget* DownloadSheet = nullptr;
  QWidget* EditSheet = nullptr;
  ReportView* UnitView = nullptr;      // shows State.UnitView
  ReportView* WeaponView = nullptr;    // shows State.WeaponView
  ReportView* CorpseView = nullptr;    // shows State.CorpseView
  ReportView* DownloadView = nullptr;  // shows State.DownloadView
  QLabel* EditSheetLabel = nullptr;
  QPlainTextEdit* EditMemo = nullptr;
  QPushButton* EditSave = nullptr;
  QPushButton* EditCancel = nullptr;
  QLabel* Panel1 = nullptr;
  QLabel* Panel2 = nullptr;

  // ---- menu items
  QAction* Open1 = nullptr;
  QAction* Close1 = nullptr;
  QAction* CloseAll1 = nullptr;
  QAction* Exit1 = nullptr;
  QAction* UnitNameList = nullptr;
  QAction* Extractufos = nullptr;
  QAction* Checkfordouble = nullptr;
  QAction* AutosizeallColumns = nullptr;
  QAction* IncludeTaFiles = nullptr;
  QAction* SearchDirMenu = nullptr;
  QAction* Plot1 = nullptr;
  QAction* BalanceFigures = nullptr;
  QAction* Compare1 = nullptr;
  QAction* Options1 = nullptr;
  QAction* Information = nullptr;
  QAction* About1 = nullptr;
  QMenu* RecentMenu = nullptr;          // File > the archives opened last
  QAction* RestoreDefaults = nullptr;   // Extra > forget the saved settings

  // Where the settings are kept between runs; none (nothing is read or
  // written) unless start-up gave one.
  QSettings* Settings = nullptr;
  // The archives opened last, newest first, at most kRecentCount.
  std::vector<std::string> RecentArchives;
  static constexpr int kRecentCount = 8;
  QAction* CheckProblems = nullptr;
  QAction* CompareVersion = nullptr;
  QAction* EndComparison = nullptr;

  // ---- edit page state
  UnPacked* EditEntry = nullptr;      // the file shown, or none
  bool EditChanged = false;           // text changed since "Edit" was pressed
  std::string EditLoaded;             // the file's bytes when the page showed it, to notice changes by others
  QWidget* ReturnPage = nullptr;      // page active when the edit page opened
  RowTable* EditView = nullptr;       // table whose row was opened
  AllUnpacked* EditFiles = nullptr;   // that table's file list
  bool EditMultiSection = false;

  // ---- handlers
  void FormCreate();
  void FormResize();
  void Exit1Click();
  void About1Click();
  void Options1Click();

  void Open1Click();
  // Shows what could not be read while archives were loaded, one line each,
  // in one message; nothing when all was read.
  void ReportProblems(const std::vector<std::string>& Problems);
  // Loads Files in order and enables the menus that need an open archive: what
  // File > Open... does once the files are chosen, and start-up with archives
  // named on the command line.
  void OpenArchives(const std::vector<std::string>& Files);
  void Close1Click();
  void CloseAll1Click();
  void SearchDirMenuClick();
  void IncludeTaFilesClick();

  void UnitViewColumnClick(int Column);
  void WeaponViewColumnClick(int Column);
  void CorpseViewColumnClick(int Column);
  void DownloadViewColumnClick(int Column);
  static int ColumnIndexByCaption(const RowTable& View, const std::string& Caption);

  void AutosizeallColumnsClick();
  void CheckfordoubleClick();
  void UnitNameListClick();
  void InformationClick();
  void UnitViewClick();

  void OpenEditPage(RowTable& View);
  void OpenEditPageOf(RowTable& View);
  // Shows or hides the tabs of the four table pages; while the edit page is
  // open no table can be reached.
  void ShowTableTabs(bool Visible);
  void UnitViewDblClick();
  void WeaponViewDblClick();
  void DownloadViewDblClick();
  void CorpseViewDblClick();
  void EditSaveClick();
  void EditCancelClick();
  void ShowOtherVersion();
  void EditMemoChange();
  // Closes the edit page without storing (as Cancel does) when the entry it
  // shows is about to be removed; called before Close All and before the loose
  // files are switched off.
  void CloseEditPageIfShowing(bool LooseOnly);

  // Whether the edit page holds typed text not yet stored ("Save" showing
  // and the text changed).
  bool HasUnsavedEdits() const;
  // Before something that would lose such text (leaving, opening or closing
  // archives): asks whether to save it, discard it, or stay. Save saves as
  // the page's Save does, Discard leaves the page as Cancel does. True when
  // the caller may go on; false (nothing done) when the user stays or the
  // save failed. True at once when there is nothing to lose.
  bool SettleEdits();

  void ExtractufosClick();
  // Opens the plot of the table in front, or brings its open plot forward.
  void Plot1Click();

  // ---- settings kept between runs (app/window_settings.cpp)
  // Applies the saved settings: game directory, hidden columns, compression,
  // window geometry, recent archives. Before the window shows.
  void LoadSettings();
  // Writes them all (the game directory only when chosen in Options).
  void SaveSettings();
  // The game directory chosen in Options, to be kept.
  void SaveGameDirectory();
  // Forgets every saved setting and goes back to the defaults: all columns
  // shown, the game directory of the environment, LZ77, no recent archives,
  // the design size and place.
  void RestoreDefaultsClick();
  // Puts Files first in the recent archives (each once) and remakes the menu.
  void AddRecentArchives(const std::vector<std::string>& Files);
  void RebuildRecentMenu();
  void OpenRecentArchive(const std::string& Path);

  // Moves and if need be shrinks the window so that it lies, frame and all,
  // inside the available area of its screen.
  void FitToScreen();

 signals:
  // The edit page wrote a file.
  void EntrySaved();
  // Close All closed every archive and file.
  void AllClosed();

 public:
  // app/balance_figures_menu.cpp: the figure columns' switch and tooltips.
  void SetUpBalanceFigures();
  void BalanceFiguresClick();
  void LoadBalanceFiguresSetting();
  // compare/compare_command.cpp: the selected rows side by side.
  void CompareClick();

 private:
  void FitDesignFrame();
  bool FramePending_ = true;  // the outer size still waits for the frame
  bool ScreenWatched_ = false;  // screen changes refit the window
  QScreen* WatchedScreen_ = nullptr;  // whose area and resolution changes refit it
  void WatchScreen(QScreen* S);
  // Enter on a table row opens it, as a double click does.
  bool eventFilter(QObject* Watched, QEvent* Event) override;
  void SortClick(ReportView* View, RowTable& Table, int Column);
  std::set<const RowTable*> SortClicked_;  // tables sorted by a header click so far

 protected:
  void resizeEvent(QResizeEvent* Event) override;
  void showEvent(QShowEvent* Event) override;
  void moveEvent(QMoveEvent* Event) override;
  void closeEvent(QCloseEvent* Event) override;
};

// The settings store of the program: the desktop's usual place for the
// user's configuration (kestrava/kestrava.ini below XDG_CONFIG_HOME).
std::unique_ptr<QSettings> UserSettings();
