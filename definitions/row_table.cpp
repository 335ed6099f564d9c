#include "definitions/row_table.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <stdexcept>
#include <system_error>

#include "hpi/parallel.h"

namespace {
// Estimates used when no window measures text: roughly the standard font's
// average character width plus the header's margins.
constexpr int kCharWidth = 7;
constexpr int kHeaderMargin = 16;
constexpr int kCellMargin = 12;
constexpr int kDefaultRowHeight = 13;
}  // namespace

int RowTable::Measure(std::string_view Text, bool Header) const {
  if (Observer_) return Observer_->TextWidth(Text, Header);
  return static_cast<int>(Text.size()) * kCharWidth + (Header ? kHeaderMargin : kCellMargin);
}

int RowTable::CellWidthBound(size_t Length) const {
  if (Observer_) return Observer_->CellWidthBound(Length);
  return Length > static_cast<size_t>(INT_MAX / kCharWidth - kCellMargin) ? INT_MAX
                                                                           : static_cast<int>(Length) * kCharWidth + kCellMargin;
}

void RowTable::RowsTouched() {
  RowsDirty_ = true;
  if (UpdateDepth_ == 0) EndUpdate();
}

void RowTable::ColumnsTouched() {
  ColumnsDirty_ = true;
  if (UpdateDepth_ == 0) EndUpdate();
}

void RowTable::EndUpdate() {
  if (UpdateDepth_ > 0) --UpdateDepth_;
  if (UpdateDepth_ > 0) return;
  if (ColumnsDirty_) {
    ColumnsDirty_ = false;
    if (Observer_) Observer_->ColumnsChanged();
  }
  if (RowsDirty_) {
    RowsDirty_ = false;
    if (Observer_) Observer_->RowsChanged();
  }
}

void RowTable::SetColumnWidth(int Col, int Width) {
  Columns_.at(Col).Width = std::max(0, Width);
  ColumnsTouched();
}

void RowTable::AddColumn(const std::string& Caption, int Width, bool Computed) {
  Columns_.push_back(Column{Caption, std::max(0, Width), Computed});
  ColumnsTouched();
}

void RowTable::RemoveColumnsFrom(int Col) {
  if (Col < 1 || Col >= ColumnCount()) return;
  Columns_.resize(static_cast<size_t>(Col));
  for (auto& r : Rows_)
    if (r->SubItemCount() >= static_cast<size_t>(Col)) r->ReplaceSubItemsFrom(static_cast<size_t>(Col - 1), {});
  ColumnsTouched();
  RowsTouched();
}

int RowTable::FitColumnToHeader(int Col) {
  int w = Measure(Columns_.at(Col).Caption, true);
  SetColumnWidth(Col, w);
  return w;
}

int RowTable::FitColumnToContents(int Col) {
  int w = Measure(Columns_.at(Col).Caption, true);
  for (const auto& r : Rows_) {
    std::string_view text;
    if (Col == 0)
      text = r->Caption;
    else if (static_cast<size_t>(Col - 1) < r->SubItemCount())
      text = r->SubItem(static_cast<size_t>(Col - 1));
    if (!text.empty()) w = std::max(w, Measure(text, false));
  }
  SetColumnWidth(Col, w);
  return w;
}

