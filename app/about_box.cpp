#include "app/about_box.h"

#include <QFrame>
#include <QIcon>
#include <QLabel>
#include <QPushButton>

namespace {

QLabel* CentredLabel(const char* Text, QWidget* Parent, int Top, int Height) {
  auto* l = new QLabel(QString::fromLatin1(Text), Parent);
  l->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
  l->setGeometry(8, Top, 265, Height);
  return l;
}

}  // namespace

TAboutBox::TAboutBox(QWidget& MainWindow)
    : SideDialog(MainWindow, "AboutBox", "About Ta Kestrava", 298, 213, Qt::WindowStaysOnTopHint) {

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
