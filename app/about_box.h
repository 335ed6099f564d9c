#pragma once
// The About box: program icon, name, version, author and the archive library's
// credit. Shown without waiting while the main window is disabled; every way
// out enables the main window again, then hides the box.
#include "app/side_dialog.h"

class QFrame;
class QLabel;
class QPushButton;

class TAboutBox : public SideDialog {
  Q_OBJECT

 public:
  explicit TAboutBox(QWidget& MainWindow);

  QFrame* Panel1 = nullptr;
  QLabel* ProgramIcon = nullptr;
  QLabel* ProductName = nullptr;
  QLabel* Version = nullptr;
  QLabel* Copyright = nullptr;
  QFrame* Separator = nullptr;
  QLabel* Comments = nullptr;
  QPushButton* OKButton = nullptr;

  void OKButtonClick() { CloseToMainWindow(); }
  void FormClose() { CloseToMainWindow(); }
};