namespace {

// How many text lengths, from 0 up, have a width bound within Width: a cell
// shorter than that cannot widen a column of that width. Bound(length) grows
// with the length.
template <typename B>
size_t LengthsWithin(int Width, B Bound) {
  if (Bound(0) > Width) return 0;
  // The first length past Width is found by doubling, then halving.
  size_t within = 0, past = 1;
  while (Bound(past) <= Width) {
    if (past > SIZE_MAX / 4) return SIZE_MAX;
    within = past;
    past *= 2;
  }
  while (past - within > 1) {
    const size_t mid = within + (past - within) / 2;
    (Bound(mid) <= Width ? within : past) = mid;
  }
  return past;
}

// Widens Widths (0 for a hidden column, which stays so) to fit the cells of
// Rows[From, To), row by row: each row's cells lie together in memory. A cell
// is measured only when its length says it could be wider than the column so
// far; the length that could is worked out again only when the column widens.
template <typename M, typename B>
void FitRows(const std::vector<std::unique_ptr<Row>>& Rows, size_t From, size_t To, std::vector<int>& Widths,
             M Measure, B Bound) {
  const size_t columns = Widths.size();
  std::vector<size_t> shorter(columns, SIZE_MAX);  // lengths that cannot widen the column
  for (size_t c = 0; c < columns; ++c)
    if (Widths[c] != 0) shorter[c] = LengthsWithin(Widths[c], Bound);
  auto fit = [&](size_t C, std::string_view Text) {
    if (Text.size() < shorter[C]) return;
    const int w = Measure(Text);
    if (w <= Widths[C]) return;
    Widths[C] = w;
    shorter[C] = LengthsWithin(w, Bound);
  };
  for (size_t i = From; i < To; ++i) {
    const Row& r = *Rows[i];
    if (!r.Caption.empty()) fit(0, r.Caption);
    r.ForEachFilledSubItem([&](size_t J, std::string_view Text) {
      if (J + 1 < columns) fit(J + 1, Text);
    });
  }
}

}  // namespace

void RowTable::FitShownColumnsToContents() {
  if (Columns_.empty()) return;
  std::vector<int> widths(Columns_.size(), 0);
  for (size_t c = 0; c < Columns_.size(); ++c)
    if (Columns_[c].Width != 0) widths[c] = Measure(Columns_[c].Caption, true);
  int margin = 0;
  const std::array<int, 256>* advances = Observer_ ? Observer_->CellAdvances(margin) : nullptr;
  if (!advances) {
    FitRows(Rows_, 0, Rows_.size(), widths, [this](std::string_view Text) { return Measure(Text, false); },
            [this](size_t Length) { return CellWidthBound(Length); });
  } else {
    // Cells measured as sums of per-byte advances, here: a large table is
    // fitted in two halves at once, each from the captions' widths, and a
    // column takes the wider of its two.
    const int widest = *std::max_element(advances->begin(), advances->end());
    auto measure = [&](std::string_view Text) {
      long long sum = 0;
      for (const char c : Text) sum += (*advances)[static_cast<unsigned char>(c)];
      return static_cast<int>((sum + 63) / 64) + margin;
    };
    auto bound = [&](size_t Length) {
      const long long sum = static_cast<long long>(std::min<size_t>(Length, INT_MAX)) * widest;
      return static_cast<int>(std::min<long long>((sum + 63) / 64 + margin, INT_MAX));
    };
    constexpr size_t kSplitRows = 1024;  // below this, a thread costs more than it saves
    if (Rows_.size() < kSplitRows) {
      FitRows(Rows_, 0, Rows_.size(), widths, measure, bound);
    } else {
      std::vector<int> halves[2] = {widths, widths};
      const size_t bounds[] = {0, Rows_.size() / 2, Rows_.size()};
      hpi::ParallelFor(2, 2, [&](size_t Part) { FitRows(Rows_, bounds[Part], bounds[Part + 1], halves[Part], measure, bound); });
      for (size_t c = 0; c < widths.size(); ++c) widths[c] = std::max(halves[0][c], halves[1][c]);
    }
  }
  for (size_t c = 0; c < Columns_.size(); ++c)
    if (Columns_[c].Width != 0) Columns_[c].Width = widths[c];
  ColumnsTouched();
}

std::string_view RowTable::CellView(int I, int Col) const {
  const Row& r = RowAt(I);
  if (Col == 0) return r.Caption;
  if (Col < 0) throw std::out_of_range("column");
  return r.SubItem(static_cast<size_t>(Col - 1));
}

namespace {
constexpr uint32_t kFilledBits = 30;
constexpr uint32_t kFilledMask = (uint32_t{1} << kFilledBits) - 1;
}  // namespace

