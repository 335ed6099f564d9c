#include "app/report_view.h"

#include <QAccessible>
#include <QApplication>
#include <QBrush>
#include <QColor>
#include <QFont>
#include <QFocusEvent>
#include <QFontMetricsF>
#include <QGlyphRun>
#include <QHeaderView>
#include <QHoverEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStyledItemDelegate>
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <limits>

#include "app/cell_font.h"
#include "app/latin1.h"
#include "app/report_header.h"

namespace {

// Paints each cell, then its right and bottom edge as a grid line. An ordinary
// cell (not selected, without focus, plain text) is drawn by the view directly:
// its Latin-1 bytes, elided at the right when they do not fit, at the place
// and in the colour the style would use, without the style's per-cell text
// layout. Every other cell is painted by the style as usual.
class GridDelegate : public QStyledItemDelegate {
 public:
  explicit GridDelegate(ReportView* View) : QStyledItemDelegate(View), View_(View) {}

  void paint(QPainter* P, const QStyleOptionViewItem& Option, const QModelIndex& Index) const override {
    const bool special = Option.state & (QStyle::State_Selected | QStyle::State_HasFocus);
    if (special || !PaintPlainCell(P, Option, Index)) QStyledItemDelegate::paint(P, Option, Index);
    if (View_->HasAnnotations()) {
      std::vector<CellMark> marks;
      if (View_->MarksOfRow(Index.row(), marks))
        for (const CellMark& m : marks)
          if (m.Column == Index.column()) ReportView::DrawMark(P, Option.rect, m);
    }
    // One-pixel lines as filled rectangles: the same pixels, at a fraction of the cost.
    const QRect r = Option.rect;
    const QColor grid = Option.palette.color(QPalette::Midlight);
    P->fillRect(QRect(r.right(), r.top(), 1, r.height()), grid);
    P->fillRect(QRect(r.left(), r.bottom(), r.width(), 1), grid);
  }

  // The style sizes a cell to its font's height, so the grid line under it
  // would cover the font's lowest pixels (underscores, the tails of g, j, p,
  // q and y): a row is a pixel higher above the text and one below it, for
  // that line.
  QSize sizeHint(const QStyleOptionViewItem& Option, const QModelIndex& Index) const override {
    QSize size = QStyledItemDelegate::sizeHint(Option, Index);
    size.setHeight(std::max(size.height(), View_->LineHeight(Option.font) + 2));
    return size;
  }

 private:
  // False when the cell needs the style's own painting.
  bool PaintPlainCell(QPainter* P, const QStyleOptionViewItem& Option, const QModelIndex& Index) const {
    const std::string_view text = View_->CellText(Index.row(), Index.column());
    if (!ReportView::IsPlainText(text)) return false;
    if (text.empty()) return true;
    P->save();
    P->setPen(Option.palette.color(ReportView::TextGroup(Option.state), QPalette::Text));
    P->setFont(Option.font);
    ReportView::GlyphBatch batch;
    View_->PlaceCellText(P, Option.rect, Option.font, text, batch);
    View_->DrawGlyphs(P, batch);
    P->restore();
    return true;
  }

  ReportView* View_;
};

// Space around the text of a fitted column: the delegate's text margins plus
// the grid line and a little air, as a fitted report column shows.
constexpr int kCellAir = 6;
constexpr int kHeaderAir = 4;

}  // namespace

// ---------------------------------------------------------------- model

RowTableModel::RowTableModel(RowTable& Table, QObject* Parent)
    : QAbstractTableModel(Parent),
      Table_(Table),
      Rows_(Table.RowCount()),
      Columns_(Table.ColumnCount()),
      FirstRowTall_(FirstRowMayBeTall()) {}

QModelIndex RowTableModel::index(int Row, int Column, const QModelIndex& Parent) const {
  return hasIndex(Row, Column, Parent) ? createIndex(Row, Column, IndexId(Row, Column)) : QModelIndex();
}

quintptr RowTableModel::IndexId(int Row, int Column) {
  // A 64-bit mix of the place, less what the hash adds by itself.
  const auto row = static_cast<uint64_t>(static_cast<uint32_t>(Row));
  const auto column = static_cast<uint64_t>(static_cast<uint32_t>(Column));
  uint64_t x = row << 32 | column;
  x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
  x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
  x ^= x >> 31;
  return static_cast<quintptr>(x - (row << 4) - column);
}

