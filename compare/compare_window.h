#pragma once
// The Compare window: the selected definitions side by side, worked out by
// the core (mod/compare_grid.h) when the window opens, so it stays as it was
// whatever the tables do afterwards.
#include <QWidget>

#include "mod/compare_grid.h"

class Dialogs;
class QCheckBox;
class QPushButton;
class QTableWidget;

class CompareWindow : public QWidget {
  Q_OBJECT

 public:
  // Source: what is compared; Title names the table.
  CompareWindow(CompareSource Source, const QString& Title, Dialogs& D, QWidget* Parent = nullptr);

  QTableWidget* Grid = nullptr;
  QCheckBox* OnlyDifferences = nullptr;
  QPushButton* Copy = nullptr;

  const CompareGrid& Shown() const { return Shown_; }

 private:
  void Fill();

  CompareSource Source_;
  CompareGrid Shown_;
  Dialogs& Dialogs_;
};