Row::Layout Row::Plan(size_t Count, uint32_t Filled, uint32_t TextSize, size_t Width) {
  Layout l{};
  l.Filled = Filled;
  l.TextSize = TextSize;
  l.Words = (Count + 63) / 64;
  l.Width = Width;
  l.Ends = 8 + l.Words * 8;
  l.Text = l.Ends + Filled * l.Width;
  l.Size = l.Text + TextSize;
  return l;
}

Row::Layout Row::Shape() const {
  uint32_t head[2];
  std::memcpy(head, Store_.get(), sizeof head);
  const uint32_t code = head[0] >> kFilledBits;
  return Plan(Count_, head[0] & kFilledMask, head[1], code == 3 ? 4 : code);
}

char* Row::Allocate(size_t Count, size_t Filled, size_t Text, size_t Longest, Layout& L) {
  if (Count > kFilledMask || Text > UINT32_MAX) throw std::length_error("row too large");
  Count_ = static_cast<uint32_t>(Count);
  if (Filled == 0) {
    Store_.reset();
    return nullptr;
  }
  const size_t width = Longest <= UINT8_MAX ? 1 : Text <= UINT16_MAX ? 2 : 4;
  const Layout l = L = Plan(Count, static_cast<uint32_t>(Filled), static_cast<uint32_t>(Text), width);
  Store_ = std::make_unique_for_overwrite<char[]>(l.Size);
  const uint32_t head[2] = {l.Filled | static_cast<uint32_t>(width == 4 ? 3 : width) << kFilledBits, l.TextSize};
  std::memcpy(Store_.get(), head, sizeof head);
  std::memset(Store_.get() + 8, 0, l.Words * 8);
  return Store_.get() + l.Text;
}

namespace {

// Counting the filled cells before a column is the hot step of reading a
// cell. Every x86-64 runs the default version; processors with the POPCNT
// instruction (nearly all in use) take the one that counts with it, chosen
// once when the program loads.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define KESTRAVA_POPCOUNT_CLONES __attribute__((target_clones("popcnt", "default")))
#else
#define KESTRAVA_POPCOUNT_CLONES
#endif

// The sum of the eight one-byte cell lengths in V, in four 16-bit lanes (a
// lane's sum stays below 4 * 2 * 255).
inline size_t SumOfBytes(uint64_t V) {
  V = (V & 0x00FF00FF00FF00FFULL) + ((V >> 8) & 0x00FF00FF00FF00FFULL);
  V += V >> 16;
  V += V >> 32;
  return V & 0xFFFF;
}

// The sum of N one-byte cell lengths at P, eight at a time. End is the end
// of the block they lie in: the last few are read as one word, the bytes
// past them masked off, when the block holds eight bytes from there.
inline size_t SumOfLengths(const char* P, size_t N, const char* End) {
  size_t sum = 0, k = 0;
  for (; k + 8 <= N; k += 8) {
    uint64_t v;
    std::memcpy(&v, P + k, 8);
    sum += SumOfBytes(v);
  }
  if (k == N) return sum;
  if constexpr (std::endian::native == std::endian::little) {
    if (End - (P + k) >= 8) {
      uint64_t v;
      std::memcpy(&v, P + k, 8);
      return sum + SumOfBytes(v & (~uint64_t{0} >> (64 - 8 * (N - k))));
    }
  }
  for (; k < N; ++k) sum += static_cast<unsigned char>(P[k]);
  return sum;
}

}  // namespace