int RowTableModel::rowCount(const QModelIndex& Parent) const { return Parent.isValid() ? 0 : Rows_; }

int RowTableModel::columnCount(const QModelIndex& Parent) const { return Parent.isValid() ? 0 : Columns_; }

QVariant RowTableModel::data(const QModelIndex& Index, int Role) const {
  if (!Index.isValid()) return {};
  if (Role == Qt::TextAlignmentRole) return QVariant(Qt::AlignLeft | Qt::AlignVCenter);
  if (Role == Qt::ToolTipRole && ComputedToolTip && Index.column() < Table_.ColumnCount() &&
      Table_.ColumnComputed(Index.column()) && Index.row() < Table_.RowCount())
    return Latin1(ComputedToolTip(Index.row(), Index.column()));
  if ((Role == Qt::ToolTipRole || Role == Qt::AccessibleDescriptionRole) && View_ && View_->HasAnnotations())
    return MarkText(Index.row(), Index.column());
  if (Role != Qt::DisplayRole) return {};
  const int row = Index.row(), col = Index.column();
  if (row >= Table_.RowCount()) return QString();
  return Latin1(Table_.RowAt(row).Cell(static_cast<size_t>(col)));
}

QVariant RowTableModel::headerData(int Section, Qt::Orientation Orientation, int Role) const {
  if (Orientation != Qt::Horizontal) return {};
  if (Role == Qt::TextAlignmentRole) return QVariant(Qt::AlignLeft | Qt::AlignVCenter);
  if (Section >= 0 && Section < Table_.ColumnCount() && Table_.ColumnComputed(Section)) {
    // A computed column's header is set apart: italic on a tinted ground,
    // and it says what it is to a screen reader and in a tooltip.
    switch (Role) {
      case Qt::FontRole: {
        QFont f = QApplication::font("QHeaderView");
        f.setItalic(true);
        return f;
      }
      case Qt::BackgroundRole:
        return QBrush(QColor(0xdd, 0xe8, 0xf6));
      case Qt::ForegroundRole:
        return QBrush(QColor(0x1a, 0x3d, 0x7c));
      case Qt::ToolTipRole:
      case Qt::AccessibleDescriptionRole:
        return QStringLiteral("Computed from the loaded definitions; not a key of them");
      default:
        break;
    }
  }
  if (Role != Qt::DisplayRole) return {};
  if (Section < 0 || Section >= Table_.ColumnCount()) return QString();
  return Latin1(Table_.ColumnCaption(Section));
}

