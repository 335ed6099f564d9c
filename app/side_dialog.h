#pragma once
// A fixed-size dialog shown as an ordinary window while the main window is
// disabled (the About box, the Information dialog). Every way out enables the
// main window again, then hides the dialog; it is centred whenever it shows.
#include <QDialog>

class SideDialog : public QDialog {
  Q_OBJECT

 public:
  SideDialog(QWidget& MainWindow, const char* ObjectName, const char* Caption, int Width, int Height,
             Qt::WindowFlags ExtraFlags = {});

  // Enables the main window, then hides the dialog.
  void CloseToMainWindow();
  // Esc and the title-bar close button end here.
  void reject() override { CloseToMainWindow(); }

 protected:
  void showEvent(QShowEvent* Event) override;

 private:
  QWidget& MainWindow_;
};

// Moves a top-level window to the middle of the screen it is on.
void CentreOnScreen(QWidget& Window);
