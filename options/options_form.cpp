// The Options dialog: column visibility per table, the game directory and the
// compression used when an archive is written.
#include "options/options_form.h"

#include <QAction>
#include <algorithm>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QFont>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "app/latin1.h"
#include "app/main_form.h"
#include "app/side_dialog.h"

namespace {

constexpr int kTabUnits = 0, kTabWeapons = 1, kTabCorpses = 2, kTabDownload = 3;
constexpr int kTabCount = 4;
// Width a column gets when it is shown again, before it is fitted to its texts.
constexpr int kShownAgainWidth = 40;

QPushButton* MakeButton(const char* Caption, QWidget* Parent, int Left, int Top, int W, int H) {
  auto* b = new QPushButton(QString::fromLatin1(Caption), Parent);
  b->setGeometry(Left, Top, W, H);
  // Neither Enter nor Escape presses a button of this dialog.
  b->setAutoDefault(false);
  b->setDefault(false);
  return b;
}

// A tab page holding a captioned group box that holds the page's check list.
QListWidget* MakeCheckListPage(QTabWidget* Tabs, const char* TabCaption, const char* BoxCaption) {
  auto* page = new QWidget;
  auto* pageLayout = new QVBoxLayout(page);
  pageLayout->setContentsMargins(2, 2, 2, 2);
  auto* box = new QGroupBox(QString::fromLatin1(BoxCaption), page);
  pageLayout->addWidget(box);
  auto* boxLayout = new QVBoxLayout(box);
  boxLayout->setContentsMargins(4, 4, 4, 4);
  auto* list = new QListWidget(box);
  boxLayout->addWidget(list);
  Tabs->addTab(page, QString::fromLatin1(TabCaption));
  return list;
}

}  // namespace

TOptionsForm::TOptionsForm(AppState& S, TMainForm& M)
    : QWidget(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowStaysOnTopHint),
      State(S),
      Main(M) {
  setObjectName("OptionsForm");
  setWindowTitle("Options");
  setFixedSize(311, 427);
  // The positions below are laid out for an 11-pixel font; with the desktop's
  // usually larger one the labels and tab captions would be clipped.
  QFont small = font();
  small.setPixelSize(11);
  setFont(small);

  OptionPanelControl = new QTabWidget(this);
  OptionPanelControl->setObjectName("OptionPanelControl");
  OptionPanelControl->setGeometry(4, 4, 301, 209);
  // Every tab 74 pixels wide, padding included.
  OptionPanelControl->setStyleSheet("QTabBar::tab { width: 66px; padding: 3px 4px; }");
  OUnitsCheckBox = MakeCheckListPage(OptionPanelControl, "Units", "Unit Columns Shown");
  OWeaponsCheckBox = MakeCheckListPage(OptionPanelControl, "Weapons", "Weapon Columns Shown");
  OCorpsesCheckBox = MakeCheckListPage(OptionPanelControl, "Corpses", "Corpse Columns Shown");
  ODownloadCheckBox = MakeCheckListPage(OptionPanelControl, "Download", "BuildMenu Columns Shown");
  OptionPanelControl->setCurrentIndex(kTabUnits);

  ColumnAllSelect = MakeButton("Sellect all", this, 52, 220, 75, 25);
  ColumnAllDeSelect = MakeButton("Desellect all", this, 180, 220, 75, 25);

  OptionGroupBox = new QGroupBox("Common Options", this);
  OptionGroupBox->setGeometry(4, 248, 301, 53);
  TaDirLabel = new QLabel("&Ta Directory :", OptionGroupBox);
  TaDirLabel->move(8, 20);
  TaDirLabel->adjustSize();
  TaDirEdit = new QLineEdit(OptionGroupBox);
  // The field starts at 76 and ends at 213, before "&Browse..". With a font
  // whose caption reaches further, the field starts after the whole caption.
  const int editLeft = std::max(76, TaDirLabel->geometry().right() + 4);
  TaDirEdit->setGeometry(editLeft, 16, 213 - editLeft, 21);
  TaDirLabel->setBuddy(TaDirEdit);
  TaDirBrowseButon = MakeButton("&Browse..", OptionGroupBox, 220, 16, 75, 21);

  Compressiontype = new QGroupBox("Compressiontype", this);
  Compressiontype->setGeometry(4, 304, 301, 85);
  CompressiontypeButtons = new QButtonGroup(this);
  auto* radioLayout = new QVBoxLayout(Compressiontype);
  const char* captions[] = {"No Compression", "LZ77 (HPI1)", "ZLib  (HPI2)"};
  for (int i = 0; i < 3; ++i) {
    auto* r = new QRadioButton(QString::fromLatin1(captions[i]), Compressiontype);
    radioLayout->addWidget(r);
    CompressiontypeButtons->addButton(r, i);
  }
  CompressiontypeButtons->button(1)->setChecked(true);

  OptionOk = MakeButton("Ok", this, 48, 396, 75, 25);
  OptionCancel = MakeButton("Cancel", this, 188, 396, 75, 25);

  connect(OptionOk, &QPushButton::clicked, this, [this] { OptionOkClick(); });
  connect(OptionCancel, &QPushButton::clicked, this, [this] { OptionCancelClick(); });
  connect(TaDirBrowseButon, &QPushButton::clicked, this, [this] { TaDirBrowseButonClick(); });
  connect(ColumnAllSelect, &QPushButton::clicked, this, [this] { ColumnAllSelectClick(); });
  connect(ColumnAllDeSelect, &QPushButton::clicked, this, [this] { ColumnAllDeSelectClick(); });

  // The engine asks for the selection each time it packs, so a click counts at once.
  State.CompressionSetting = [this] { return CompressionIndex(); };

  FormCreate();
}