Qt::ItemFlags RowTableModel::flags(const QModelIndex& Index) const {
  if (!Index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

QVariant RowTableModel::MarkText(int RowIndex, int Column) const {
  std::vector<CellMark> marks;
  if (!View_->MarksOfRow(RowIndex, marks)) return {};
  QStringList texts;
  for (const CellMark& m : marks)
    if (m.Column == Column) texts << Latin1(m.Text);
  if (texts.isEmpty()) return {};
  return texts.join('\n');
}

bool RowTableModel::Reload() {
  const bool wasTall = FirstRowTall_;
  FirstRowTall_ = FirstRowMayBeTall();
  // A table that was empty and still is (a batch that added nothing, as the
  // include switch leaves the tables without loose files) keeps its layout:
  // a reset would lay the view out and measure every caption again.
  if (Table_.RowCount() == 0 && Rows_ == 0 && Table_.ColumnCount() == Columns_) return true;
  if (Table_.RowCount() == Rows_ && Table_.ColumnCount() == Columns_ && Rows_ > 0) {
    // The same shape (rows reordered, as a sort does, or rewritten).
    // One-line rows stay where they are and only their texts change: no
    // layout is needed, which would also lay out the scroll bars and repaint
    // the window around them, and no persistent index is touched, however
    // many there are.
    if (!wasTall && !FirstRowTall_) return true;
    // A layout change, so the row height is taken again; it leaves the
    // header alone instead of measuring every caption again. Persistent
    // indexes are dropped, as a reset drops them.
    const QModelIndexList old = persistentIndexList();
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    changePersistentIndexList(old, QModelIndexList(old.size()));
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
    return false;
  }
  beginResetModel();
  Rows_ = Table_.RowCount();
  Columns_ = Table_.ColumnCount();
  endResetModel();
  return false;
}

bool RowTableModel::FirstRowMayBeTall() const {
  if (Table_.RowCount() == 0) return false;
  const Row& first = Table_.RowAt(0);
  for (int c = 0; c < Table_.ColumnCount(); ++c) {
    const std::string_view text = first.Cell(static_cast<size_t>(c));
    if (text.find_first_of("\r\n") != std::string_view::npos) return true;
  }
  return false;
}

// ---------------------------------------------------------------- view

ReportView::ReportView(RowTable& Table, bool KeepSelection, QWidget* Parent)
    : QTreeView(Parent), Table_(Table), Model_(new RowTableModel(Table, this)), KeepSelection_(KeepSelection) {
  Model_->SetView(this);
  setModel(Model_);
  Delegate_ = new GridDelegate(this);
  setItemDelegate(Delegate_);
  setRootIsDecorated(false);
  setItemsExpandable(false);
  setUniformRowHeights(true);
  setAllColumnsShowFocus(true);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  // Several rows may be selected (Ctrl+click, Shift+click); the program acts
  // on the current one.
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
  setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  setSortingEnabled(false);

  setHeader(new ReportHeader(this));
  QHeaderView* h = header();
  h->setStretchLastSection(false);
  h->setSectionsMovable(false);
  h->setSectionsClickable(true);
  h->setSortIndicatorShown(false);
  h->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  h->setMinimumSectionSize(0);  // a column dragged to nothing becomes a hidden one
  h->setSectionResizeMode(QHeaderView::Interactive);

  ShowSelectionHighlight(KeepSelection_);
  // The paint event clears the background itself (see paintEvent).
  viewport()->setAutoFillBackground(false);
  viewport()->setAttribute(Qt::WA_OpaquePaintEvent);

  connect(h, &QHeaderView::sectionClicked, this, [this](int Section) { emit ColumnClicked(Section); });
  connect(h, &QHeaderView::sectionResized, this,
          [this](int Section, int, int NewSize) { SectionResized(Section, NewSize); });
  connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
          [this] { ViewSelectionChanged(); });
  connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this, [this] { ViewSelectionChanged(); });

  Table_.SetObserver(this);
  ApplyWidths();
}

ReportView::~ReportView() {
  if (Table_.Observer() == this) Table_.SetObserver(nullptr);
}

void ReportView::RowsChanged() {
  Syncing_ = true;
  const bool inPlace = Model_->Reload();
  if (inPlace) {
    // Rows reordered in place: the view repaints them and drops its
    // selection and current row, as a reset would (the core's selection is
    // shown again below). Assistive tools hear that the texts of all cells
    // changed; the cells they have read stay valid and now read the new
    // texts, so the sort costs them nothing per cell.
    selectionModel()->clear();
    viewport()->update();
    if (QAccessible::isActive() && Model_->rowCount() > 0) {
      QAccessibleTableModelChangeEvent changed(this, QAccessibleTableModelChangeEvent::DataChanged);
      changed.setFirstRow(0);
      changed.setLastRow(Model_->rowCount() - 1);
      changed.setFirstColumn(0);
      changed.setLastColumn(Model_->columnCount() - 1);
      QAccessible::updateAccessibility(&changed);
    }
  }
  ApplyWidths();
  Syncing_ = false;
  ShowCoreSelection();
  if (!inPlace && isVisible()) FinishLayout();
  emit RowsShown();
  emit TableReloaded();
}

void ReportView::FinishLayout() {
  // The rows laid out and the scroll bars shown or hidden now, which the
  // tree view would otherwise do from a timer and a queued call after the
  // first paint, each time painting the whole table again.
  executeDelayedItemsLayout();
  QEvent request(QEvent::LayoutRequest);
  QCoreApplication::sendEvent(this, &request);
}

void ReportView::ColumnsChanged() {
  Syncing_ = true;
  const bool reloaded = Model_->columnCount() != Table_.ColumnCount();
  if (reloaded) Model_->Reload();
  ApplyWidths();
  Syncing_ = false;
  if (reloaded) emit TableReloaded();
}

void ReportView::SelectionChanged() { ShowCoreSelection(); }

