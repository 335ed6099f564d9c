// The report view draws ordinary cells itself, without the style's text
// layout: the picture must be the one the style's own item painting gives.
#include <QPainter>
#include <QStyledItemDelegate>
#include <QtTest>

#include "app/report_view.h"

namespace {

// The plain style painting of every cell, with the same grid lines.
class StyleDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* P, const QStyleOptionViewItem& Option, const QModelIndex& Index) const override {
    QStyledItemDelegate::paint(P, Option, Index);
    P->save();
    P->setPen(Option.palette.color(QPalette::Midlight));
    const QRect r = Option.rect;
    P->drawLine(r.right(), r.top(), r.right(), r.bottom());
    P->drawLine(r.left(), r.bottom(), r.right(), r.bottom());
    P->restore();
  }
};

}  // namespace

class ReportViewPaintTest : public QObject {
  Q_OBJECT

 private slots:
  void cellsLookAsTheStylePaintsThem() {
    RowTable table;
    for (const char* caption : {"Name", "Text", "More", "Narrow"}) table.AddColumn(caption, 120);
    table.SetColumnWidth(3, 40);  // elided text
    const std::vector<std::vector<std::string>> rows = {
        {"ARMCOM", "Commander", "12345", "a long text to elide"},
        {"AVATAR", "Tower of Valor", "-0.5", "Wide"},
        {"office", "fifty flies", "ff", "Tf"},                             // ligature pairs
        {"Caf\xe9", "na\xefve", "\xa9 1997", "\xbd"},                      // Latin-1 letters
        {"tab\there", "line\nbreak", std::string("nul\0x", 5), "\x7f\x80"},  // controls
        {"", "WAVE To", "AVAVAV", "Kerning"},
        {"rcnzjh", "LT'A.V", "yo, r.", "{[|]}~"},
    };
    for (const auto& cells : rows) {
      Row& r = table.AddRow();
      r.Caption = cells[0];
      r.SetSubItems({cells.begin() + 1, cells.end()});
    }
    ReportView view(table, true);
    view.resize(520, 200);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    table.Select(1);  // a selected row goes through the style in both pictures
    const QImage own = view.viewport()->grab().toImage();
    view.setItemDelegate(new StyleDelegate(&view));
    const QImage style = view.viewport()->grab().toImage();
    QCOMPARE(own.size(), style.size());
    QVERIFY(own == style);
    // The picture holds text at all: a blank view would match trivially.
    QImage blank(own.size(), own.format());
    blank.fill(view.viewport()->palette().color(QPalette::Base));
    QVERIFY(own != blank);
  }
};

QTEST_MAIN(ReportViewPaintTest)
#include "ui_report_view_paint.moc"
