// The report view draws rows of ordinary cells itself, without the style's
// per-cell painting: the picture must be the one the style's own item
// painting gives, in every state a table can be shown in.
#include <QHeaderView>
#include <QPainter>
#include <QProxyStyle>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QtTest>

#include "app/report_view.h"

namespace {

// The plain style painting of every cell, with the same grid lines and row
// height. With it set, the view leaves all drawing to the tree view.
class StyleDelegate : public QStyledItemDelegate {
 public:
  StyleDelegate(QAbstractItemDelegate* Own, QObject* Parent) : QStyledItemDelegate(Parent), Own_(Own) {}
  QSize sizeHint(const QStyleOptionViewItem& Option, const QModelIndex& Index) const override {
    return Own_->sizeHint(Option, Index);
  }
  void paint(QPainter* P, const QStyleOptionViewItem& Option, const QModelIndex& Index) const override {
    QStyledItemDelegate::paint(P, Option, Index);
    P->save();
    P->setPen(Option.palette.color(QPalette::Midlight));
    const QRect r = Option.rect;
    P->drawLine(r.right(), r.top(), r.right(), r.bottom());
    P->drawLine(r.left(), r.bottom(), r.right(), r.bottom());
    P->restore();
  }

 private:
  QAbstractItemDelegate* Own_;
};

// The union of the regions a widget was asked to paint.
struct PaintedRegion : QObject {
  QRegion Painted;
  bool eventFilter(QObject*, QEvent* Event) override {
    if (Event->type() == QEvent::Paint) Painted += static_cast<QPaintEvent*>(Event)->region();
    return false;
  }
};

// A style that shows the row under the mouse.
class HoverStyle : public QProxyStyle {
 public:
  void drawPrimitive(PrimitiveElement E, const QStyleOption* O, QPainter* P, const QWidget* W) const override {
    if (E == PE_PanelItemViewRow && (O->state & State_MouseOver)) P->fillRect(O->rect, Qt::yellow);
    QProxyStyle::drawPrimitive(E, O, P, W);
  }
};

// Region of the viewport painted (all of it when empty), with the view's own
// painting and with the style's.
std::pair<QImage, QImage> Pictures(ReportView& View, const QRegion& Region = {}) {
  QWidget* port = View.viewport();
  auto picture = [&] {
    QImage image(port->size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::magenta);  // what the painting leaves untouched shows
    port->render(&image, QPoint(), Region.isEmpty() ? QRegion(port->rect()) : Region);
    return image;
  };
  QAbstractItemDelegate* own = View.itemDelegate();
  const QImage mine = picture();
  View.setItemDelegate(new StyleDelegate(own, &View));
  const QImage style = picture();
  View.setItemDelegate(own);
  return {mine, style};
}

bool HasText(const QImage& Image, const QColor& Base) {
  for (int y = 0; y < Image.height(); ++y)
    for (int x = 0; x < Image.width(); ++x) {
      const QRgb p = Image.pixel(x, y);
      if (qGray(p) < qGray(Base.rgb()) - 100) return true;
    }
  return false;
}

// The number of rows of Rect in Image with ink: a pixel that differs from
// the one at Rect's top left by more than half as much as the most
// different one does.
int InkRows(const QImage& Image, const QRect& Rect) {
  const QRgb back = Image.pixel(Rect.topLeft());
  auto distance = [&](QRgb P) {
    return std::max({std::abs(qRed(P) - qRed(back)), std::abs(qGreen(P) - qGreen(back)),
                     std::abs(qBlue(P) - qBlue(back))});
  };
  int most = 0;
  for (int y = Rect.top(); y <= Rect.bottom(); ++y)
    for (int x = Rect.left(); x <= Rect.right(); ++x) most = std::max(most, distance(Image.pixel(x, y)));
  int rows = 0;
  for (int y = Rect.top(); y <= Rect.bottom(); ++y)
    for (int x = Rect.left(); x <= Rect.right(); ++x)
      if (distance(Image.pixel(x, y)) * 2 > most) {
        ++rows;
        break;
      }
  return rows;
}

void FillTable(RowTable& Table, const std::vector<std::vector<std::string>>& Rows) {
  for (const auto& cells : Rows) {
    Row& r = Table.AddRow();
    r.Caption = cells[0];
    r.SetSubItems({cells.begin() + 1, cells.end()});
  }
}

// A table of the columns Name and Value holding Rows.
void NameAndValue(RowTable& Table, const std::vector<std::vector<std::string>>& Rows) {
  for (const char* caption : {"Name", "Value"}) Table.AddColumn(caption, 100);
  FillTable(Table, Rows);
}

bool Shown(ReportView& View, int Width, int Height) {
  View.resize(Width, Height);
  View.show();
  return QTest::qWaitForWindowExposed(&View);
}

}  // namespace