void ReportView::ApplyWidths() {
  const bool was = Syncing_;
  Syncing_ = true;
  QHeaderView* h = header();
  const int n = std::min(Table_.ColumnCount(), h->count());
  bool changed = false;
  {
    // The header's signals are held while the sections change: the tree
    // view would answer each with a repaint of the columns right of it, from
    // a timer, after the first paint of the new widths. The view is laid out
    // and repainted once instead, below (at once when new rows follow).
    const QSignalBlocker quiet(h);
    for (int c = 0; c < n; ++c) {
      const int w = Table_.ColumnWidth(c);
      const bool hidden = w == 0;
      if (h->isSectionHidden(c) != hidden) {
        h->setSectionHidden(c, hidden);
        changed = true;
      }
      if (!hidden && h->sectionSize(c) != w) {
        h->resizeSection(c, w);
        changed = true;
      }
    }
  }
  if (changed) scheduleDelayedItemsLayout();
  Syncing_ = was;
}

void ReportView::ShowCoreSelection() {
  const bool was = Syncing_;
  Syncing_ = true;
  const int i = Table_.SelectedIndex();
  if (i < 0 || i >= Model_->rowCount()) {
    selectionModel()->clearSelection();
  } else {
    // Selecting a row does not scroll the table; the caller scrolls when it wants to.
    const bool scroll = hasAutoScroll();
    setAutoScroll(false);
    selectionModel()->setCurrentIndex(Model_->index(i, 0),
                                      QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    setAutoScroll(scroll);
  }
  Syncing_ = was;
}

void ReportView::ViewSelectionChanged() {
  if (Syncing_) return;
  // The table's one selected row is the current row when it is selected,
  // else the first selected row, else none.
  const QModelIndex current = selectionModel()->currentIndex();
  if (current.isValid() && selectionModel()->isRowSelected(current.row(), QModelIndex())) {
    Table_.SetSelectedFromView(current.row());
    return;
  }
  const QModelIndexList rows = selectionModel()->selectedRows();
  Table_.SetSelectedFromView(rows.isEmpty() ? -1 : rows.first().row());
}

std::vector<int> ReportView::SelectedRows() const {
  std::vector<int> rows;
  for (const QModelIndex& i : selectionModel()->selectedRows()) rows.push_back(i.row());
  std::sort(rows.begin(), rows.end());
  return rows;
}

void ReportView::SectionResized(int Section, int NewSize) {
  if (Syncing_ || Section < 0 || Section >= Table_.ColumnCount()) return;
  if (Table_.ColumnWidth(Section) != NewSize) Table_.SetColumnWidth(Section, NewSize);
}

void ReportView::BuildAdvanceTable() {
  // Fitting a column measures every cell of it, thousands of times per load:
  // the advance of each Latin-1 byte is taken from the font once and summed.
  Cell_ = &CellFontTablesOf(font(), logicalDpiY());
  TextMargin_ = style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1;
  CellMargins_ = 2 * TextMargin_ + kCellAir;
  AdvanceReady_ = true;
}

int ReportView::LineHeight(const QFont& Font) {
  if (Font != font()) {
    const QFontMetricsF fm(Font);
    return static_cast<int>(std::ceil(fm.ascent() + fm.descent()));
  }
  if (!AdvanceReady_) BuildAdvanceTable();
  return static_cast<int>(std::ceil(Cell_->Ascent + Cell_->Descent));
}

int ReportView::TextWidth(std::string_view Text, bool Header) {
  if (Header) {
    // Every fit measures every caption again: the widths are kept while the
    // header's font and style stay.
    if (header()->font() != HeaderFont_) {
      HeaderWidths_.clear();
      HeaderFont_ = header()->font();
    }
    const auto known = HeaderWidths_.find(std::string(Text));
    if (known != HeaderWidths_.end()) return known->second;
    const int margin = style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header());
    const int width = header()->fontMetrics().horizontalAdvance(Latin1(Text)) + 2 * margin + kHeaderAir;
    HeaderWidths_.emplace(Text, width);
    return width;
  }
  return static_cast<int>((AdvanceSum(Text) + 63) / 64) + CellMargins_;
}

long long ReportView::AdvanceSum(std::string_view Text) {
  if (!AdvanceReady_) BuildAdvanceTable();
  long long sum = 0;  // in 1/64 pixel
  for (unsigned char c : Text) sum += Cell_->Advance[c];
  return sum;
}

std::string_view ReportView::CellText(int RowIndex, int Column) const {
  if (RowIndex < 0 || RowIndex >= Table_.RowCount() || Column < 0) return {};
  return Table_.RowAt(RowIndex).Cell(static_cast<size_t>(Column));
}

