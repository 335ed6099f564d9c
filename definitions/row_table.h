#pragma once
// A report table held by the program: columns (caption, width; width 0 means
// hidden) and rows (caption, one text cell per further column, a link to the
// UnPacked entry the row was built from). Row building, sorting and the table
// tools work on this structure; a window only displays it through a
// TableObserver (the Qt model in app/report_view.h). Without an observer the
// table measures text with a fixed-width estimate, which is what tests use.
#include <functional>
#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

struct UnPacked;

// One table row. The sub-items (columns 1 and up) live in one compact block:
// a bit per column says which cells hold text, and only those are stored, as
// their end offsets and their text. A wide table whose rows fill some of
// their columns then costs little more than the text itself.
class Row {
 public:
  std::string Caption;       // column 0
  UnPacked* Data = nullptr;  // the entry the row was built from

 private:
  // Here rather than below, so that a row object takes 56 bytes, not 64.
  std::unique_ptr<char[]> Store_;
  uint32_t Count_ = 0;

 public:
  bool Selected = false;

  Row() = default;
  Row(const Row& Other) { *this = Other; }
  Row& operator=(const Row& Other);
  Row(Row&&) noexcept = default;
  Row& operator=(Row&&) noexcept = default;

  size_t SubItemCount() const { return Count_; }
  // Sub-item J (column J + 1). Throws std::out_of_range when the row has none.
  std::string_view SubItem(size_t J) const;
  // The text of table column Column: the caption for 0, else sub-item
  // Column - 1; empty when the row has no such cell.
  std::string_view Cell(size_t Column) const {
    if (Column == 0) return Caption;
    return Column - 1 < Count_ ? SubItem(Column - 1) : std::string_view();
  }
  // Sub-items J[0] < J[1] < ... < J[N - 1] into Out[0..N), empty where the row
  // has no text, in one pass over the row: reading a few columns of many
  // rows costs what those columns hold.
  void SubItemsAt(const size_t* J, size_t N, std::string_view* Out) const;
  void AppendSubItem(std::string_view Text);
  void ClearSubItems() {
    Store_.reset();
    Count_ = 0;
  }
  // Keeps the sub-items before From and puts Tail after them: sub-item
  // From + k becomes Tail[k], and the row ends there.
  void ReplaceSubItemsFrom(size_t From, const std::vector<std::string>& Tail);
  // All sub-items as strings, and replacing them all (convenient in tests and
  // for small rows; row building uses AssignSubItems).
  std::vector<std::string> SubItems() const;
  void SetSubItems(const std::vector<std::string>& Items);
  // The texts of every sub-item, one after the other in column order.
  std::string_view AllSubItemText() const {
    if (!Store_) return {};
    const Layout l = Shape();
    return std::string_view(Store_.get() + l.Text, l.TextSize);
  }
  // Calls Visit(J, text) for every sub-item J that holds text, in column order.
  template <typename F>
  void ForEachFilledSubItem(F Visit) const {
    if (!Store_) return;
    const Layout l = Shape();
    const char* base = Store_.get();
    size_t k = 0, begin = 0;
    for (size_t w = 0; w < l.Words; ++w) {
      uint64_t bits = Word(w);
      while (bits != 0) {
        const size_t j = w * 64 + static_cast<size_t>(__builtin_ctzll(bits));
        bits &= bits - 1;
        const size_t end = l.Width == 1 ? begin + LengthAt(l, k) : EndAt(l, k);
        ++k;
        Visit(j, std::string_view(base + l.Text + begin, end - begin));
        begin = end;
      }
    }
  }
  // Replaces the sub-items by Count texts, ValueOf(j) giving text j, in one
  // allocation. ValueOf must not read this row's own sub-items.
  template <typename F>
  void AssignSubItems(size_t Count, F ValueOf) {
    AssignSubItemsOf(
        Count,
        [Count](auto Visit) {
          for (size_t j = 0; j < Count; ++j) Visit(j);
        },
        ValueOf);
  }
  // The same when only some texts may be filled: Candidates(Visit) calls
  // Visit(j) for each such j, in increasing order, and every other text is
  // empty. Candidates is called twice.
  template <typename C, typename F>
  void AssignSubItemsOf(size_t Count, C Candidates, F ValueOf) {
    size_t filled = 0, text = 0, longest = 0;
    Candidates([&](size_t J) {
      const size_t n = ValueOf(J).size();
      filled += n != 0;
      text += n;
      longest = std::max(longest, n);
    });
    Layout l;
    char* out = Allocate(Count, filled, text, longest, l);
    if (!out) return;
    char* const words = Store_.get() + 8;
    size_t k = 0, end = 0;
    Candidates([&](size_t J) {
      const std::string_view v = ValueOf(J);
      if (v.empty()) return;
      CopyText(out, v.data(), v.size());
      out += v.size();
      end += v.size();
      uint64_t bits;
      std::memcpy(&bits, words + J / 64 * 8, 8);
      bits |= uint64_t{1} << (J % 64);
      std::memcpy(words + J / 64 * 8, &bits, 8);
      SetEntry(l, k++, v.size(), end);
    });
  }

