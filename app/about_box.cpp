#include "app/about_box.h"

#include <QFrame>
#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

namespace {

QLabel* CentredLabel(const char* Text, QWidget* Parent, int Top, int Height) {
  auto* l = new QLabel(QString::fromLatin1(Text), Parent);
  l->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
  l->setGeometry(8, Top, 265, Height);
  return l;
}

}  // namespace

void CentreOnScreen(QWidget& Window) {
  QScreen* screen = Window.screen() ? Window.screen() : QGuiApplication::primaryScreen();
  if (!screen) return;
  QRect frame = Window.frameGeometry();
  frame.moveCenter(screen->availableGeometry().center());
  Window.move(frame.topLeft());
}

TAboutBox::TAboutBox(QWidget& MainWindow)
    : QDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint | Qt::MSWindowsFixedSizeDialogHint),
      MainWindow_(MainWindow) {
  setObjectName("AboutBox");
  setWindowTitle("About Ta Kestrava");
  setFixedSize(298, 213);
  setSizeGripEnabled(false);

  Panel1 = new QFrame(this);
  Panel1->setObjectName("Panel1");
  Panel1->setFrameStyle(QFrame::Box | QFrame::Sunken);  // raised inside a sunken edge
  Panel1->setGeometry(8, 8, 281, 169);

  ProgramIcon = new QLabel(Panel1);
  ProgramIcon->setObjectName("ProgramIcon");
  ProgramIcon->setGeometry(124, 10, 32, 32);
  ProgramIcon->setPixmap(QIcon(":/kestrava.png").pixmap(32, 32));

  ProductName = CentredLabel("Ta Kestrava", Panel1, 46, 18);
  QFont bold = ProductName->font();
  bold.setBold(true);
  ProductName->setFont(bold);
  Version = CentredLabel("Version : 2.0", Panel1, 66, 16);
  Copyright = CentredLabel("Written by the Kestrava developers", Panel1, 84, 16);

  Separator = new QFrame(Panel1);
  Separator->setFrameStyle(QFrame::HLine | QFrame::Sunken);
  Separator->setGeometry(8, 106, 265, 2);

  Comments = CentredLabel(
      "Archives are read and written by Kestrava's own archive library for the game's "
      "HPI format, with libdeflate and zlib.",
      Panel1, 112, 50);
  Comments->setWordWrap(true);

  OKButton = new QPushButton("OK", this);
  OKButton->setObjectName("OKButton");
  OKButton->setGeometry(111, 184, 75, 25);
  OKButton->setDefault(true);
  connect(OKButton, &QPushButton::clicked, this, [this] { OKButtonClick(); });
}

void TAboutBox::OKButtonClick() {
  MainWindow_.setEnabled(true);
  hide();
}

void TAboutBox::FormClose() {
  MainWindow_.setEnabled(true);
  hide();
}

void TAboutBox::reject() { FormClose(); }

void TAboutBox::showEvent(QShowEvent* Event) {
  QDialog::showEvent(Event);
  CentreOnScreen(*this);
}
