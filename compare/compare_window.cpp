#include "compare/compare_window.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "archive/dialogs.h"

namespace {

QString Latin1(const std::string& Text) { return QString::fromLatin1(Text.data(), static_cast<qsizetype>(Text.size())); }

// Highest and lowest numbers: a green and a red ground, besides their text mark.
const QColor kHighest(0xc8, 0xee, 0xc8), kLowest(0xf6, 0xd0, 0xd0), kComputed(0xdd, 0xe8, 0xf6);

}  // namespace

CompareWindow::CompareWindow(CompareSource Source, const QString& Title, Dialogs& D, QWidget* Parent)
    : QWidget(Parent, Qt::Window), Source_(std::move(Source)), Dialogs_(D) {
  setObjectName("CompareWindow");
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle("Compare " + Title);

  auto* layout = new QVBoxLayout(this);
  auto* bar = new QHBoxLayout;
  OnlyDifferences = new QCheckBox("&Only differences", this);
  OnlyDifferences->setObjectName("OnlyDifferences");
  OnlyDifferences->setChecked(true);
  Copy = new QPushButton("&Copy", this);
  Copy->setObjectName("Copy");
  Copy->setToolTip("Puts the grid as shown on the clipboard, as tab-separated text");
  auto* note = new QLabel("The first column is the baseline.", this);
  bar->addWidget(OnlyDifferences);
  bar->addWidget(note);
  bar->addStretch();
  bar->addWidget(Copy);
  layout->addLayout(bar);

  Grid = new QTableWidget(this);
  Grid->setObjectName("CompareGrid");
  Grid->setAccessibleName("Comparison");
  Grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
  Grid->setAlternatingRowColors(false);
  Grid->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  layout->addWidget(Grid);

  connect(OnlyDifferences, &QCheckBox::toggled, this, [this] { Fill(); });
  connect(Copy, &QPushButton::clicked, this, [this] { Dialogs_.SetClipboardText(CompareGridTsv(Shown_)); });
  Fill();
  resize(std::min(1000, 220 + 170 * static_cast<int>(Source_.Headers.size())), 560);
}

void CompareWindow::Fill() {
  Shown_ = MakeCompareGrid(Source_, OnlyDifferences->isChecked());
  Grid->clear();
  Grid->setColumnCount(static_cast<int>(Shown_.Headers.size()));
  Grid->setRowCount(static_cast<int>(Shown_.Lines.size()));
  QStringList headers;
  for (size_t d = 0; d < Shown_.Headers.size(); ++d)
    headers << Latin1(Shown_.Headers[d]) + (d == 0 ? " (baseline)" : "");
  Grid->setHorizontalHeaderLabels(headers);
  QStringList keys;
  for (int r = 0; r < Grid->rowCount(); ++r) {
    const CompareLine& line = Shown_.Lines[static_cast<size_t>(r)];
    keys << Latin1(line.Key);
    for (int c = 0; c < Grid->columnCount() && c < static_cast<int>(line.Cells.size()); ++c) {
      const CompareCell& cell = line.Cells[static_cast<size_t>(c)];
      auto* item = new QTableWidgetItem(Latin1(cell.Text));
      if (cell.Highest) item->setBackground(kHighest);
      else if (cell.Lowest) item->setBackground(kLowest);
      Grid->setItem(r, c, item);
    }
  }
  Grid->setVerticalHeaderLabels(keys);
  for (int r = 0; r < Grid->rowCount(); ++r)
    if (Shown_.Lines[static_cast<size_t>(r)].Computed) {
      auto* header = new QTableWidgetItem(keys[r]);
      header->setBackground(kComputed);
      header->setToolTip("Computed from the loaded definitions; not a key of them");
      Grid->setVerticalHeaderItem(r, header);
    }
  // Long texts (a file's path) are cut rather than pushing the other
  // definitions out of sight; Copy and a screen reader get them whole.
  Grid->resizeColumnsToContents();
  for (int c = 0; c < Grid->columnCount(); ++c) Grid->setColumnWidth(c, std::min(Grid->columnWidth(c), 260));
}
