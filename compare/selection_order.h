#pragma once
// The order in which the rows of a view were selected: the first one
// selected is the baseline of a comparison.
#include <QObject>
#include <vector>

class QAbstractItemView;

class SelectionOrder : public QObject {
  Q_OBJECT

 public:
  // Follows View's selection from now on; a child of View.
  explicit SelectionOrder(QAbstractItemView* View);
  // The rows selected now, in the order they were selected; rows whose
  // selection went unseen (a reset of the view) follow in row order.
  std::vector<int> Rows() const;

 private:
  QAbstractItemView* View_;
  std::vector<int> Order_;
};
