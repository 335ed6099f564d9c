#pragma once
// A report-style table: a tree view without branches over a model that reads the
// program's RowTable directly, so no widget or item exists per cell. The view
// is the table's observer: row, column and selection changes of the core reach
// it once per batch update, and the core asks it for text widths and scrolling.
#include <QAbstractTableModel>
#include <QRawFont>
#include <QStyle>
#include <QTreeView>
#include <array>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "app/cell_annotations.h"
#include "definitions/row_table.h"

struct CellFontTables;
class ReportView;

// The rows and columns of one RowTable as Qt sees them. The counts are taken
// when the view is told of a change, so a repaint in the middle of a core
// batch (a message box shown while rows are being built) never reads past the
// table: cells that no longer exist read as empty.
class RowTableModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  explicit RowTableModel(RowTable& Table, QObject* Parent = nullptr);

  QModelIndex index(int Row, int Column, const QModelIndex& Parent = QModelIndex()) const override;
  int rowCount(const QModelIndex& Parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& Parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& Index, int Role = Qt::DisplayRole) const override;
  QVariant headerData(int Section, Qt::Orientation Orientation, int Role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& Index) const override;

  // Takes the table's current row and column counts. Rows reordered or
  // rewritten in place (the same counts, as a sort leaves them) keep the
  // view's layout and every index: a cell stays where it is and only its
  // text changes, and true is returned, for the view to repaint its rows and
  // drop its selection. A first row that may be taller than a line (its
  // height is every row's) makes it a layout change instead, which drops the
  // persistent indexes; other counts reset the model. Both return false. A
  // table empty before and after keeps its layout too (true).
  bool Reload();

  // The tooltip of a cell of a computed column (8-bit text), set by the
  // window that knows the figures; none when empty.
  std::function<std::string(int Row, int Column)> ComputedToolTip;

  // The internal id of the index of a cell. Qt hashes an index as its row
  // times 16 plus its column plus this id, so with no id the cells of a wide
  // table share a few thousand hash values and crowd together in the hash of
  // persistent indexes (one for every cell an assistive tool has read):
  // every lookup then walks the crowd. The id makes the sum a well-mixed
  // function of the cell's place.
  static quintptr IndexId(int Row, int Column);

  // The view whose cell notes the model gives as tool tips.
  void SetView(const ReportView* View) { View_ = View; }

 private:
  QVariant MarkText(int RowIndex, int Column) const;
  const ReportView* View_ = nullptr;
  // Whether the first row may be taller than a line: the view takes the
  // height of every row from the first.
  bool FirstRowMayBeTall() const;

  RowTable& Table_;
  int Rows_ = 0;
  int Columns_ = 0;
  bool FirstRowTall_ = false;  // as found by the last reload
};

class ReportView : public QTreeView, public TableObserver {
  Q_OBJECT

 public:
  // KeepSelection: the selected row stays highlighted while the view has no focus.
  ReportView(RowTable& Table, bool KeepSelection, QWidget* Parent = nullptr);
  ~ReportView() override;

  RowTable& Table() const { return Table_; }
  // Every selected row, in table order (the table itself keeps one: the current row).
  std::vector<int> SelectedRows() const;
  RowTableModel* Model() const { return Model_; }

  // The cell notes laid over the table (app/cell_annotations.h); a provider
  // stays until it is removed. The model gives their texts as a cell's tool
  // tip and accessible description.
  void AddAnnotations(const CellAnnotations* Provider);
  void RemoveAnnotations(const CellAnnotations* Provider);
  bool HasAnnotations() const { return !Annotations_.empty(); }
  // Appends the marks of row RowIndex to Out; false when it has none.
  bool MarksOfRow(int RowIndex, std::vector<CellMark>& Out) const;
  // The text of a cell as the model shows it; empty for a cell that does not exist.
  std::string_view CellText(int RowIndex, int Column) const;
  // Whether Text is drawn as one line by the view itself: no line breaks,
  // tabs or other controls.
  static bool IsPlainText(std::string_view Text);
  // The palette group of cell text in a view of State.
  static QPalette::ColorGroup TextGroup(QStyle::State State);

  // The height of a line of text in Font, glyph bottoms included.
  int LineHeight(const QFont& Font);

