#pragma once
// The dockable "Problems" list: the findings of kestrava-check's checks over
// what the window has open, with severity (word and icon), ID, file, line,
// definition and message; sorted by a header click, filtered by ID, severity
// and text, counted per severity. A double click opens the finding's file on
// the edit page at its line; broken references are marked in the tables.
#include <QDockWidget>
#include <QFutureWatcher>
#include <atomic>
#include <memory>
#include <vector>

#include "app/table_marks_annotations.h"
#include "problems/check_run.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QStandardItemModel;
class QTreeView;
class TMainForm;
class ProblemFilter;

class ProblemsDock : public QDockWidget {
  Q_OBJECT

 public:
  explicit ProblemsDock(TMainForm& Form);
  ~ProblemsDock() override;

  // Checks the archives opened and the included loose files, off the
  // interface thread; the list shows the findings when it is done.
  void Run();
  // Stops waiting for the check that runs; its findings are not shown.
  void Cancel();
  bool Running() const { return Watcher_ != nullptr; }
  // Whether a check has shown its findings (a Save then checks again).
  bool HasChecked() const { return Checked_; }

  // Opens the finding shown in list row ListRow on the edit page.
  void OpenFinding(int ListRow);
  const std::vector<Problem>& Problems() const { return Shown_.Problems; }
  const TableMarksAnnotations& Marks() const { return Marks_; }

  QTreeView* List = nullptr;
  QLineEdit* TextFilter = nullptr;
  QComboBox* IdFilter = nullptr;
  QComboBox* SeverityFilter = nullptr;
  QLabel* Counts = nullptr;
  QLabel* Status = nullptr;
  QProgressBar* Progress = nullptr;
  QPushButton* CancelButton = nullptr;

 signals:
  // A check ended: its findings are shown, or it was cancelled or failed.
  void Finished();

 private:
  void Show(ProblemCheck Check);
  void Refilter();
  void MarkCells();
  void ViewsChanged();

  TMainForm& Form_;
  QStandardItemModel* Model_ = nullptr;
  ProblemFilter* Filter_ = nullptr;
  TableMarksAnnotations Marks_;
  ProblemCheck Shown_;
  bool Checked_ = false;
  QFutureWatcher<ProblemCheck>* Watcher_ = nullptr;
  std::shared_ptr<std::atomic<bool>> CancelFlag_;
  std::vector<QFuture<ProblemCheck>> Abandoned_;  // cancelled checks still finishing
};
