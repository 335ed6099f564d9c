#include "compare/selection_order.h"

#include <QAbstractItemView>
#include <QItemSelectionModel>
#include <algorithm>

SelectionOrder::SelectionOrder(QAbstractItemView* View) : QObject(View), View_(View) {
  connect(View->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          [this](const QItemSelection& Selected, const QItemSelection& Deselected) {
            for (const QModelIndex& i : Deselected.indexes())
              Order_.erase(std::remove(Order_.begin(), Order_.end(), i.row()), Order_.end());
            std::vector<int> added;
            for (const QModelIndex& i : Selected.indexes()) added.push_back(i.row());
            std::sort(added.begin(), added.end());
            added.erase(std::unique(added.begin(), added.end()), added.end());
            for (int r : added)
              if (std::find(Order_.begin(), Order_.end(), r) == Order_.end()) Order_.push_back(r);
          });
}

std::vector<int> SelectionOrder::Rows() const {
  std::vector<int> selected;
  for (const QModelIndex& i : View_->selectionModel()->selectedRows()) selected.push_back(i.row());
  std::sort(selected.begin(), selected.end());
  std::vector<int> rows;
  for (int r : Order_)
    if (std::binary_search(selected.begin(), selected.end(), r)) rows.push_back(r);
  for (int r : selected)
    if (std::find(rows.begin(), rows.end(), r) == rows.end()) rows.push_back(r);
  return rows;
}
