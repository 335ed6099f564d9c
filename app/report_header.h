#pragma once
// The column header of the report tables.
#include <QHeaderView>

// A horizontal header whose size hint measures two captions, not two hundred.
// Its captions are one line each, so they share one height, except that a
// caption with a font of its own (a computed column's, in italics) may differ:
// the first shown caption of each kind gives the height. Qt's own hint
// measures up to two hundred sections whenever the columns change, which an
// Open of a wide table pays for several times over. The tree view takes only
// the hint's height; its width is the wider of the two captions measured.
class ReportHeader : public QHeaderView {
 public:
  explicit ReportHeader(QWidget* Parent) : QHeaderView(Qt::Horizontal, Parent) {}
  QSize sizeHint() const override;
};
