// Fitting columns in a window: the widths come from the view's measure of
// each cell, and views in different fonts measure each in its own.
#include <QHeaderView>
#include <QtTest>
#include <string>
#include <vector>

#include "app/report_view.h"

class ReportViewFitTest : public QObject {
  Q_OBJECT

 private slots:
  void fittedWidthsAreTheViewsMeasureOfTheWidestCell() {
    RowTable table;
    for (const char* caption : {"Name", "Text", "Gone", "Last"}) table.AddColumn(caption, 50);
    table.SetColumnWidth(2, 0);  // hidden: stays hidden
    const std::vector<std::vector<std::string>> rows = {
        {"iiiiiiii", "WWWW", "hidden text, long enough to widen anything", "1"},
        {"mmmm", "\xC4\xD6\xDC\xE9\xF1\xFF", "", ""},
        {"", "a b\tc", "x", "12345678901234567890"},
        {"Wide caption cell", "", "", "."},
    };
    for (const auto& cells : rows) {
      Row& r = table.AddRow();
      r.Caption = cells[0];
      r.SetSubItems({cells.begin() + 1, cells.end()});
    }
    ReportView view(table, false);
    table.FitShownColumnsToContents();
    for (int c : {0, 1, 3}) {
      int expected = view.TextWidth(table.ColumnCaption(c), true);
      for (const auto& cells : rows)
        if (!cells[static_cast<size_t>(c)].empty())
          expected = std::max(expected, view.TextWidth(cells[static_cast<size_t>(c)], false));
      QCOMPARE(table.ColumnWidth(c), expected);
    }
    QCOMPARE(table.ColumnWidth(2), 0);
    // The widest cell decides, not the longest: eight i are narrower than four m.
    QVERIFY(view.TextWidth("mmmm", false) > view.TextWidth("iiiiiiii", false));
    QCOMPARE(table.ColumnWidth(0), view.TextWidth("Wide caption cell", false));
  }

  void aLargeTableFitsAsASmallOne() {
    // Thousands of rows are fitted in parts: each column's widest cell,
    // wherever it lies, still decides.
    RowTable table;
    for (const char* caption : {"A", "B", "C"}) table.AddColumn(caption, 50);
    const int rows = 3000;
    for (int i = 0; i < rows; ++i) {
      Row& r = table.AddRow();
      r.Caption = i == 10 ? "WWWWWWWWWW" : "ii";
      r.SetSubItems({i == rows - 3 ? "MMMMMMMMMMMM" : "1", i == rows / 2 ? "@@@@@@@@" : "x"});
    }
    ReportView view(table, false);
    table.FitShownColumnsToContents();
    QCOMPARE(table.ColumnWidth(0), view.TextWidth("WWWWWWWWWW", false));
    QCOMPARE(table.ColumnWidth(1), view.TextWidth("MMMMMMMMMMMM", false));
    QCOMPARE(table.ColumnWidth(2), view.TextWidth("@@@@@@@@", false));
  }

  void headerIsAsHighAsQtsOwnWouldBe() {
    // The header measures two captions for its height; Qt's own header,
    // measuring them all, must come to the same, whatever the font, the
    // hidden columns and the computed columns (captions in italics).
    RowTable table;
    table.AddColumn("UnitName", 50);
    table.AddColumn("Side", 50);
    table.AddColumn("DPS", 50, true);
    table.AddColumn("Range", 50, true);
    ReportView view(table, false);
    QHeaderView qts(Qt::Horizontal);
    qts.setModel(view.model());
    auto same = [&] {
      for (int i = 0; i < table.ColumnCount(); ++i) qts.setSectionHidden(i, view.header()->isSectionHidden(i));
      return view.header()->sizeHint().height() == qts.sizeHint().height();
    };
    QVERIFY(view.header()->sizeHint().height() > 0);
    QVERIFY(same());
    QFont tall = view.header()->font();
    tall.setPointSizeF(tall.pointSizeF() * 2.5);
    view.header()->setFont(tall);
    qts.setFont(tall);
    QVERIFY(same());
    view.header()->setSectionHidden(0, true);
    QVERIFY(same());
    for (int i = 1; i < table.ColumnCount(); ++i) view.header()->setSectionHidden(i, true);
    QVERIFY(same());
    QCOMPARE(view.header()->sizeHint().height(), 0);
  }

  void viewsInAnotherFontMeasureInIt() {
    RowTable small, large;
    ReportView a(small, false), b(large, false), c(small, false);
    QFont bigger = a.font();
    bigger.setPointSizeF(a.font().pointSizeF() * 3);
    b.setFont(bigger);
    QVERIFY(b.TextWidth("WWWW", false) > 2 * a.TextWidth("WWWW", false));
    QVERIFY(b.LineHeight(b.font()) > 2 * a.LineHeight(a.font()));
    QVERIFY(b.CellWidthBound(4) > 2 * a.CellWidthBound(4));
    // The same font measures the same in every view, whichever measured first.
    QCOMPARE(c.TextWidth("WWWW", false), a.TextWidth("WWWW", false));
    b.setFont(a.font());
    QCOMPARE(b.TextWidth("WWWW", false), a.TextWidth("WWWW", false));
  }
};

QTEST_MAIN(ReportViewFitTest)
#include "ui_report_view_fit.moc"