class ReportViewPaintTest : public QObject {
  Q_OBJECT

 private slots:
  void cellsLookAsTheStylePaintsThem() {
    RowTable table;
    for (const char* caption : {"Name", "Text", "More", "Narrow", "Gone", "Last"}) table.AddColumn(caption, 120);
    table.SetColumnWidth(3, 40);  // elided text
    table.SetColumnWidth(4, 0);   // a hidden column
    const std::vector<std::vector<std::string>> rows = {
        {"ARMCOM", "Commander", "12345", "a long text to elide", "hidden", "x"},
        {"AVATAR", "Tower of Valor", "-0.5", "Wide", "", "y"},
        {"office", "fifty flies", "ff", "Tf", "", ""},                             // ligature pairs
        {"Caf\xe9", "na\xefve", "\xa9 1997", "\xbd", "", "\xff"},                  // Latin-1 letters
        {"tab\there", "line\nbreak", std::string("nul\0x", 5), "\x7f\x80", "", ""},  // controls
        {"", "WAVE To", "AVAVAV", "Kerning", "", "z"},
        {"rcnzjh", "LT'A.V", "yo, r.", "{[|]}~", "", ""},
    };
    for (int copy = 0; copy < 4; ++copy) FillTable(table, rows);  // taller than the view
    ReportView view(table, true);
    QVERIFY(Shown(view, 520, 200));
    const QColor base = view.viewport()->palette().color(QPalette::Base);

    // state name, and what sets it up
    const std::vector<std::pair<const char*, std::function<void()>>> states = {
        {"a selected row between plain rows", [&] { table.Select(1); }},
        {"nothing selected", [&] { table.Select(-1); }},
        {"the focus frame on the current row",
         [&] {
           table.Select(2);
           view.setFocus();
           view.selectionModel()->setCurrentIndex(view.model()->index(5, 0), QItemSelectionModel::NoUpdate);
         }},
        {"scrolled down by part of a row and right by part of a column",
         [&] {
           view.verticalScrollBar()->setValue(7);
           view.horizontalScrollBar()->setValue(50);
         }},
        {"a disabled view", [&] { view.setEnabled(false); }},
    };
    for (const auto& [name, setUp] : states) {
      setUp();
      QApplication::processEvents();
      const auto [own, style] = Pictures(view);
      QVERIFY2(own == style, name);
      QVERIFY2(HasText(own, base), name);  // a blank view would match trivially
    }

    // A repaint of part of the view paints that part as the style does and
    // leaves the rest alone.
    view.setEnabled(true);
    const QRegion part = QRegion(30, 10, 200, 25) + QRegion(300, 60, 40, 80);
    const auto [own, style] = Pictures(view, part);
    QVERIFY(own == style);
    QCOMPARE(own.pixel(400, 5), QColor(Qt::magenta).rgba());
  }