  // Glyphs of several cells, drawn as one run.
  struct GlyphBatch {
    QList<quint32> Glyphs;
    QList<QPointF> Positions;
  };
  // Places the plain Text of the cell rectangle Cell in Font as the style
  // would, elided at the right when it does not fit: printable ASCII in the
  // view's font goes into Batch, glyph by glyph from a table of the bytes and
  // their pair kerning, without shaping; other text is drawn on P at once
  // with P's pen and font.
  void PlaceCellText(QPainter* P, const QRect& Cell, const QFont& Font, std::string_view Text,
                     GlyphBatch& Batch);
  // Draws and empties Batch.
  void DrawGlyphs(QPainter* P, GlyphBatch& Batch);

  // Draws the cue of Mark over the cell rectangle Cell: a shape as well as a
  // colour, so that it shows without colour too.
  static void DrawMark(QPainter* P, const QRect& Cell, const CellMark& Mark);
  // The cell notes changed: the rows are drawn again.
  void AnnotationsChanged();

  // TableObserver
  void RowsChanged() override;
  void ColumnsChanged() override;
  void SelectionChanged() override;
  int TextWidth(std::string_view Text, bool Header) override;
  int CellWidthBound(size_t Length) override;
  const std::array<int, 256>* CellAdvances(int& Margin) override;
  int TopIndex() override;
  void ScrollBy(int Pixels) override;
  int RowHeight() override;

 signals:
  void ColumnClicked(int Column);
  void Clicked();
  void DoubleClicked();
  // The table's rows were told to the view again (added, removed, reordered).
  void RowsShown();
  // The table's rows or its set of columns changed (a load, a sort, a
  // save), told once the view shows them.
  void TableReloaded();

 protected:
  void mouseReleaseEvent(QMouseEvent* Event) override;
  void mouseDoubleClickEvent(QMouseEvent* Event) override;
  void changeEvent(QEvent* Event) override;
  // A row of plain cells is drawn in one pass, without the style's per-cell
  // options and panels; any other row as the tree view draws it.
  void paintEvent(QPaintEvent* Event) override;
  bool viewportEvent(QEvent* Event) override;
  void focusInEvent(QFocusEvent* Event) override;
  void focusOutEvent(QFocusEvent* Event) override;

 private:
  void ApplyWidths();
  // Completes the layout a reset of the rows started, before the next paint.
  void FinishLayout();
  void ShowCoreSelection();
  void ViewSelectionChanged();
  void SectionResized(int Section, int NewSize);
  void BuildAdvanceTable();
  // The summed advances of Text in the cell font, in 1/64 pixel.
  long long AdvanceSum(std::string_view Text);
  // Whether Text surely fits Width pixels in the cell font.
  bool CellTextFits(std::string_view Text, int Width);
  bool AddCellGlyphs(QPointF Origin, std::string_view Text, GlyphBatch& Batch);
  // Reads the texts of row RowIndex in the shown columns into Texts_; false
  // when the row needs the tree view's drawing.
  bool ReadPlainRow(int RowIndex);
  void FindShownColumns();
  // The grid line colour of a row drawn with Option.
  static QColor GridColor(const QStyleOptionViewItem& Option);
  void ShowSelectionHighlight(bool Shown);

  RowTable& Table_;
  RowTableModel* Model_;
  std::vector<const CellAnnotations*> Annotations_;
  bool KeepSelection_;             // the selection stays highlighted without the focus
  bool Syncing_ = false;           // true while the view follows the core
  QAbstractItemDelegate* Delegate_ = nullptr;  // the view's own cell painting
  int HoverRow_ = -1;                          // the row under the mouse, -1 when none
  // Measuring and drawing tables of the cell font, made when first needed
  // and dropped when the font or style changes.
  CellFontTables* Cell_ = nullptr;  // of the cell font, shared with other views
  int CellMargins_ = 0;             // text margins, grid line and air of a fitted cell
  int TextMargin_ = 0;              // the style's text margin on each side of a cell
  bool AdvanceReady_ = false;
  std::unordered_map<std::string, int> HeaderWidths_;  // caption widths measured in HeaderFont_
  QFont HeaderFont_;
  QRawFont Raw_;
  bool GlyphsReady_ = false;
  // What a repaint of plain rows works from: the shown columns, left to
  // right; the place among them of each column (-1 when not shown); the
  // texts of the row being drawn.
  struct ShownColumn {
    int X, Width;
  };
  std::vector<ShownColumn> Shown_;
  std::vector<int> SlotOf_;
  std::vector<std::string_view> Texts_;
  GlyphBatch Batch_;
  std::vector<CellMark> Marks_;  // of the row being drawn
};