KESTRAVA_POPCOUNT_CLONES
void Row::SubItemsAt(const size_t* J, size_t N, std::string_view* Out) const {
  std::fill(Out, Out + N, std::string_view());
  if (!Store_) return;
  // Locals, so that the stores into Out (which could alias the row, as far
  // as the compiler knows) do not reload them.
  const char* const block = Store_.get();
  const size_t count = Count_;
  const Layout l = Shape();
  const char* const text = block + l.Text;
  const char* const lengths = block + l.Ends;
  const char* const end = block + l.Size;
  auto wordAt = [block](size_t W) {
    uint64_t v;
    std::memcpy(&v, block + 8 + W * 8, 8);
    return v;
  };
  // Visit(i, k) for each J[i] whose cell holds text, k being its place
  // among the filled cells.
  auto forEachFilled = [&](auto Visit) {
    size_t word = 0, before = 0;  // the filled cells in the bit words below word
    for (size_t i = 0; i < N; ++i) {
      const size_t j = J[i];
      if (j >= count) break;
      for (; word < j / 64; ++word) before += static_cast<size_t>(std::popcount(wordAt(word)));
      const uint64_t bits = wordAt(word);
      const uint64_t bit = uint64_t{1} << (j % 64);
      if (bits & bit) Visit(i, before + static_cast<size_t>(std::popcount(bits & (bit - 1))));
    }
  };
  if (l.Width == 1) {
    size_t k0 = 0, begin0 = 0;  // where cell k0 begins
    forEachFilled([&](size_t I, size_t K) {
      begin0 += SumOfLengths(lengths + k0, K - k0, end);
      k0 = K;
      Out[I] = std::string_view(text + begin0, static_cast<unsigned char>(lengths[K]));
    });
  } else {
    forEachFilled([&](size_t I, size_t K) {
      const size_t begin = K == 0 ? 0 : EndAt(l, K - 1);
      Out[I] = std::string_view(text + begin, EndAt(l, K) - begin);
    });
  }
}

KESTRAVA_POPCOUNT_CLONES
std::string_view Row::SubItem(size_t J) const {
  if (J >= Count_) throw std::out_of_range("sub-item");
  if (!Store_) return {};
  const uint64_t word = Word(J / 64);
  const uint64_t bit = uint64_t{1} << (J % 64);
  if (!(word & bit)) return {};
  size_t rank = static_cast<size_t>(std::popcount(word & (bit - 1)));
  for (size_t w = 0; w < J / 64; ++w) rank += static_cast<size_t>(std::popcount(Word(w)));
  const Layout l = Shape();
  if (l.Width == 1) {
    const char* lengths = Store_.get() + l.Ends;
    const size_t begin = SumOfLengths(lengths, rank, Store_.get() + l.Size);
    return std::string_view(Store_.get() + l.Text + begin, static_cast<unsigned char>(lengths[rank]));
  }
  const size_t begin = rank == 0 ? 0 : EndAt(l, rank - 1);
  return std::string_view(Store_.get() + l.Text + begin, EndAt(l, rank) - begin);
}

Row& Row::operator=(const Row& Other) {
  if (this == &Other) return *this;
  Caption = Other.Caption;
  Data = Other.Data;
  Selected = Other.Selected;
  Count_ = Other.Count_;
  if (!Other.Store_) {
    Store_.reset();
  } else {
    const size_t size = Other.Shape().Size;
    Store_ = std::make_unique_for_overwrite<char[]>(size);
    std::memcpy(Store_.get(), Other.Store_.get(), size);
  }
  return *this;
}

void Row::AppendSubItem(std::string_view Text) {
  std::vector<std::string> items = SubItems();
  items.emplace_back(Text);
  SetSubItems(items);
}

