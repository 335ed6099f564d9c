#pragma once
// The Options dialog: which columns each table shows, the game directory and
// the compression used when archives are written.
#include <QWidget>

#include "state/app_state.h"

class QButtonGroup;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTabWidget;
class TMainForm;

class TOptionsForm : public QWidget {
  Q_OBJECT

 public:
  // Creates the dialog hidden and runs FormCreate. The main window and its
  // columns must exist already.
  TOptionsForm(AppState& State, TMainForm& Main);

  AppState& State;
  TMainForm& Main;

  QTabWidget* OptionPanelControl = nullptr;
  QListWidget* OUnitsCheckBox = nullptr;
  QListWidget* OWeaponsCheckBox = nullptr;
  QListWidget* OCorpsesCheckBox = nullptr;
  QListWidget* ODownloadCheckBox = nullptr;
  QPushButton* ColumnAllSelect = nullptr;
  QPushButton* ColumnAllDeSelect = nullptr;
  QGroupBox* OptionGroupBox = nullptr;
  QLabel* TaDirLabel = nullptr;
  QLineEdit* TaDirEdit = nullptr;
  QPushButton* TaDirBrowseButon = nullptr;
  QGroupBox* Compressiontype = nullptr;
  QButtonGroup* CompressiontypeButtons = nullptr;  // ids 0, 1, 2
  QPushButton* OptionOk = nullptr;
  QPushButton* OptionCancel = nullptr;

  void FormCreate();
  // What the main menu's "&Options" does: fill from the current state, show,
  // disable the main window.
  void Open();
  void OptionOkClick();
  void OptionCancelClick();
  void TaDirBrowseButonClick();
  void ColumnAllSelectClick();
  void ColumnAllDeSelectClick();
  // The selected index of Compressiontype (0 none, 1 LZ77, 2 zlib).
  int CompressionIndex() const;

 protected:
  // The dialog has no close box; a close request from the window manager
  // (Alt+F4) is refused, so "Ok" and "Cancel" stay the only ways out.
  void closeEvent(QCloseEvent* Event) override;

 private:
  // The check list of each table, in the tab order Units, Weapons, Corpses, Download.
  QListWidget* ListOf(int Tab) const;
  RowTable& TableOf(int Tab) const;
  void FillTicks();
  void TickAll(bool Ticked);
};
