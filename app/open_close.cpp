// Opening archives, the two directory switches, Close and Close All.
#include <QAction>
#include <QApplication>
#include <QTabWidget>
#include <algorithm>
#include <string>
#include <vector>

#include "app/main_form.h"
#include "archive/disk_search.h"
#include "archive/engine.h"
#include "definitions/build_rows.h"
#include "state/sources.h"

namespace {

// The wait cursor for the length of a scope, however the scope is left.
class BusyCursor {
 public:
  BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~BusyCursor() { QApplication::restoreOverrideCursor(); }
  BusyCursor(const BusyCursor&) = delete;
  BusyCursor& operator=(const BusyCursor&) = delete;
};

// One engine call; the engine reports its own failures and the caller goes on
// with the next call whatever happened.
void Engine(AppState& State, AllUnpacked& List, const std::string& Name, uint8_t Mode) {
  ReadwriteHPIDir(State, &List, Name, Mode);
}

// The archives of Directory, all ".ufo" first, then ".hpi", ".gp*" and ".ccx".
std::vector<std::string> ArchivesOfDirectory(const std::string& Directory) {
  std::vector<std::string> files;
  const std::string listed = Directory.empty() ? "/" : Directory;
  for (const char* pattern : {"*.ufo", "*.hpi", "*.gp*", "*.ccx"})
    for (const std::string& name : ListMatchingIgnoringCase(listed, pattern))
      files.push_back(Directory + "/" + name);
  return files;
}

std::string DirectoryOf(const std::string& Path) {
  const size_t slash = Path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return Path.substr(0, slash);
}

}  // namespace

void TMainForm::Open1Click() {
  if (!SettleEdits()) return;
  const bool wholeDirectory = SearchDirMenu->isChecked();
  std::vector<std::string> chosen;
  const std::string title =
      wholeDirectory ? "Select one packed file and i will select the rest" : "Select packed files to compare..";
  if (!State.dialogs.OpenArchives(title, chosen) || chosen.empty()) return;

  std::vector<std::string> files = chosen;
  if (wholeDirectory) files = ArchivesOfDirectory(DirectoryOf(chosen.front()));
  if (files.empty()) files.push_back(chosen.front());
  OpenArchives(files);
}

void TMainForm::OpenArchives(const std::vector<std::string>& Files) {
  LoadReport report;
  {
    BusyCursor busy;
    report = OpenArchiveFilesReporting(State, Files);
  }

  Close1->setEnabled(true);
  CloseAll1->setEnabled(true);
  UnitNameList->setEnabled(true);
  std::vector<std::string> read;
  for (const std::string& f : Files)
    if (std::find(report.Unreadable.begin(), report.Unreadable.end(), f) == report.Unreadable.end()) read.push_back(f);
  AddRecentArchives(read);
  ReportProblems(report.Problems);
}

void TMainForm::ReportProblems(const std::vector<std::string>& Problems) {
  if (Problems.empty()) return;
  std::string text;
  for (const std::string& p : Problems) text += (text.empty() ? "" : "\n") + p;
  State.dialogs.ShowMessage(text);
}

void TMainForm::SearchDirMenuClick() { SearchDirMenu->setChecked(!SearchDirMenu->isChecked()); }

void TMainForm::IncludeTaFilesClick() {
  RowTable* const views[] = {&State.UnitView, &State.WeaponView, &State.DownloadView, &State.CorpseView};

  if (IncludeTaFiles->isChecked()) {
    // Switching off removes a loose file the edit page may hold typed text of.
    if (EditEntry && EditEntry->Kind == kKindLoose && !SettleEdits()) return;
    CloseEditPageIfShowing(true);
    for (RowTable* view : views)
      BuildRows(State, *view, State.FilesOf(*view), State.MultiSectionOf(*view), brRemoveLoose, nullptr);
    for (RowTable* view : views) Engine(State, State.FilesOf(*view), kNotPacked, rwRemoveArchive);
    State.Figures.Refresh();
    IncludeTaFiles->setChecked(false);
    return;
  }

  bool included;
  {
    BusyCursor busy;
    included = IncludeLooseFiles(State);
  }
  if (!included) {
    State.dialogs.ShowMessage("The ta-dir " + State.TaDir + " path does not exist. See Options-menu to change.");
    return;
  }
  CloseAll1->setEnabled(true);
  UnitNameList->setEnabled(true);
  IncludeTaFiles->setChecked(true);
}

void TMainForm::Close1Click() {
  const std::pair<QWidget*, RowTable*> pages[] = {
      {UnitSheet, &State.UnitView},
      {WeaponSheet, &State.WeaponView},
      {CorpseSheet, &State.CorpseView},
      {DownloadSheet, &State.DownloadView},
  };
  RowTable* selectedIn = nullptr;
  for (const auto& [sheet, view] : pages)
    if (MainPanelControl->currentWidget() == sheet && view->SelectedCount() == 1) {
      selectedIn = view;
      break;
    }
  if (!selectedIn) return;
  UnPacked* entry = selectedIn->RowAt(selectedIn->SelectedIndex()).Data;
  if (!entry) return;
  const std::string archive = entry->ParentFile;

  // Rows go first, while the entries they link to still exist.
  for (RowTable* view : {&State.UnitView, &State.WeaponView, &State.DownloadView, &State.CorpseView})
    BuildRows(State, *view, State.FilesOf(*view), State.MultiSectionOf(*view), brRemoveArchive, entry);
  for (AllUnpacked* list : {&State.UnitFiles, &State.WeaponFiles, &State.CorpseFiles, &State.DownloadFiles})
    Engine(State, *list, archive, rwRemoveArchive);
  State.Figures.Refresh();
  if (archive == kNotPacked) IncludeTaFiles->setChecked(false);
}

void TMainForm::CloseAll1Click() {
  if (!SettleEdits()) return;
  CloseEditPageIfShowing(false);
  // Rows first, then the entries they link to, so that no row ever points at a
  // released entry.
  for (RowTable* view : {&State.UnitView, &State.WeaponView, &State.DownloadView, &State.CorpseView})
    BuildRows(State, *view, State.FilesOf(*view), State.MultiSectionOf(*view), brRemoveAll, nullptr);
  for (AllUnpacked* list : {&State.UnitFiles, &State.WeaponFiles, &State.CorpseFiles, &State.DownloadFiles})
    Engine(State, *list, "", rwRemoveAll);
  State.Figures.Refresh();
  IncludeTaFiles->setChecked(false);
  Close1->setEnabled(false);
  CloseAll1->setEnabled(false);
  UnitNameList->setEnabled(false);
  emit AllClosed();
}