QListWidget* TOptionsForm::ListOf(int Tab) const {
  switch (Tab) {
    case kTabWeapons: return OWeaponsCheckBox;
    case kTabCorpses: return OCorpsesCheckBox;
    case kTabDownload: return ODownloadCheckBox;
    default: return OUnitsCheckBox;
  }
}

RowTable& TOptionsForm::TableOf(int Tab) const {
  switch (Tab) {
    case kTabWeapons: return State.WeaponView;
    case kTabCorpses: return State.CorpseView;
    case kTabDownload: return State.DownloadView;
    default: return State.UnitView;
  }
}

void TOptionsForm::FormCreate() {
  for (int tab = 0; tab < kTabCount; ++tab) {
    RowTable& view = TableOf(tab);
    QListWidget* list = ListOf(tab);
    for (int col = 0; col < view.ColumnCount(); ++col) {
      auto* item = new QListWidgetItem(Latin1(view.ColumnCaption(col)), list);
      item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
      item->setCheckState(view.ColumnWidth(col) != 0 ? Qt::Checked : Qt::Unchecked);
    }
  }
  TaDirEdit->setText(Latin1(State.TaDir));
  if (Main.SearchDirMenu) Main.SearchDirMenu->setChecked(false);
}

void TMainForm::Options1Click() {
  if (OptionsForm) OptionsForm->Open();
}

void TOptionsForm::FillTicks() {
  for (int tab = 0; tab < kTabCount; ++tab) {
    RowTable& view = TableOf(tab);
    QListWidget* list = ListOf(tab);
    for (int col = 0; col < view.ColumnCount() && col < list->count(); ++col)
      list->item(col)->setCheckState(view.ColumnWidth(col) != 0 ? Qt::Checked : Qt::Unchecked);
  }
}

void TOptionsForm::Open() {
  FillTicks();
  TaDirEdit->setText(Latin1(State.TaDir));
  CentreOnScreen(*this);
  show();
  Main.setEnabled(false);
}

void TOptionsForm::OptionOkClick() {
  for (int tab = 0; tab < kTabCount; ++tab) TableOf(tab).BeginUpdate();

  for (int tab = 0; tab < kTabCount; ++tab) {
    RowTable& view = TableOf(tab);
    QListWidget* list = ListOf(tab);
    for (int col = 0; col < view.ColumnCount() && col < list->count(); ++col) {
      if (list->item(col)->checkState() != Qt::Checked) {
        view.SetColumnWidth(col, 0);
      } else if (view.ColumnWidth(col) == 0) {
        view.SetColumnWidth(col, kShownAgainWidth);
        view.FitColumnToContents(col);
      }
    }
  }

  const std::string newDir = Bytes(TaDirEdit->text());
  if (newDir != State.TaDir) {
    if (!Main.IncludeTaFiles->isChecked()) {
      State.TaDir = newDir;
    } else {
      bool keep = State.dialogs.AskYesNo(
          "Do you want to keep all data from the old Ta-subdirs in " + State.TaDir);
      // No: drop the old directory's files first (the command sees the item checked).
      if (!keep) Main.IncludeTaFilesClick();
      State.TaDir = newDir;
      Main.IncludeTaFiles->setChecked(false);
      Main.IncludeTaFilesClick();
    }
    Main.SaveGameDirectory();  // a directory chosen here is kept between runs
  }

  for (int tab = 0; tab < kTabCount; ++tab) TableOf(tab).EndUpdate();

  Main.SaveSettings();
  Main.setEnabled(true);
  hide();
}

void TOptionsForm::OptionCancelClick() {
  Main.setEnabled(true);
  hide();
}

void TOptionsForm::TaDirBrowseButonClick() {
  std::string dir;
  if (State.dialogs.ChooseDirectory("/", false, dir)) TaDirEdit->setText(Latin1(dir));
}

void TOptionsForm::TickAll(bool Ticked) {
  QListWidget* list = ListOf(OptionPanelControl->currentIndex());
  for (int i = 0; i < list->count(); ++i)
    list->item(i)->setCheckState(Ticked ? Qt::Checked : Qt::Unchecked);
}

void TOptionsForm::ColumnAllSelectClick() { TickAll(true); }
void TOptionsForm::ColumnAllDeSelectClick() { TickAll(false); }

int TOptionsForm::CompressionIndex() const {
  int id = CompressiontypeButtons->checkedId();
  return id < 0 ? 1 : id;
}

void TOptionsForm::closeEvent(QCloseEvent* Event) { Event->ignore(); }
