#include "changes/changes_dock.h"

#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/go_to_definition.h"
#include "app/latin1.h"
#include "app/main_form.h"
#include "app/report_view.h"
#include "mod/diff_source.h"
#include "state/open_sources.h"

namespace {

constexpr int kDifferenceRole = Qt::UserRole + 1;  // the difference's index, on definition items

const char* ChangeWord(DefinitionDifference::Change C) {
  switch (C) {
    case DefinitionDifference::Change::Added: return "added";
    case DefinitionDifference::Change::Removed: return "removed";
    case DefinitionDifference::Change::Changed: return "changed";
  }
  return "";
}

bool KindOfName(const std::string& Table, TableKind& Kind) {
  if (Table == "units") Kind = TableKind::Units;
  else if (Table == "weapons") Kind = TableKind::Weapons;
  else if (Table == "corpses") Kind = TableKind::Corpses;
  else if (Table == "download") Kind = TableKind::Download;
  else return false;
  return true;
}

std::string PlaceText(const std::optional<DefinitionPlace>& P) {
  if (!P) return "";
  const std::string at = P->Path + ":" + std::to_string(P->Line);
  return P->Archive.empty() ? at : at + " in " + P->Archive;
}

// The row identity of the new side of a difference.
bool NewDefinition(const AppState& State, const DefinitionDifference& D, TableKind& Kind, DefinitionRef& Ref) {
  if (!D.New || !KindOfName(D.Table, Kind)) return false;
  Ref.Archive = D.New->Archive;
  Ref.File = D.New->Archive.empty() ? DiskPathInGameDirectory(State, D.New->Path) : D.New->Path;
  Ref.Name = D.Name;
  Ref.ByMenuAndUnit = Kind == TableKind::Download;
  return true;
}

}  // namespace

ChangesDock::ChangesDock(TMainForm& Form) : QDockWidget("Changes", &Form), Form_(Form), Marks_(Form.State) {
  setObjectName("ChangesDock");
  auto* body = new QWidget(this);
  auto* layout = new QVBoxLayout(body);
  layout->setContentsMargins(4, 4, 4, 4);
  Summary = new QLabel("No comparison.", body);
  Summary->setObjectName("ChangesSummary");
  Summary->setWordWrap(true);
  Summary->setTextInteractionFlags(Qt::TextSelectableByMouse);
  layout->addWidget(Summary);
  List = new QTreeWidget(body);
  List->setObjectName("ChangesList");
  List->setAccessibleName("Changes");
  List->setColumnCount(3);
  List->setHeaderLabels({"Definition", "Old", "New"});
  List->setUniformRowHeights(true);
  List->header()->setStretchLastSection(true);
  layout->addWidget(List, 1);
  setWidget(body);

  connect(List, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* Item) { SelectRowOf(Item); });
  connect(&Form_, &TMainForm::EntrySaved, this, [this] {
    if (Comparing_) Recompare();
  });
  connect(&Form_, &TMainForm::AllClosed, this, [this] { End(); });
}

ChangesDock::~ChangesDock() {
  for (ReportView* v : {Form_.UnitView, Form_.WeaponView, Form_.CorpseView, Form_.DownloadView})
    v->RemoveAnnotations(&Marks_);
}

void ChangesDock::Compare() {
  std::string source;
  if (!Form_.State.dialogs.ChooseVersion("Compare with Version", source) || source.empty()) return;
  std::vector<DiffFile> files;
  std::string why;
  {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool read = ReadSourceFiles(source, files, why);
    QApplication::restoreOverrideCursor();
    if (!read) {
      Form_.State.dialogs.ShowMessage("Cannot read " + source + ": " + why);
      return;
    }
  }
  OldSource_ = source;
  Old_ = std::move(files);
  Comparing_ = true;
  Recompare();
  show();
  raise();
  emit ComparingChanged(true);
}

void ChangesDock::Recompare() {
  if (!Comparing_) return;
  Differences_ = CompareSources(Old_, OpenDefinitionFiles(Form_.State), {});
  Fill();
  MarkCells();
}

void ChangesDock::End() {
  const bool was = Comparing_;
  Comparing_ = false;
  Old_.clear();
  OldSource_.clear();
  Differences_.clear();
  List->clear();
  Summary->setText("No comparison.");
  MarkCells();
  if (was) emit ComparingChanged(false);
}

void ChangesDock::Fill() {
  List->clear();
  int added = 0, removed = 0, changed = 0;
  QTreeWidgetItem* group = nullptr;
  for (size_t i = 0; i < Differences_.size(); ++i) {
    const DefinitionDifference& d = Differences_[i];
    if (!group || group->text(0) != QString::fromStdString(d.Table)) {
      group = new QTreeWidgetItem(List, {QString::fromStdString(d.Table)});
      group->setFirstColumnSpanned(true);
    }
    auto* item = new QTreeWidgetItem(
        group, {QString::fromLatin1(ChangeWord(d.Kind)) + ' ' + Latin1(d.Name), Latin1(PlaceText(d.Old)),
                Latin1(PlaceText(d.New))});
    item->setData(0, kDifferenceRole, static_cast<int>(i));
    switch (d.Kind) {
      case DefinitionDifference::Change::Added: ++added; break;
      case DefinitionDifference::Change::Removed: ++removed; break;
      case DefinitionDifference::Change::Changed: ++changed; break;
    }
    for (const KeyDifference& k : d.Keys)
      new QTreeWidgetItem(item, {Latin1(k.Key), k.Old ? Latin1(*k.Old) : QStringLiteral("(none)"),
                                 k.New ? Latin1(*k.New) : QStringLiteral("(none)")});
  }
  List->expandAll();
  for (int c = 0; c < 2; ++c) List->resizeColumnToContents(c);
  Summary->setText(Latin1("Compared with " + OldSource_ + ": ") + QString::number(Differences_.size()) +
                   " definitions differ: " + QString::number(added) + " added, " + QString::number(removed) +
                   " removed, " + QString::number(changed) + " changed");
}

void ChangesDock::MarkCells() {
  Marks_.Marks.Clear();
  for (const DefinitionDifference& d : Differences_) {
    TableKind kind;
    DefinitionRef ref;
    if (!NewDefinition(Form_.State, d, kind, ref)) continue;
    if (d.Kind == DefinitionDifference::Change::Added)
      Marks_.Marks.Add(kind, ref, "", MarkKind::Added, "added since " + OldSource_);
    for (const KeyDifference& k : d.Keys)
      Marks_.Marks.Add(kind, ref, k.Key, MarkKind::Changed, "was " + (k.Old ? *k.Old : std::string("(none)")));
  }
  for (ReportView* v : {Form_.UnitView, Form_.WeaponView, Form_.CorpseView, Form_.DownloadView}) {
    if (Marks_.Marks.Empty())
      v->RemoveAnnotations(&Marks_);
    else
      v->AddAnnotations(&Marks_);
  }
}

void ChangesDock::SelectRowOf(QTreeWidgetItem* Item) {
  while (Item && !Item->data(0, kDifferenceRole).isValid()) Item = Item->parent();
  if (!Item) return;
  const size_t index = static_cast<size_t>(Item->data(0, kDifferenceRole).toInt());
  if (index >= Differences_.size()) return;
  TableKind kind;
  DefinitionRef ref;
  if (!NewDefinition(Form_.State, Differences_[index], kind, ref)) return;  // removed: no row
  RowTable& table = TableOfKind(Form_.State, kind);
  ShowTableRow(Form_, table, FindDefinitionRow(kind, table, ref));
}