bool ReportView::CellTextFits(std::string_view Text, int Width) {
  const long long sum = AdvanceSum(Text);
  // The summed advances are rounded per byte and leave out kerning: half a
  // 64th a byte and a few pixels to spare keep the answer safe; text closer to
  // the edge is measured exactly.
  return sum + static_cast<long long>(Text.size()) / 2 + 4 * 64 < static_cast<long long>(Width) * 64;
}

bool ReportView::IsPlainText(std::string_view Text) {
  for (unsigned char c : Text)
    if (c < 0x20 || c == 0x7f) return false;  // line breaks, tabs and other controls
  return true;
}

QPalette::ColorGroup ReportView::TextGroup(QStyle::State State) {
  if (!(State & QStyle::State_Enabled)) return QPalette::Disabled;
  return State & QStyle::State_Active ? QPalette::Normal : QPalette::Inactive;
}

void ReportView::PlaceCellText(QPainter* P, const QRect& Cell, const QFont& Font, std::string_view Text,
                               GlyphBatch& Batch) {
  if (Text.empty()) return;
  if (!AdvanceReady_) BuildAdvanceTable();
  const bool viewFont = Font == font();
  const QRect r = Cell.adjusted(TextMargin_, 0, -TextMargin_, 0);
  QString s;
  bool elided = false;
  if (!CellTextFits(Text, r.width())) {
    // As the style elides: only text wider than the room, to the room.
    s = Latin1(Text);
    const QFontMetricsF fm(Font);
    if (fm.horizontalAdvance(s) > r.width()) {
      s = QFontMetrics(Font).elidedText(s, Qt::ElideRight, r.width());
      elided = s.size() != static_cast<qsizetype>(Text.size());
    }
  }
  // The line's top is centred in the cell, as the style places it; the text
  // is drawn at its baseline, which needs no line layout.
  qreal ascent = Cell_->Ascent, descent = Cell_->Descent;
  if (!viewFont) {
    const QFontMetricsF fm(Font);
    ascent = fm.ascent();
    descent = fm.descent();
  }
  const qreal top = r.top() + (r.height() - (ascent + descent)) / 2;
  const QPointF origin(r.left(), top + ascent);
  if (elided || !viewFont || !AddCellGlyphs(origin, Text, Batch))
    P->drawText(origin, s.isNull() ? Latin1(Text) : s);
}

bool ReportView::AddCellGlyphs(QPointF Origin, std::string_view Text, GlyphBatch& Batch) {
  // Printable ASCII only, and nothing the font may join into a ligature: the
  // glyph of each byte then stands alone, and pairs move only by kerning.
  for (size_t i = 0; i < Text.size(); ++i) {
    const char c = Text[i];
    if (c < 0x20 || c > 0x7e) return false;
    if (c == 'f' && i + 1 < Text.size() && (Text[i + 1] == 'f' || Text[i + 1] == 'i' || Text[i + 1] == 'l'))
      return false;
  }
  if (!GlyphsReady_) {
    if (!AdvanceReady_) BuildAdvanceTable();
    Raw_ = QRawFont::fromFont(font());
    if (Raw_.isValid()) MakeCellGlyphs(*Cell_, font(), Raw_);
    GlyphsReady_ = true;
  }
  if (!Raw_.isValid()) return false;
  CellFontTables& t = *Cell_;
  qreal x = Origin.x();
  for (size_t i = 0; i < Text.size(); ++i) {
    const auto b = static_cast<unsigned char>(Text[i]);
    if (i > 0) x += CellKerning(t, font(), static_cast<unsigned char>(Text[i - 1]), b);
    Batch.Glyphs.append(t.Glyph[b]);
    Batch.Positions.append(QPointF(x, Origin.y()));
    x += t.GlyphAdvance[b];
  }
  return true;
}

void ReportView::DrawGlyphs(QPainter* P, GlyphBatch& Batch) {
  if (Batch.Glyphs.isEmpty()) return;
  QGlyphRun run;
  run.setRawFont(Raw_);
  run.setGlyphIndexes(Batch.Glyphs);
  run.setPositions(Batch.Positions);
  P->drawGlyphRun(QPointF(0, 0), run);
  Batch.Glyphs.clear();
  Batch.Positions.clear();
}

