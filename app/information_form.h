#pragma once
// The Information dialog: the counts of Arm units, Core units, their total and
// the weapons. Shown while the main window is disabled; "OK", Enter and the
// close box hide it and enable the main window.
#include "app/side_dialog.h"

class QFrame;
class QLabel;
class QPushButton;

class TInformationForm : public SideDialog {
  Q_OBJECT

 public:
  explicit TInformationForm(QWidget& MainWindow);

  QFrame* Panel1 = nullptr;
  QLabel* UnitArm = nullptr;
  QLabel* UnitCore = nullptr;
  QLabel* TotalUnit = nullptr;
  QLabel* Weapon = nullptr;
  QPushButton* OKButton = nullptr;

  // Sets the four labels; the unit total is Arm + Core.
  void ShowCounts(int Arm, int Core, int Weapons);
  void OKButtonClick() { CloseToMainWindow(); }
};
