#pragma once
// The dockable "Changes" list: what open definitions differ from an earlier
// version of the mod (an archive or a directory), as kestrava-diff reports
// it: definitions added, removed and changed, with their keys old -> new.
// Changed cells are marked in the tables ("was X"), as are rows added since.
// A double click on a definition selects its row.
#include <QDockWidget>
#include <string>
#include <vector>

#include "app/table_marks_annotations.h"
#include "mod/diff_compare.h"

class QLabel;
class QTreeWidget;
class QTreeWidgetItem;
class TMainForm;

class ChangesDock : public QDockWidget {
  Q_OBJECT

 public:
  explicit ChangesDock(TMainForm& Form);
  ~ChangesDock() override;

  // "Compare with Version...": asks for the old side, reads it and compares.
  void Compare();
  // Compares the old side read last with what is open now again.
  void Recompare();
  // Ends the comparison: the list and the marks go.
  void End();
  bool Comparing() const { return Comparing_; }
  const std::vector<DefinitionDifference>& Differences() const { return Differences_; }

  // Selects the row of the definition of a list item (or of its key's).
  void SelectRowOf(QTreeWidgetItem* Item);

  QTreeWidget* List = nullptr;
  QLabel* Summary = nullptr;

 signals:
  void ComparingChanged(bool Comparing);

 private:
  void Fill();
  void MarkCells();

  TMainForm& Form_;
  TableMarksAnnotations Marks_;
  std::string OldSource_;
  std::vector<DiffFile> Old_;
  std::vector<DefinitionDifference> Differences_;
  bool Comparing_ = false;
};