bool ReportView::ReadPlainRow(int RowIndex) {
  // A selected row, the row with the focus frame, the row under the mouse
  // (a style may show it) and texts with controls are left to the tree view.
  if (RowIndex < 0 || RowIndex >= Table_.RowCount() || RowIndex == HoverRow_) return false;
  if (selectionModel()->rowIntersectsSelection(RowIndex, QModelIndex())) return false;
  if (hasFocus() && currentIndex().isValid() && currentIndex().row() == RowIndex) return false;
  // The texts of the shown columns, from one pass over the row's cells.
  const Row& row = Table_.RowAt(RowIndex);
  Texts_.assign(Shown_.size(), std::string_view());
  if (SlotOf_[0] >= 0) Texts_[static_cast<size_t>(SlotOf_[0])] = row.Caption;
  row.ForEachFilledSubItem([&](size_t J, std::string_view Text) {
    if (J + 1 < SlotOf_.size() && SlotOf_[J + 1] >= 0) Texts_[static_cast<size_t>(SlotOf_[J + 1])] = Text;
  });
  return std::all_of(Texts_.begin(), Texts_.end(), IsPlainText);
}

void ReportView::FindShownColumns() {
  // The shown columns across the viewport, left to right, as the tree view
  // lays them out: a section of no width still draws its grid line.
  const QHeaderView* h = header();
  Shown_.clear();
  SlotOf_.assign(static_cast<size_t>(std::max(1, h->count())), -1);
  for (int v = std::max(0, h->visualIndexAt(0)); v < h->count(); ++v) {
    const int logical = h->logicalIndex(v);
    if (h->isSectionHidden(logical)) continue;
    const int x = h->sectionViewportPosition(logical);
    if (x >= viewport()->width()) break;
    SlotOf_[static_cast<size_t>(logical)] = static_cast<int>(Shown_.size());
    Shown_.push_back({x, h->sectionSize(logical)});
  }
}

QColor ReportView::GridColor(const QStyleOptionViewItem& Option) {
  // The colour group each cell of the row is painted in.
  QPalette::ColorGroup group = Option.palette.currentColorGroup();
  if (Option.state & QStyle::State_Enabled)
    group = Option.state & QStyle::State_Active ? QPalette::Active : QPalette::Inactive;
  return Option.palette.color(group, QPalette::Midlight);
}

void ReportView::paintEvent(QPaintEvent* Event) {
  // The viewport leaves its background to this paint event, so that each
  // band of rows is cleared just before its texts are drawn over it (while
  // it is still in the cache) rather than all of the viewport first.
  const QBrush background = viewport()->palette().brush(viewport()->backgroundRole());
  auto clear = [&](QPainter& P, const QRegion& Region) {
    for (const QRect& r : Region) P.fillRect(r, background);
  };
  executeDelayedItemsLayout();
  const int rows = Model_->rowCount();
  const int height = rows > 0 ? rowHeight(Model_->index(0, 0)) : 0;
  // Anything but this view's own cell painting, left to right, in one colour
  // is drawn by the tree view alone.
  if (itemDelegate() != Delegate_ || isRightToLeft() || alternatingRowColors() || !uniformRowHeights() ||
      height <= 0) {
    {
      QPainter p(viewport());
      clear(p, Event->region());
    }
    QTreeView::paintEvent(Event);
    return;
  }
  QPainter p(viewport());
  QStyleOptionViewItem option;
  initViewItemOption(&option);  // the state and palette the tree view draws rows with
  // Rows of plain cells are drawn here, in bands of adjacent rows; what is
  // left of the region (other rows, the space below the last) goes to the
  // tree view, which is then spared for most repaints.
  FindShownColumns();
  const QRegion& region = Event->region();
  QRegion rest = region;  // less the plain rows drawn, band by band
  const QRect bounds = region.boundingRect();
  const int offset = verticalOffset();  // rows are equally high and none is hidden
  const QColor grid = GridColor(option);
  std::vector<int> band;  // tops of the rows of the band being drawn
  // The texts of a band at once, then its grid, as each cell draws its lines
  // over its text: under each row one line across its cells, and the right
  // edge of every shown cell down the band in one rectangle per column. (A
  // row the tree view draws keeps its own lines: a selected cell's panel
  // covers part of its neighbour's.)
  auto finishBand = [&] {
    if (band.empty()) return;
    DrawGlyphs(&p, Batch_);
    if (!Shown_.empty()) {
      const int left = Shown_.front().X, right = Shown_.back().X + Shown_.back().Width;
      for (int top : band) p.fillRect(QRect(left, top + height - 1, right - left, 1), grid);
      const int top = band.front(), bottom = band.back() + height;
      for (const ShownColumn& c : Shown_) p.fillRect(QRect(c.X + c.Width - 1, top, 1, bottom - top), grid);
    }
    rest -= QRect(0, band.front(), viewport()->width(), band.back() + height - band.front());
    band.clear();
  };
  constexpr size_t kBandRows = 8;  // about 100 KB of a wide window per row
  bool otherRows = false;
  p.save();
  p.setPen(option.palette.color(TextGroup(option.state), QPalette::Text));
  p.setFont(font());
  Batch_.Glyphs.clear();
  Batch_.Positions.clear();
  for (int r = std::max(0, (bounds.top() + offset) / height); r < rows; ++r) {
    const QRect full(0, r * height - offset, viewport()->width(), height);
    if (full.top() > bounds.bottom()) break;
    if (!region.intersects(full)) continue;
    if (!ReadPlainRow(r)) {
      otherRows = true;
      finishBand();
      continue;
    }
    if (band.size() == kBandRows) finishBand();
    p.fillRect(full, background);
    for (size_t i = 0; i < Shown_.size(); ++i)
      PlaceCellText(&p, QRect(Shown_[i].X, full.top(), Shown_[i].Width, height), font(), Texts_[i], Batch_);
    if (!Annotations_.empty()) {
      Marks_.clear();
      if (MarksOfRow(r, Marks_))
        for (const CellMark& m : Marks_)
          if (static_cast<size_t>(m.Column) < SlotOf_.size() && SlotOf_[static_cast<size_t>(m.Column)] >= 0) {
            const ShownColumn& c = Shown_[static_cast<size_t>(SlotOf_[static_cast<size_t>(m.Column)])];
            DrawMark(&p, QRect(c.X, full.top(), c.Width, height), m);
          }
    }
    band.push_back(full.top());
  }
  finishBand();
  p.restore();  // the tree view draws the rest with a painter as it made it
  clear(p, rest);
  if (otherRows) drawTree(&p, rest);
}

