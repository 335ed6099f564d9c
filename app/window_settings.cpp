// Settings kept between runs: the game directory chosen in Options, the
// compression choice, the hidden columns of each table, the window's size and
// place, and the archives opened last (File > Recent Archives). Read once at
// start-up before the window shows, written when the window closes (and when
// Options closes); "Restore Default Settings" forgets them.
#include <QAction>
#include <QButtonGroup>
#include <QFile>
#include <QMenu>
#include <QRadioButton>
#include <QSettings>
#include <algorithm>
#include <filesystem>
#include <system_error>
#include <vector>

#include "app/latin1.h"
#include "app/main_form.h"
#include "definitions/catalogue.h"
#include "hpi/hpi.h"
#include "options/options_form.h"

namespace {

const QString kGameDirectory = QStringLiteral("Options/GameDirectory");
const QString kCompression = QStringLiteral("Options/Compression");
const QString kGeometry = QStringLiteral("Window/Geometry");
const QString kRecent = QStringLiteral("File/RecentArchives");
// The column width a hidden column gets back before it is fitted, as Options does.
constexpr int kShownAgainWidth = 40;

// The key of each table's hidden columns, by the table's page caption.
struct TableKey {
  RowTable AppState::*Table;
  const char* Key;
};
const TableKey kTables[] = {
    {&AppState::UnitView, "Columns/Units"},
    {&AppState::WeaponView, "Columns/Weapons"},
    {&AppState::CorpseView, "Columns/Corpses"},
    {&AppState::DownloadView, "Columns/Download"},
};

QString PathText(const std::string& Path) { return QFile::decodeName(QByteArray::fromStdString(Path)); }
std::string PathBytes(const QString& Path) { return QFile::encodeName(Path).toStdString(); }

}  // namespace

std::unique_ptr<QSettings> UserSettings() {
  return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope, "kestrava", "kestrava");
}

void TMainForm::LoadSettings() {
  RebuildRecentMenu();
  if (!Settings) return;
  QSettings& s = *Settings;
  // A directory chosen in Options comes before the environment's.
  if (s.contains(kGameDirectory)) State.TaDir = s.value(kGameDirectory).toByteArray().toStdString();
  if (OptionsForm && s.contains(kCompression)) {
    const int index = s.value(kCompression).toInt();
    if (QAbstractButton* b = OptionsForm->CompressiontypeButtons->button(index)) b->setChecked(true);
  }
  for (const TableKey& t : kTables) {
    const QStringList hidden = s.value(t.Key).toStringList();
    if (hidden.isEmpty()) continue;
    RowTable& table = State.*t.Table;
    table.BeginUpdate();
    for (int c = 0; c < table.ColumnCount(); ++c)
      if (hidden.contains(Latin1(table.ColumnCaption(c)))) table.SetColumnWidth(c, 0);
    table.EndUpdate();
  }
  if (s.contains(kGeometry) && restoreGeometry(s.value(kGeometry).toByteArray()))
    FramePending_ = false;  // the saved size and place, not the design's
  RecentArchives.clear();
  for (const QString& p : s.value(kRecent).toStringList())
    if (static_cast<int>(RecentArchives.size()) < kRecentCount) RecentArchives.push_back(PathBytes(p));
  RebuildRecentMenu();
  LoadBalanceFiguresSetting();
}

void TMainForm::SaveSettings() {
  if (!Settings) return;
  QSettings& s = *Settings;
  if (OptionsForm) s.setValue(kCompression, OptionsForm->CompressionIndex());
  for (const TableKey& t : kTables) {
    const RowTable& table = State.*t.Table;
    QStringList hidden;
    for (int c = 0; c < table.ColumnCount(); ++c)
      if (table.ColumnWidth(c) == 0) hidden << Latin1(table.ColumnCaption(c));
    s.setValue(t.Key, hidden);
  }
  s.setValue(kGeometry, saveGeometry());
  QStringList recent;
  for (const std::string& p : RecentArchives) recent << PathText(p);
  s.setValue(kRecent, recent);
  s.sync();
}

void TMainForm::SaveGameDirectory() {
  if (!Settings) return;
  Settings->setValue(kGameDirectory, QByteArray::fromStdString(State.TaDir));
  Settings->sync();
}

void TMainForm::RestoreDefaultsClick() {
  if (!State.dialogs.AskYesNo("Forget all saved settings and go back to the defaults?")) return;
  if (Settings) {
    Settings->clear();
    Settings->sync();
  }
  // Every column shown, fitted as Options shows a column again.
  for (const TableKey& t : kTables) {
    RowTable& table = State.*t.Table;
    table.BeginUpdate();
    for (int c = 0; c < table.ColumnCount(); ++c)
      if (table.ColumnWidth(c) == 0) {
        table.SetColumnWidth(c, kShownAgainWidth);
        table.FitColumnToContents(c);
      }
    table.EndUpdate();
  }
  std::vector<char> buffer(HPI_NAME_BUFFER, '\0');
  GetTADirectory(buffer.data());
  State.TaDir.assign(buffer.data(), strnlen(buffer.data(), buffer.size()));
  if (OptionsForm) OptionsForm->CompressiontypeButtons->button(1)->setChecked(true);
  RecentArchives.clear();
  RebuildRecentMenu();
  if (BalanceFigures->isChecked()) BalanceFiguresClick();  // off, as at first
  if (Settings) {
    Settings->clear();  // and not remembered as off either
    Settings->sync();
  }
  // The design's size and place, frame and all, within the screen.
  showNormal();
  resize(560, 446);
  move(212, 106);
  FramePending_ = true;
  FitDesignFrame();
  FitToScreen();
}

void TMainForm::AddRecentArchives(const std::vector<std::string>& Files) {
  for (auto f = Files.rbegin(); f != Files.rend(); ++f) {
    std::error_code ec;
    std::string path = *f;
    const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
    if (!ec) path = absolute.lexically_normal().string();
    RecentArchives.erase(std::remove(RecentArchives.begin(), RecentArchives.end(), path), RecentArchives.end());
    RecentArchives.insert(RecentArchives.begin(), path);
  }
  if (static_cast<int>(RecentArchives.size()) > kRecentCount) RecentArchives.resize(kRecentCount);
  RebuildRecentMenu();
}

void TMainForm::RebuildRecentMenu() {
  if (!RecentMenu) return;
  RecentMenu->clear();
  int n = 0;
  for (const std::string& path : RecentArchives) {
    QString shown = PathText(path);
    shown.replace('&', "&&");
    QAction* a = RecentMenu->addAction(QStringLiteral("&%1 %2").arg(++n).arg(shown));
    connect(a, &QAction::triggered, this, [this, path] { OpenRecentArchive(path); });
  }
  if (!RecentArchives.empty()) {
    RecentMenu->addSeparator();
    QAction* clear = RecentMenu->addAction("&Clear Recent Archives");
    clear->setObjectName("ClearRecent");
    connect(clear, &QAction::triggered, this, [this] {
      RecentArchives.clear();
      RebuildRecentMenu();
    });
  }
  RecentMenu->setEnabled(!RecentArchives.empty());
}

void TMainForm::OpenRecentArchive(const std::string& Path) {
  if (!SettleEdits()) return;
  std::error_code ec;
  if (!std::filesystem::is_regular_file(Path, ec)) {
    State.dialogs.ShowMessage("cannot read archive " + Path + ": it is no longer there");
    RecentArchives.erase(std::remove(RecentArchives.begin(), RecentArchives.end(), Path), RecentArchives.end());
    RebuildRecentMenu();
    return;
  }
  OpenArchives({Path});
}
