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
//   app/balance_figures_menu.cpp  the balance figure columns' switch
//   compare/compare_command.cpp   Compare
#include <QMainWindow>
#include <string>
#include <vector>

#include "state/app_state.h"

class QAction;
class QFrame;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class ReportView;
class TOptionsForm;
class TAboutBox;
class TInformationForm;

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
  QAction* BalanceFigures = nullptr;
  QAction* Compare1 = nullptr;
  QAction* Options1 = nullptr;
  QAction* Information = nullptr;
  QAction* About1 = nullptr;

  // ---- edit page state
  UnPacked* EditEntry = nullptr;      // the file shown, or none
  bool EditChanged = false;           // text changed since "Edit" was pressed
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
  void EditMemoChange();
  // Closes the edit page without storing (as Cancel does) when the entry it
  // shows is about to be removed; called before Close All and before the loose
  // files are switched off.
  void CloseEditPageIfShowing(bool LooseOnly);

  void ExtractufosClick();

  // app/balance_figures_menu.cpp: the figure columns' switch and tooltips.
  void SetUpBalanceFigures();
  void BalanceFiguresClick();
  // compare/compare_command.cpp: the selected rows side by side.
  void CompareClick();

 private:
  void FitDesignFrame();
  bool FramePending_ = true;  // the outer size still waits for the frame

 protected:
  void resizeEvent(QResizeEvent* Event) override;
  void showEvent(QShowEvent* Event) override;
  void moveEvent(QMoveEvent* Event) override;
  void closeEvent(QCloseEvent* Event) override;
};
