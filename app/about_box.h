#pragma once
// The About box: program icon, name, version, author and the archive library's
// credit. Shown without waiting while the main window is disabled; every way
// out enables the main window again, then hides the box.
#include <QDialog>

class QFrame;
class QLabel;
class QPushButton;

class TAboutBox : public QDialog {
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

  void OKButtonClick();
  void FormClose();

  // Esc and the title-bar close button end here.
  void reject() override;

 protected:
  void showEvent(QShowEvent* Event) override;

 private:
  QWidget& MainWindow_;
};

// Moves a top-level window to the middle of the screen it is on.
void CentreOnScreen(QWidget& Window);