  void theRowUnderTheMouseAsTheStyleShowsIt() {
    RowTable table;
    NameAndValue(table, {{"a", "1"}, {"b", "2"}, {"c", "3"}});
    HoverStyle style;
    ReportView view(table, true);
    view.setStyle(&style);
    QVERIFY(Shown(view, 300, 150));
    const QPoint at = view.visualRect(view.model()->index(1, 1)).center();
    QHoverEvent move(QEvent::HoverMove, at, view.viewport()->mapToGlobal(at), QPoint(-1, -1));
    QApplication::sendEvent(view.viewport(), &move);
    const auto [own, painted] = Pictures(view);
    QVERIFY(own == painted);
    QCOMPARE(QColor(own.pixel(at)), QColor(Qt::yellow));  // the style did show it
    QHoverEvent leave(QEvent::HoverLeave, QPoint(-1, -1), QPoint(-1, -1), at);
    QApplication::sendEvent(view.viewport(), &leave);
    const auto [ownAfter, paintedAfter] = Pictures(view);
    QVERIFY(ownAfter == paintedAfter);
    QVERIFY(QColor(ownAfter.pixel(at)) != QColor(Qt::yellow));
  }

  void rowsTakeTheirHeightFromTheFirstAgainAfterASort() {
    // Every row is as high as the first; a sort that brings a one-line row
    // first makes them all one line high again, and back.
    RowTable table;
    NameAndValue(table, {{"b", "two\nlines"}, {"a", "1"}, {"c", "3"}});
    ReportView view(table, true);
    QVERIFY(Shown(view, 300, 200));
    auto height = [&] { return view.visualRect(view.model()->index(1, 0)).top(); };
    const int tall = height();
    table.Sort([](const Row& A, const Row& B) { return A.Caption.compare(B.Caption); });
    QApplication::processEvents();
    QVERIFY(height() < tall);
    table.Sort([](const Row& A, const Row& B) { return B.Caption == "b" ? 1 : A.Caption == "b" ? -1 : 0; });
    QApplication::processEvents();
    QCOMPARE(height(), tall);
  }

  void everyGlyphOfACellShows() {
    // Underscores and the tails of g, j, p, q and y reach the bottom of the
    // font's line: neither the row's edge nor the grid line under it may hide
    // any of them, in a plain row or a selected one.
    RowTable table;
    NameAndValue(table, {{"____", "gjpqy"}, {"____", "gjpqy"}, {"x", "y"}});
    ReportView view(table, true);
    QVERIFY(Shown(view, 300, 150));
    table.Select(1);
    QApplication::processEvents();
    const QImage shown = view.viewport()->grab().toImage();
    for (int column : {0, 1}) {
      const QString text = column == 0 ? "____" : "gjpqy";
      // The text as a painter draws it with room all round.
      QImage free(200, 60, QImage::Format_ARGB32_Premultiplied);
      free.fill(Qt::white);
      {
        QPainter p(&free);
        p.setFont(view.font());
        p.setPen(Qt::black);
        p.drawText(QPointF(10, 30), text);
      }
      const int expected = InkRows(free, free.rect());
      QVERIFY(expected > 0);
      for (int row : {0, 1}) {  // plain, selected
        // The cell less its grid lines, on the right and at the bottom.
        const QRect cell = view.visualRect(view.model()->index(row, column)).adjusted(0, 0, -1, -1);
        QVERIFY2(InkRows(shown, cell) == expected, qPrintable(text + " in row " + QString::number(row)));
      }
    }
  }