void ReportView::AddAnnotations(const CellAnnotations* Provider) {
  if (std::find(Annotations_.begin(), Annotations_.end(), Provider) == Annotations_.end())
    Annotations_.push_back(Provider);
  AnnotationsChanged();
}

void ReportView::RemoveAnnotations(const CellAnnotations* Provider) {
  Annotations_.erase(std::remove(Annotations_.begin(), Annotations_.end(), Provider), Annotations_.end());
  AnnotationsChanged();
}

bool ReportView::MarksOfRow(int RowIndex, std::vector<CellMark>& Out) const {
  if (Annotations_.empty() || RowIndex < 0 || RowIndex >= Table_.RowCount()) return false;
  bool any = false;
  for (const CellAnnotations* a : Annotations_) any = a->MarksOf(Table_, Table_.RowAt(RowIndex), Out) || any;
  return any;
}

void ReportView::AnnotationsChanged() { viewport()->update(); }

void ReportView::DrawMark(QPainter* P, const QRect& Cell, const CellMark& Mark) {
  // Inside the cell's grid lines (its right and bottom pixel).
  const QRect r = Cell.adjusted(0, 0, -1, -1);
  if (r.width() < 4 || r.height() < 4) return;
  P->save();
  P->setRenderHint(QPainter::Antialiasing, true);
  const int corner = std::min(7, std::min(r.width(), r.height()) - 1);
  switch (Mark.Kind) {
    case MarkKind::Problem: {
      // A corner flag at the top left and a wavy line under the text.
      const QColor red(0xd0, 0x10, 0x20);
      P->setPen(Qt::NoPen);
      P->setBrush(red);
      P->drawPolygon(QPolygonF({QPointF(r.left(), r.top()), QPointF(r.left() + corner, r.top()),
                                QPointF(r.left(), r.top() + corner)}));
      QPainterPath wave;
      const qreal y = r.bottom() - 1.5;
      wave.moveTo(r.left() + 2, y);
      bool up = true;
      for (qreal x = r.left() + 2; x + 2 <= r.right() - 2; x += 2, up = !up) wave.lineTo(x + 2, up ? y - 1.5 : y);
      P->setBrush(Qt::NoBrush);
      P->setPen(QPen(red, 1));
      P->drawPath(wave);
      break;
    }
    case MarkKind::Changed: {
      // A corner flag at the top right.
      P->setPen(Qt::NoPen);
      P->setBrush(QColor(0x15, 0x65, 0xc0));
      P->drawPolygon(QPolygonF({QPointF(r.right() + 1, r.top()), QPointF(r.right() + 1 - corner, r.top()),
                                QPointF(r.right() + 1, r.top() + corner)}));
      break;
    }
    case MarkKind::Added: {
      // A bar down the left edge with a plus at its top.
      const QColor green(0x2e, 0x7d, 0x32);
      P->setRenderHint(QPainter::Antialiasing, false);
      P->fillRect(QRect(r.left(), r.top(), 3, r.height()), green);
      break;
    }
  }
  P->restore();
}

