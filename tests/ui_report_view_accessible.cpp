// The report view as assistive technology reads it: cells read through Qt's
// accessibility interfaces, as a screen reader asks for them over AT-SPI. Each
// cell read holds a persistent index of the model, so a sort must not work
// through them, and the model's indexes must spread over Qt's hash of them;
// the cells read, before or after a sort, hold the sorted texts.
#include <QAccessible>
#include <QtTest>

#include "app/report_view.h"

namespace {

constexpr int kRows = 60, kColumns = 12;

// Row R before the sort: caption "U<R>", a Value column holding (R * 37) % 60
// (each of 0..59 once), then texts naming the row and column.
std::vector<std::string> RowBeforeSort(int R) {
  std::vector<std::string> cells = {"U" + std::to_string(R), std::to_string(R * 37 % kRows)};
  for (int c = 2; c < kColumns; ++c) cells.push_back("t" + std::to_string(R) + "_" + std::to_string(c));
  return cells;
}

}  // namespace

class ReportViewAccessibleTest : public QObject {
  Q_OBJECT

 private slots:
  void cellsReadHoldTheSortedTexts() {
    RowTable table;
    table.AddColumn("Name", 80);
    table.AddColumn("Value", 60);
    for (int c = 2; c < kColumns; ++c) table.AddColumn("C" + std::to_string(c), 60);
    for (int r = 0; r < kRows; ++r) {
      const std::vector<std::string> cells = RowBeforeSort(r);
      Row& row = table.AddRow();
      row.Caption = cells[0];
      row.SetSubItems({cells.begin() + 1, cells.end()});
    }
    ReportView view(table, true);
    view.resize(600, 300);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    table.Select(3);
    QAccessibleTableInterface* cells = QAccessible::queryAccessibleInterface(&view)->tableInterface();
    QVERIFY(cells);
    QCOMPARE(cells->rowCount(), kRows);
    QCOMPARE(cells->columnCount(), kColumns);
    std::vector<QAccessible::Id> before;  // every cell, read as a screen reader reads the table
    for (int r = 0; r < kRows; ++r)
      for (int c = 0; c < kColumns; ++c) {
        QAccessibleInterface* cell = cells->cellAt(r, c);
        QVERIFY(cell);
        QCOMPARE(cell->text(QAccessible::Name), QString::fromStdString(RowBeforeSort(r)[static_cast<size_t>(c)]));
        before.push_back(QAccessible::uniqueId(cell));
      }

    table.Sort([](const Row& A, const Row& B) {
      return std::stoi(std::string(A.Cell(1))) - std::stoi(std::string(B.Cell(1)));
    });
    QApplication::processEvents();

    // Row R now holds the value R, from the row that was 13 * R % 60. A
    // cell read before the sort is still there and reads its new text, as a
    // cell read afresh does.
    for (int r = 0; r < kRows; ++r) {
      const std::vector<std::string> expected = RowBeforeSort(r * 13 % kRows);
      QCOMPARE(expected[1], std::to_string(r));
      for (int c = 0; c < kColumns; ++c) {
        const QString text = QString::fromStdString(expected[static_cast<size_t>(c)]);
        QAccessibleInterface* old = QAccessible::accessibleInterface(before[static_cast<size_t>(r * kColumns + c)]);
        QVERIFY(old);
        QCOMPARE(old->text(QAccessible::Name), text);
        QCOMPARE(cells->cellAt(r, c)->text(QAccessible::Name), text);
      }
    }
    // The selection stays with its row, and the view shows it where it went.
    QCOMPARE(table.SelectedIndex(), 3 * 37 % kRows);
    QCOMPARE(cells->selectedRows(), QList<int>{table.SelectedIndex()});
  }

  void theCellsOfAWideTableSpreadOverAHash() {
    // Qt keeps the persistent indexes (one for every cell an assistive tool
    // has read) in a hash with open addressing. Indexes whose hashes crowd
    // together make every lookup walk the crowd, and a sort or a read then
    // costs in proportion to all cells read. A table of 297 rows by 104
    // columns, put into such a hash of twice its size, must take no more
    // than a few probes a cell.
    RowTable table;
    for (int c = 0; c < 104; ++c) table.AddColumn("C" + std::to_string(c), 40);
    for (int r = 0; r < 297; ++r) table.AddRow().Caption = "U";
    RowTableModel model(table);
    const size_t count = 297 * 104;
    size_t size = 1;
    while (size < 2 * count) size *= 2;
    std::vector<bool> used(size);
    size_t probes = 0;
    for (int r = 0; r < 297; ++r)
      for (int c = 0; c < 104; ++c) {
        size_t bucket = qHash(model.index(r, c)) & (size - 1);
        for (++probes; used[bucket]; ++probes) bucket = (bucket + 1) & (size - 1);
        used[bucket] = true;
      }
    QVERIFY2(probes < 4 * count, qPrintable(QString::number(probes) + " probes"));
  }
};

QTEST_MAIN(ReportViewAccessibleTest)
#include "ui_report_view_accessible.moc"
