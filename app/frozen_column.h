#pragma once
// The caption column of a report table kept in view while the table scrolls
// right: a second tree view over the left edge of the table, showing only
// column 0 of the same model and sharing its selection. It appears only once
// the table is scrolled right, so an unscrolled table looks as before, and
// its clicks, double clicks and header clicks are the table's own.
#include <QTreeView>

class ReportView;

class FrozenColumn : public QTreeView {
  Q_OBJECT

 public:
  explicit FrozenColumn(ReportView* View);

  // Places and shows or hides the column as the table now stands.
  void Follow();

 protected:
  void mousePressEvent(QMouseEvent* Event) override;
  void mouseReleaseEvent(QMouseEvent* Event) override;
  void mouseDoubleClickEvent(QMouseEvent* Event) override;
  void paintEvent(QPaintEvent* Event) override;
  bool eventFilter(QObject* Watched, QEvent* Event) override;

 private:
  // Column 0 alone, whatever columns the model has now.
  void ShowCaptionOnly();

  ReportView* View_;
};