int ReportView::CellWidthBound(size_t Length) {
  if (!AdvanceReady_) BuildAdvanceTable();
  const long long sum = static_cast<long long>(std::min<size_t>(Length, INT_MAX)) * Cell_->MaxAdvance;
  return static_cast<int>(std::min<long long>((sum + 63) / 64 + CellMargins_, INT_MAX));
}

const std::array<int, 256>* ReportView::CellAdvances(int& Margin) {
  if (!AdvanceReady_) BuildAdvanceTable();
  Margin = CellMargins_;
  return &Cell_->Advance;
}

int ReportView::TopIndex() {
  executeDelayedItemsLayout();
  const QModelIndex i = indexAt(QPoint(0, 0));
  return i.isValid() ? i.row() : 0;
}

void ReportView::ScrollBy(int Pixels) {
  executeDelayedItemsLayout();
  QScrollBar* bar = verticalScrollBar();
  bar->setValue(bar->value() + Pixels);
}

int ReportView::RowHeight() {
  if (Model_->rowCount() > 0) {
    const int h = indexRowSizeHint(Model_->index(0, 0));
    if (h > 0) return h;
  }
  return fontMetrics().height() + 2;
}

bool ReportView::viewportEvent(QEvent* Event) {
  // The row under the mouse, as the tree view follows it for its hover state.
  switch (Event->type()) {
    case QEvent::HoverEnter:
    case QEvent::HoverMove: {
      const QModelIndex i = indexAt(static_cast<QHoverEvent*>(Event)->position().toPoint());
      HoverRow_ = i.isValid() ? i.row() : -1;
      break;
    }
    case QEvent::HoverLeave:
    case QEvent::Leave:
      HoverRow_ = -1;
      break;
    default:
      break;
  }
  return QTreeView::viewportEvent(Event);
}

void ReportView::mouseReleaseEvent(QMouseEvent* Event) {
  QTreeView::mouseReleaseEvent(Event);
  if (Event->button() == Qt::LeftButton) emit Clicked();
}

void ReportView::mouseDoubleClickEvent(QMouseEvent* Event) {
  QTreeView::mouseDoubleClickEvent(Event);
  if (Event->button() == Qt::LeftButton) emit DoubleClicked();
}

// A view that keeps its selection shows it in the same colours whether it has
// the focus or not (and in an inactive window too); any other view shows its
// selected row like the others while it lacks the focus.
void ReportView::ShowSelectionHighlight(bool Shown) {
  const QPalette standard = QApplication::palette(this);
  QPalette p = palette();
  for (QPalette::ColorGroup g : {QPalette::Active, QPalette::Inactive}) {
    if (!Shown) {
      p.setColor(g, QPalette::Highlight, standard.color(g, QPalette::Base));
      p.setColor(g, QPalette::HighlightedText, standard.color(g, QPalette::Text));
    } else {
      const QPalette::ColorGroup from = KeepSelection_ ? QPalette::Active : g;
      p.setColor(g, QPalette::Highlight, standard.color(from, QPalette::Highlight));
      p.setColor(g, QPalette::HighlightedText, standard.color(from, QPalette::HighlightedText));
    }
  }
  setPalette(p);
}

void ReportView::focusInEvent(QFocusEvent* Event) {
  QTreeView::focusInEvent(Event);
  if (!KeepSelection_) ShowSelectionHighlight(true);
}

void ReportView::focusOutEvent(QFocusEvent* Event) {
  QTreeView::focusOutEvent(Event);
  // A menu opening over the table does not take the selection away.
  if (!KeepSelection_ && Event->reason() != Qt::PopupFocusReason) ShowSelectionHighlight(false);
}

void ReportView::changeEvent(QEvent* Event) {
  if (Event->type() == QEvent::FontChange || Event->type() == QEvent::StyleChange) {
    AdvanceReady_ = GlyphsReady_ = false;
    HeaderWidths_.clear();
  }
  QTreeView::changeEvent(Event);
}
