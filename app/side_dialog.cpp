#include "app/side_dialog.h"

#include <QGuiApplication>
#include <QScreen>

void CentreOnScreen(QWidget& Window) {
  QScreen* screen = Window.screen() ? Window.screen() : QGuiApplication::primaryScreen();
  if (!screen) return;
  QRect frame = Window.frameGeometry();
  frame.moveCenter(screen->availableGeometry().center());
  Window.move(frame.topLeft());
}

SideDialog::SideDialog(QWidget& MainWindow, const char* ObjectName, const char* Caption, int Width, int Height,
                       Qt::WindowFlags ExtraFlags)
    : QDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                           Qt::MSWindowsFixedSizeDialogHint | ExtraFlags),
      MainWindow_(MainWindow) {
  setObjectName(ObjectName);
  setWindowTitle(QString::fromLatin1(Caption));
  setFixedSize(Width, Height);
  setSizeGripEnabled(false);
}

void SideDialog::CloseToMainWindow() {
  MainWindow_.setEnabled(true);
  hide();
}

void SideDialog::showEvent(QShowEvent* Event) {
  QDialog::showEvent(Event);
  CentreOnScreen(*this);
}