 private:
  // Block layout: Filled (30 bits, with the width of the offsets above it)
  // and the text size (32 bits), the column bits (64-bit words), one entry
  // per filled cell, then the text. The entries are the cells' lengths (a
  // byte each) when every cell is shorter than 256 bytes, else their end
  // offsets (16 bits wide, or 32 when the text is longer than 16 bits reach).
  struct Layout {
    uint32_t Filled, TextSize;
    size_t Words;  // bit words
    size_t Width;  // bytes per entry: 1 (lengths), 2 or 4 (end offsets)
    size_t Ends;   // offset of the end offsets in the block
    size_t Text;   // offset of the text
    size_t Size;   // the whole block
  };
  static Layout Plan(size_t Count, uint32_t Filled, uint32_t TextSize, size_t Width);
  Layout Shape() const;
  uint64_t Word(size_t W) const {
    uint64_t v;
    std::memcpy(&v, Store_.get() + 8 + W * 8, 8);
    return v;
  }
  size_t LengthAt(const Layout& L, size_t K) const { return static_cast<unsigned char>(Store_[L.Ends + K]); }
  size_t EndAt(const Layout& L, size_t K) const {
    if (L.Width == 2) {
      uint16_t v;
      std::memcpy(&v, Store_.get() + L.Ends + K * 2, 2);
      return v;
    }
    uint32_t v;
    std::memcpy(&v, Store_.get() + L.Ends + K * 4, 4);
    return v;
  }
  char* Allocate(size_t Count, size_t Filled, size_t Text, size_t Longest, Layout& L);
  // Copies a cell's N bytes; the short texts most cells hold without a call.
  static void CopyText(char* Out, const char* In, size_t N) {
    if (N > 16)
      std::memcpy(Out, In, N);
    else if (N >= 8)
      CopyEnds<uint64_t>(Out, In, N);
    else if (N >= 4)
      CopyEnds<uint32_t>(Out, In, N);
    else
      for (size_t i = 0; i < N; ++i) Out[i] = In[i];
  }
  // N bytes, N from one to two words W, as the first and the last word.
  template <typename W>
  static void CopyEnds(char* Out, const char* In, size_t N) {
    W first, last;
    std::memcpy(&first, In, sizeof(W));
    std::memcpy(&last, In + N - sizeof(W), sizeof(W));
    std::memcpy(Out, &first, sizeof(W));
    std::memcpy(Out + N - sizeof(W), &last, sizeof(W));
  }
  // Entry K: the cell's length or its end offset, as the layout keeps them.
  void SetEntry(const Layout& L, size_t K, size_t Length, size_t End) {
    char* entries = Store_.get() + L.Ends;
    if (L.Width == 1) {
      entries[K] = static_cast<char>(static_cast<unsigned char>(Length));
    } else if (L.Width == 2) {
      const auto e = static_cast<uint16_t>(End);
      std::memcpy(entries + K * 2, &e, 2);
    } else {
      const auto e = static_cast<uint32_t>(End);
      std::memcpy(entries + K * 4, &e, 4);
    }
  }
};

struct Column {
  std::string Caption;
  int Width = 0;          // pixels; 0 = hidden
  bool Computed = false;  // worked out from the definitions, not a key of them
};

// Implemented by the window that shows a table.
class TableObserver {
 public:
  virtual ~TableObserver() = default;
  // Rows were added, removed, reordered or changed (once per batch update).
  virtual void RowsChanged() = 0;
  // Column captions or widths changed (once per batch update).
  virtual void ColumnsChanged() = 0;
  // The selected row changed.
  virtual void SelectionChanged() = 0;
  // Pixel width that fits Text as a header caption (Header) or as a cell.
  virtual int TextWidth(std::string_view Text, bool Header) = 0;
  // A width no cell text of Length bytes exceeds: fitting a column measures
  // only the cells that could widen it. It never shrinks as Length grows.
  virtual int CellWidthBound(size_t Length) {
    (void)Length;
    return INT_MAX;
  }
  // The per-byte advances (1/64 pixel) and the margin that TextWidth of a
  // cell sums, when it measures so: TextWidth(Text, false) is then
  // (the sum of Advances[b] over the bytes b of Text + 63) / 64 + Margin, and
  // a fit sums them itself. Null when cells are measured otherwise.
  virtual const std::array<int, 256>* CellAdvances(int& Margin) {
    (void)Margin;
    return nullptr;
  }
  // First visible row, scrolling by pixels, and the height of one row.
  virtual int TopIndex() = 0;
  virtual void ScrollBy(int Pixels) = 0;
  virtual int RowHeight() = 0;
};

// Frees rows a table let go of. Freeing many thousands of rows takes long
// enough to be felt, so a large batch is freed on a thread of its own while
// the table goes on; a smaller one at once. One batch is freed at a time, and
// the last is waited for when the disposer goes.
class RowDisposer {
 public:
  static constexpr size_t kAsideRows = 10000;  // from this many rows on, freed aside