void Row::ReplaceSubItemsFrom(size_t From, const std::vector<std::string>& Tail) {
  const size_t count = From + Tail.size();
  size_t tailFilled = 0, tailText = 0, tailLongest = 0;
  for (const std::string& t : Tail) {
    tailFilled += !t.empty();
    tailText += t.size();
    tailLongest = std::max(tailLongest, t.size());
  }
  if (tailFilled == 0 && count <= kFilledMask && (count + 63) / 64 == (Count_ + 63) / 64) {
    // Empty cells take no room: when no cell from From on holds text and the
    // column bits keep their words, the block stays as it is.
    bool beyond = false;
    if (Store_)
      for (size_t w = From / 64; w < (Count_ + 63) / 64 && !beyond; ++w) {
        const uint64_t below = w == From / 64 ? (uint64_t{1} << (From % 64)) - 1 : 0;
        beyond = (Word(w) & ~below) != 0;
      }
    if (!beyond) {
      Count_ = static_cast<uint32_t>(count);
      return;
    }
  }
  if (Store_ && tailLongest <= UINT8_MAX && Shape().Width == 1) {
    // Kept cells in one-byte lengths stay so when no new cell is longer than
    // 255 bytes: their bits, lengths and text are copied as they lie, as
    // the first cells of the new block, and the tail's are written after.
    const Layout l = Shape();
    const size_t fullWords = std::min(From / 64, l.Words);
    size_t kept = 0;
    for (size_t w = 0; w < fullWords; ++w) kept += static_cast<size_t>(std::popcount(Word(w)));
    const uint64_t partial = From / 64 < l.Words ? Word(From / 64) & ((uint64_t{1} << (From % 64)) - 1) : 0;
    kept += static_cast<size_t>(std::popcount(partial));
    const std::unique_ptr<char[]> old = std::move(Store_);
    const size_t keptText = SumOfLengths(old.get() + l.Ends, kept, old.get() + l.Size);
    Layout n;
    char* text = Allocate(count, kept + tailFilled, keptText + tailText, tailLongest, n);
    if (!text) return;
    char* const block = Store_.get();
    std::memcpy(block + 8, old.get() + 8, fullWords * 8);
    if (partial) std::memcpy(block + 8 + From / 64 * 8, &partial, 8);
    std::memcpy(block + n.Ends, old.get() + l.Ends, kept);
    std::memcpy(text, old.get() + l.Text, keptText);
    text += keptText;
    size_t k = kept;
    for (size_t t = 0; t < Tail.size(); ++t) {
      if (Tail[t].empty()) continue;
      const size_t j = From + t;
      uint64_t bits = Word(j / 64);
      bits |= uint64_t{1} << (j % 64);
      std::memcpy(block + 8 + j / 64 * 8, &bits, 8);
      block[n.Ends + k++] = static_cast<char>(static_cast<unsigned char>(Tail[t].size()));
      std::memcpy(text, Tail[t].data(), Tail[t].size());
      text += Tail[t].size();
    }
    return;
  }
  // Otherwise the kept cells are read from the old block while the new one
  // is written: AssignSubItemsOf asks for a text (ValueOf) inside the visit
  // of its column, so the visit sets the text it is about to be asked for.
  Row old;
  old.Store_ = std::move(Store_);
  old.Count_ = Count_;
  std::string_view current;
  AssignSubItemsOf(
      count,
      [&](auto Visit) {
        old.ForEachFilledSubItem([&](size_t J, std::string_view Text) {
          if (J >= From) return;
          current = Text;
          Visit(J);
        });
        for (size_t k = 0; k < Tail.size(); ++k) {
          current = Tail[k];
          Visit(From + k);
        }
      },
      [&](size_t) { return current; });
}

std::vector<std::string> Row::SubItems() const {
  std::vector<std::string> items;
  items.reserve(Count_);
  for (size_t j = 0; j < Count_; ++j) items.emplace_back(SubItem(j));
  return items;
}

void Row::SetSubItems(const std::vector<std::string>& Items) {
  AssignSubItems(Items.size(), [&](size_t J) { return std::string_view(Items[J]); });
}

Row& RowTable::AddRow() {
  Rows_.push_back(std::make_unique<Row>());
  RowsTouched();
  return *Rows_.back();
}

void RowTable::AppendRows(std::vector<std::unique_ptr<Row>>&& Rows) {
  if (Rows.empty()) return;
  if (Rows_.empty()) {
    Rows_ = std::move(Rows);
  } else {
    Rows_.reserve(Rows_.size() + Rows.size());
    for (auto& r : Rows) Rows_.push_back(std::move(r));
  }
  Rows.clear();
  RowsTouched();
}