  void aSortRepaintsTheNewOrder() {
    // A sort reorders the rows in place: the view shows the new order, as a
    // view made for the sorted table shows it, and keeps no stale selection.
    RowTable table;
    NameAndValue(table, {{"c", "3"}, {"a", "1"}, {"d", "4"}, {"b", "2"}});
    ReportView view(table, true);
    QVERIFY(Shown(view, 300, 150));
    view.setFocus();
    table.Select(2);
    table.Select(-1);  // the current row stays, with its focus frame
    QApplication::processEvents();
    QCOMPARE(view.currentIndex().row(), 2);

    QSignalSpy resets(view.model(), &QAbstractItemModel::modelReset);
    PaintedRegion painted;
    view.viewport()->installEventFilter(&painted);
    table.Sort([](const Row& A, const Row& B) { return A.Caption.compare(B.Caption); });
    QApplication::processEvents();
    QCOMPARE(resets.count(), 0);  // the header keeps its sections
    QVERIFY(painted.Painted.contains(view.visualRect(view.model()->index(3, 1))));  // the screen follows
    QVERIFY(!view.currentIndex().isValid());
    QVERIFY(view.selectionModel()->selectedRows().isEmpty());
    view.clearFocus();  // a view given the focus takes a current row
    QApplication::processEvents();
    const QImage shown = view.viewport()->grab().toImage();

    RowTable sorted;
    NameAndValue(sorted, {{"a", "1"}, {"b", "2"}, {"c", "3"}, {"d", "4"}});
    ReportView fresh(sorted, true);
    QVERIFY(Shown(fresh, 300, 150));
    fresh.clearFocus();
    fresh.selectionModel()->clearCurrentIndex();  // a window shown gives its view a current row
    QApplication::processEvents();
    QVERIFY(shown == fresh.viewport()->grab().toImage());
    QVERIFY(HasText(shown, view.viewport()->palette().color(QPalette::Base)));
  }

  void anEmptyTableThatStaysEmptyKeepsItsLayout() {
    // A batch that leaves an empty table empty (a sort of no rows, as
    // rebuilding a table without files ends) lays nothing out again; rows
    // coming and going still reset the view.
    RowTable table;
    NameAndValue(table, {});
    ReportView view(table, true);
    QVERIFY(Shown(view, 300, 150));
    QSignalSpy resets(view.model(), &QAbstractItemModel::modelReset);
    table.Reorder({});
    QApplication::processEvents();
    QCOMPARE(resets.count(), 0);
    FillTable(table, {{"a", "1"}, {"b", "2"}});
    QCOMPARE(resets.count(), 2);  // one reset per added row, outside a batch
    QCOMPARE(view.model()->rowCount(), 2);
    table.BeginUpdate();
    table.Clear();
    table.EndUpdate();
    QCOMPARE(resets.count(), 3);
    QCOMPARE(view.model()->rowCount(), 0);
    table.Reorder({});
    QCOMPARE(resets.count(), 3);
  }

  void newRowsAreLaidOutForTheirFirstPaint() {
    RowTable table;
    NameAndValue(table, {{"a", "1"}});
    ReportView view(table, true);
    QVERIFY(Shown(view, 300, 150));
    QVERIFY(!view.verticalScrollBar()->isVisible());
    // Rows that no longer fit and new widths, in one batch, as an Open brings them.
    table.BeginUpdate();
    for (int i = 0; i < 40; ++i) FillTable(table, {{"row" + std::to_string(i), std::to_string(i)}});
    table.SetColumnWidth(0, 0);
    table.SetColumnWidth(1, 400);
    table.EndUpdate();
    // Laid out before any event is handled: the scroll bar is there and the
    // widths are the table's.
    QVERIFY(view.verticalScrollBar()->isVisible());
    QVERIFY(view.header()->isSectionHidden(0));
    QCOMPARE(view.header()->sectionSize(1), 400);
    QCOMPARE(view.horizontalScrollBar()->maximum(), 400 - view.viewport()->width());
    // One paint shows it all: nothing of the table is painted again after it.
    view.repaint();
    PaintedRegion painted;
    view.viewport()->installEventFilter(&painted);
    for (int round = 0; round < 3; ++round) QApplication::processEvents();  // timers, then what they post
    QVERIFY2(painted.Painted.isEmpty(), "the table was painted again");
    // A width changed alone is laid out too, once events are handled.
    table.SetColumnWidth(1, 600);
    for (int round = 0; round < 3; ++round) QApplication::processEvents();
    QCOMPARE(view.horizontalScrollBar()->maximum(), 600 - view.viewport()->width());
    // A column the user drags still reaches the table.
    view.header()->resizeSection(1, 90);
    QCOMPARE(table.ColumnWidth(1), 90);
  }
};

QTEST_MAIN(ReportViewPaintTest)
#include "ui_report_view_paint.moc"