  RowDisposer() = default;
  // Each object waits for its own batch: a moved table starts with none.
  RowDisposer(RowDisposer&&) noexcept {}
  RowDisposer& operator=(RowDisposer&&) noexcept { return *this; }
  ~RowDisposer() { Wait(); }

  void Dispose(std::vector<std::unique_ptr<Row>>&& Rows);
  // Returns once the batch being freed is gone.
  void Wait();

 private:
  std::thread Thread_;
};

class RowTable {
 public:
  // ---- columns
  int ColumnCount() const { return static_cast<int>(Columns_.size()); }
  const std::string& ColumnCaption(int Col) const { return Columns_.at(Col).Caption; }
  int ColumnWidth(int Col) const { return Columns_.at(Col).Width; }
  void SetColumnWidth(int Col, int Width);
  void AddColumn(const std::string& Caption, int Width, bool Computed = false);
  // Whether column Col holds computed figures rather than a key's values.
  bool ColumnComputed(int Col) const { return Columns_.at(Col).Computed; }
  // Removes the columns from Col on, with the rows' cells in them.
  void RemoveColumnsFrom(int Col);
  // Sets the column's width to what fits its caption and returns it.
  int FitColumnToHeader(int Col);
  // Sets the column's width to what fits its caption and every cell, and returns it.
  int FitColumnToContents(int Col);
  // The same for every shown column (width not 0) in one pass over the rows;
  // hidden columns stay hidden.
  void FitShownColumnsToContents();

  // ---- rows
  int RowCount() const { return static_cast<int>(Rows_.size()); }
  Row& RowAt(int I) { return *Rows_.at(I); }
  const Row& RowAt(int I) const { return *Rows_.at(I); }
  // Cell text of column Col (0 = caption). Throws std::out_of_range when the
  // row has no such sub-item.
  std::string_view CellView(int I, int Col) const;
  std::string Cell(int I, int Col) const { return std::string(CellView(I, Col)); }
  Row& AddRow();
  // Appends ready-made rows at the end, in their order.
  void AppendRows(std::vector<std::unique_ptr<Row>>&& Rows);
  void DeleteRow(int I);
  // Deletes every row for which Remove answers true, in one pass; the other
  // rows keep their order. Returns the number of rows deleted.
  int DeleteRowsWhere(const std::function<bool(const Row&)>& Remove);
  void Clear();
  // The cells of some rows were rewritten in place: tells the view.
  void CellsChanged() { RowsTouched(); }

  // ---- batch update: observers hear of changes once, when the outermost batch ends
  void BeginUpdate() { ++UpdateDepth_; }
  void EndUpdate();
  bool Updating() const { return UpdateDepth_ > 0; }

  // ---- sort with a three-way compare (negative, 0, positive); stable, and
  // safe with any compare routine. Reorders the rows, then tells the view once.
  void Sort(const std::function<int(const Row&, const Row&)>& Compare);
  // The same with a strict "less" on row numbers as they stand before the sort
  // (for a caller that prepared something per row first).
  // Puts the rows in Order (a permutation of the row numbers as they stand),
  // then tells the view once.
  void Reorder(const std::vector<size_t>& Order) { ApplyOrder(Order); }
  template <typename F>
  void SortRowNumbers(F Less) {
    if (Rows_.size() < 2) return;
    // The compare routine may show a message box, whose event loop repaints
    // the views: the table must stay whole and readable meanwhile. So the
    // order is worked out on row numbers off to the side and applied once at
    // the end. A merge sort never reads outside the range, whatever the
    // compare routine answers; a failing comparison that says "equal" cannot
    // break it.
    std::vector<size_t> order(Rows_.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(), Less);
    ApplyOrder(order);
  }

  // ---- selection (at most one row)
  int SelectedCount() const;
  int SelectedIndex() const;  // -1 when none
  void Select(int I);         // -1 clears
  // Called by the view when the user changed the selection.
  void SetSelectedFromView(int I);

  // ---- scrolling
  int TopIndex() const;
  void ScrollBy(int Pixels);
  int RowHeight() const;

  void SetObserver(TableObserver* Observer) { Observer_ = Observer; }
  TableObserver* Observer() const { return Observer_; }

 private:
  void RowsTouched();
  void ColumnsTouched();
  void ApplyOrder(const std::vector<size_t>& Order);
  int Measure(std::string_view Text, bool Header) const;
  int CellWidthBound(size_t Length) const;

  std::vector<Column> Columns_;
  std::vector<std::unique_ptr<Row>> Rows_;
  TableObserver* Observer_ = nullptr;
  int UpdateDepth_ = 0;
  bool RowsDirty_ = false;
  bool ColumnsDirty_ = false;
  int TopIndex_ = 0;  // used when no observer is attached
  RowDisposer Disposer_;  // last, so that it waits before the rest goes
};