void RowTable::DeleteRow(int I) {
  if (I < 0 || I >= RowCount()) return;
  bool wasSelected = Rows_[I]->Selected;
  Rows_.erase(Rows_.begin() + I);
  RowsTouched();
  if (wasSelected && Observer_) Observer_->SelectionChanged();
}

int RowTable::DeleteRowsWhere(const std::function<bool(const Row&)>& Remove) {
  // The rows that go are gathered rather than freed on the way, and the
  // others move up in their order.
  bool selectionGone = false;
  std::vector<std::unique_ptr<Row>> removed;
  size_t kept = 0;
  for (size_t i = 0; i < Rows_.size(); ++i) {
    if (Remove(*Rows_[i])) {
      selectionGone = selectionGone || Rows_[i]->Selected;
      removed.push_back(std::move(Rows_[i]));
    } else {
      if (kept != i) Rows_[kept] = std::move(Rows_[i]);  // into a slot already emptied
      ++kept;
    }
  }
  if (removed.empty()) return 0;
  Rows_.resize(kept);
  const auto count = static_cast<int>(removed.size());
  Disposer_.Dispose(std::move(removed));
  RowsTouched();
  if (selectionGone && Observer_) Observer_->SelectionChanged();
  return count;
}

void RowTable::Clear() {
  if (Rows_.empty()) return;
  Disposer_.Dispose(std::move(Rows_));
  Rows_.clear();
  TopIndex_ = 0;
  RowsTouched();
}

void RowDisposer::Dispose(std::vector<std::unique_ptr<Row>>&& Rows) {
  std::vector<std::unique_ptr<Row>> rows = std::move(Rows);
  if (rows.size() < kAsideRows) return;  // freed here, as rows goes
  Wait();
  try {
    Thread_ = std::thread([batch = std::move(rows)]() mutable { batch.clear(); });
  } catch (const std::system_error&) {
    // No thread to be had: the batch (still whole, or moved into the
    // lambda that was never started) is freed here.
  }
}

void RowDisposer::Wait() {
  if (Thread_.joinable()) Thread_.join();
}

void RowTable::Sort(const std::function<int(const Row&, const Row&)>& Compare) {
  SortRowNumbers([&](size_t A, size_t B) { return Compare(*Rows_[A], *Rows_[B]) < 0; });
}

void RowTable::ApplyOrder(const std::vector<size_t>& Order) {
  std::vector<std::unique_ptr<Row>> sorted;
  sorted.reserve(Rows_.size());
  for (size_t i : Order) sorted.push_back(std::move(Rows_[i]));
  Rows_ = std::move(sorted);
  RowsTouched();
}

int RowTable::SelectedCount() const {
  return static_cast<int>(std::count_if(Rows_.begin(), Rows_.end(),
                                        [](const auto& r) { return r->Selected; }));
}

int RowTable::SelectedIndex() const {
  for (int i = 0; i < RowCount(); ++i)
    if (Rows_[i]->Selected) return i;
  return -1;
}

void RowTable::SetSelectedFromView(int I) {
  for (auto& r : Rows_) r->Selected = false;
  if (I >= 0 && I < RowCount()) Rows_[I]->Selected = true;
}

void RowTable::Select(int I) {
  SetSelectedFromView(I);
  if (Observer_) Observer_->SelectionChanged();
}

int RowTable::TopIndex() const { return Observer_ ? Observer_->TopIndex() : TopIndex_; }

int RowTable::RowHeight() const { return Observer_ ? Observer_->RowHeight() : kDefaultRowHeight; }

void RowTable::ScrollBy(int Pixels) {
  if (Observer_) {
    Observer_->ScrollBy(Pixels);
    return;
  }
  int rows = Pixels / kDefaultRowHeight;
  TopIndex_ = std::clamp(TopIndex_ + rows, 0, std::max(0, RowCount() - 1));
}
