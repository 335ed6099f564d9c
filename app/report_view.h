#pragma once
// A report-style table: a tree view without branches over a model that reads the
// program's RowTable directly, so no widget or item exists per cell. The view
// is the table's observer: row, column and selection changes of the core reach
// it once per batch update, and the core asks it for text widths and scrolling.
#include <QAbstractTableModel>
#include <QRawFont>
#include <QTreeView>
#include <array>
#include <string>
#include <unordered_map>
#include <vector>

#include "definitions/row_table.h"

// The rows and columns of one RowTable as Qt sees them. The counts are taken
// when the view is told of a change, so a repaint in the middle of a core
// batch (a message box shown while rows are being built) never reads past the
// table: cells that no longer exist read as empty.
class RowTableModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  explicit RowTableModel(RowTable& Table, QObject* Parent = nullptr);

  int rowCount(const QModelIndex& Parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& Parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& Index, int Role = Qt::DisplayRole) const override;
  QVariant headerData(int Section, Qt::Orientation Orientation, int Role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& Index) const override;

  // Takes the table's current row and column counts (a model reset).
  void Reload();

 private:
  RowTable& Table_;
  int Rows_ = 0;
  int Columns_ = 0;
};

class ReportView : public QTreeView, public TableObserver {
  Q_OBJECT

 public:
  // KeepSelection: the selected row stays highlighted while the view has no focus.
  ReportView(RowTable& Table, bool KeepSelection, QWidget* Parent = nullptr);
  ~ReportView() override;

  RowTable& Table() const { return Table_; }
  RowTableModel* Model() const { return Model_; }
  // The text of a cell as the model shows it; empty for a cell that does not exist.
  std::string_view CellText(int RowIndex, int Column) const;
  // Whether Text surely fits Width pixels in the cell font.
  bool CellTextFits(std::string_view Text, int Width);
  // Draws Text in the cell font with its baseline at Origin, glyph by glyph
  // from a table of the printable ASCII bytes and their pair kerning, without
  // shaping the text. False (nothing drawn) for text it does not handle.
  bool DrawCellText(QPainter* P, QPointF Origin, std::string_view Text);

  // TableObserver
  void RowsChanged() override;
  void ColumnsChanged() override;
  void SelectionChanged() override;
  int TextWidth(std::string_view Text, bool Header) override;
  int CellWidthBound(size_t Length) override;
  int TopIndex() override;
  void ScrollBy(int Pixels) override;
  int RowHeight() override;

 signals:
  void ColumnClicked(int Column);
  void Clicked();
  void DoubleClicked();

 protected:
  void mouseReleaseEvent(QMouseEvent* Event) override;
  void mouseDoubleClickEvent(QMouseEvent* Event) override;
  void changeEvent(QEvent* Event) override;
  void focusInEvent(QFocusEvent* Event) override;
  void focusOutEvent(QFocusEvent* Event) override;

 private:
  void ApplyWidths();
  void ShowCoreSelection();
  void ViewSelectionChanged();
  void SectionResized(int Section, int NewSize);
  void BuildAdvanceTable();
  // The summed advances of Text in the cell font, in 1/64 pixel.
  long long AdvanceSum(std::string_view Text);
  void ShowSelectionHighlight(bool Shown);

  RowTable& Table_;
  RowTableModel* Model_;
  bool KeepSelection_;             // the selection stays highlighted without the focus
  bool Syncing_ = false;           // true while the view follows the core
  std::array<int, 256> Advance_{};  // cell font advance per byte, in 1/64 pixel
  int MaxAdvance_ = 0;              // the widest of them
  int CellMargins_ = 0;             // text margins, grid line and air of a fitted cell
  bool AdvanceReady_ = false;
  std::unordered_map<std::string, int> HeaderWidths_;  // caption widths measured in HeaderFont_
  QFont HeaderFont_;
  QRawFont Raw_;
  std::array<quint32, 256> Glyph_{};
  std::array<qreal, 256> GlyphAdvance_{};
  std::vector<float> Kern_;  // pair adjustments of printable ASCII, worked out when first met
  bool GlyphsReady_ = false;
};
