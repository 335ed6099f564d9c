#include "app/information_form.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>

namespace {

QLabel* CountLabel(const char* Name, QWidget* Parent, int Left, int Top) {
  auto* l = new QLabel(Parent);
  l->setObjectName(Name);
  l->move(Left, Top);
  return l;
}

void SetText(QLabel* Label, const char* Prefix, long long Value) {
  Label->setText(QString::fromLatin1(Prefix) + QString::number(Value));
  Label->adjustSize();
}

}  // namespace

TInformationForm::TInformationForm(QWidget& MainWindow)
    : SideDialog(MainWindow, "InformationForm", "Information", 298, 211) {

  Panel1 = new QFrame(this);
  Panel1->setObjectName("Panel1");
  Panel1->setFrameStyle(QFrame::Box | QFrame::Sunken);
  Panel1->setGeometry(8, 8, 281, 161);

  UnitArm = CountLabel("UnitArm", Panel1, 8, 28);
  UnitCore = CountLabel("UnitCore", Panel1, 8, 64);
  TotalUnit = CountLabel("TotalUnit", Panel1, 8, 96);
  Weapon = CountLabel("Weapon", Panel1, 8, 124);

  OKButton = new QPushButton("OK", this);
  OKButton->setObjectName("OKButton");
  OKButton->setGeometry(111, 180, 75, 25);
  OKButton->setDefault(true);
  connect(OKButton, &QPushButton::clicked, this, [this] { OKButtonClick(); });
}

void TInformationForm::ShowCounts(int Arm, int Core, int Weapons) {
  SetText(UnitArm, "Number of Arm Units           : ", Arm);
  SetText(UnitCore, "Number of Core Units          : ", Core);
  SetText(TotalUnit, "Total Number of Units          : ", static_cast<long long>(Arm) + Core);
  SetText(Weapon, "Total Number of Weapons  : ", Weapons);
}
