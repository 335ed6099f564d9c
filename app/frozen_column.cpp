#include "app/frozen_column.h"

#include <QEvent>
#include <QHeaderView>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>

#include "app/report_view.h"

namespace {

// Cells as the table draws them: the style's cell, then the right and bottom
// grid lines, at the table's own row height.
class FrozenDelegate : public QStyledItemDelegate {
 public:
  explicit FrozenDelegate(ReportView* View, QObject* Parent) : QStyledItemDelegate(Parent), View_(View) {}

  void paint(QPainter* P, const QStyleOptionViewItem& Option, const QModelIndex& Index) const override {
    QStyledItemDelegate::paint(P, Option, Index);
    const QRect r = Option.rect;
    const QColor grid = Option.palette.color(QPalette::Midlight);
    P->fillRect(QRect(r.right(), r.top(), 1, r.height()), grid);
    P->fillRect(QRect(r.left(), r.bottom(), r.width(), 1), grid);
  }
  QSize sizeHint(const QStyleOptionViewItem& Option, const QModelIndex& Index) const override {
    QSize size = QStyledItemDelegate::sizeHint(Option, Index);
    size.setHeight(View_->RowHeight());
    return size;
  }

 private:
  ReportView* View_;
};

}  // namespace

FrozenColumn::FrozenColumn(ReportView* View) : QTreeView(View), View_(View) {
  setObjectName(View->objectName() + "Frozen");
  setModel(View->model());
  setSelectionModel(View->selectionModel());
  setItemDelegate(new FrozenDelegate(View, this));
  setRootIsDecorated(false);
  setItemsExpandable(false);
  setUniformRowHeights(true);
  setAllColumnsShowFocus(true);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(View->selectionMode());
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  // The keyboard stays with the table; a click here gives the table the focus.
  setFocusPolicy(Qt::NoFocus);
  setFrameShape(QFrame::NoFrame);
  setAutoFillBackground(true);
  header()->setStretchLastSection(false);
  header()->setSectionsMovable(false);
  header()->setSectionResizeMode(QHeaderView::Fixed);
  header()->setSectionsClickable(true);
  header()->setDefaultAlignment(View->header()->defaultAlignment());
  hide();

  QHeaderView* main = View->header();
  connect(header(), &QHeaderView::sectionClicked, View, [View](int Section) { emit View->ColumnClicked(Section); });
  connect(main, &QHeaderView::sortIndicatorChanged, this, [this](int Section, Qt::SortOrder Order) {
    header()->setSortIndicatorShown(View_->header()->isSortIndicatorShown() && Section == 0);
    header()->setSortIndicator(Section == 0 ? 0 : -1, Order);
  });
  connect(main, &QHeaderView::sectionResized, this, [this] { Follow(); });
  // Rows reordered in place (a sort) change no index, so the model says
  // nothing; the table says so instead.
  connect(View, &ReportView::RowsShown, this, [this] { viewport()->update(); });
  connect(View->horizontalScrollBar(), &QScrollBar::valueChanged, this, [this] { Follow(); });
  connect(View->horizontalScrollBar(), &QScrollBar::rangeChanged, this, [this] { Follow(); });
  // The two views scroll their rows together.
  connect(View->verticalScrollBar(), &QScrollBar::valueChanged, verticalScrollBar(), &QScrollBar::setValue);
  connect(verticalScrollBar(), &QScrollBar::valueChanged, View->verticalScrollBar(), &QScrollBar::setValue);
  QAbstractItemModel* m = View->model();
  connect(m, &QAbstractItemModel::modelReset, this, [this] { ShowCaptionOnly(); });
  connect(m, &QAbstractItemModel::columnsInserted, this, [this] { ShowCaptionOnly(); });
  connect(m, &QAbstractItemModel::layoutChanged, this, [this] { ShowCaptionOnly(); });
  View->installEventFilter(this);
  ShowCaptionOnly();
}

void FrozenColumn::ShowCaptionOnly() {
  for (int c = 1; c < model()->columnCount(); ++c) setColumnHidden(c, true);
  setColumnHidden(0, false);
  Follow();
}

void FrozenColumn::Follow() {
  QHeaderView* main = View_->header();
  const bool scrolled = View_->horizontalScrollBar()->value() > 0;
  if (!scrolled || main->isSectionHidden(0) || main->sectionSize(0) <= 0 || model()->columnCount() == 0) {
    hide();
    return;
  }
  header()->resizeSection(0, main->sectionSize(0));
  header()->setFixedHeight(main->height());
  if (palette() != View_->palette()) setPalette(View_->palette());
  if (font() != View_->font()) setFont(View_->font());
  const QRect port = View_->viewport()->geometry();
  setGeometry(port.left(), port.top() - main->height(), main->sectionSize(0), port.height() + main->height());
  verticalScrollBar()->setValue(View_->verticalScrollBar()->value());
  show();
  raise();
}

bool FrozenColumn::eventFilter(QObject* Watched, QEvent* Event) {
  if (Watched == View_ && (Event->type() == QEvent::Resize || Event->type() == QEvent::PaletteChange ||
                           Event->type() == QEvent::FontChange))
    Follow();
  return QTreeView::eventFilter(Watched, Event);
}

void FrozenColumn::paintEvent(QPaintEvent* Event) {
  // The table shows its selection in its own colours, which change with its focus.
  if (palette() != View_->palette()) setPalette(View_->palette());
  QTreeView::paintEvent(Event);
}

void FrozenColumn::mousePressEvent(QMouseEvent* Event) {
  View_->setFocus(Qt::MouseFocusReason);
  QTreeView::mousePressEvent(Event);
}

void FrozenColumn::mouseReleaseEvent(QMouseEvent* Event) {
  QTreeView::mouseReleaseEvent(Event);
  if (Event->button() == Qt::LeftButton) emit View_->Clicked();
}

void FrozenColumn::mouseDoubleClickEvent(QMouseEvent* Event) {
  QTreeView::mouseDoubleClickEvent(Event);
  if (Event->button() == Qt::LeftButton) emit View_->DoubleClicked();
}
