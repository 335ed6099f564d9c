#include "definitions/build_rows.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <climits>
#include <cstdint>
#include <cstring>
#include <deque>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <exception>
#include <memory>
#include <thread>
#include <utility>
#include <string_view>

#include "archive/ascii_case.h"
#include "definitions/item_compare.h"
#include "definitions/tokenizer.h"
#include "hpi/parallel.h"

namespace {

// Finds the columns of a key list by key, ignoring case, so that a record's
// lines are read once per record instead of once per column. An open-addressing
// table over the folded keys. A line's key is folded into a small buffer while
// its "=" is searched for, and a line whose "=" comes later than the longest
// key could end is passed over at once.
class KeyIndex {
 public:
  explicit KeyIndex(const std::vector<std::string>& Keys) : Keys_(Keys.size()), Next_(Keys.size(), -1) {
    size_t slots = 16;
    while (slots < Keys.size() * 4) slots *= 2;
    Slots_.assign(slots, -1);
    Mask_ = slots - 1;
    for (const std::string& k : Keys) MaxKey_ = std::max(MaxKey_, k.size());
    Folded_.resize(MaxKey_ + 1);
    for (size_t k = 0; k < Keys.size(); ++k) {
      Keys_[k].resize(Keys[k].size());
      for (size_t i = 0; i < Keys[k].size(); ++i) Keys_[k][i] = Fold(Keys[k][i]);
      int first = Find(Keys_[k].data(), Keys_[k].size());
      if (first < 0) {
        size_t h = Hash(Keys_[k].data(), Keys_[k].size()) & Mask_;
        while (Slots_[h] >= 0) h = (h + 1) & Mask_;
        Slots_[h] = static_cast<int>(k);
      } else {
        int c = first;  // chain columns that share a key, in column order
        while (Next_[static_cast<size_t>(c)] >= 0) c = Next_[static_cast<size_t>(c)];
        Next_[static_cast<size_t>(c)] = static_cast<int>(k);
      }
    }
    Short_.resize(Keys.size());
    for (size_t k = 0; k < Keys.size(); ++k) {
      std::memcpy(Short_[k].Bytes, Keys_[k].data(), std::min<size_t>(32, Keys_[k].size()));
      Short_[k].Length = Keys_[k].size();
    }
    Values_.resize(Keys.size());
    Stamp_.assign(Keys.size(), 0);
    Found_.assign((Keys.size() + 63) / 64, 0);
  }

  size_t Count() const { return Keys_.size(); }

  // Starts a new record: every key is unfound again.
  void Begin() {
    if (++Generation_ == 0) {  // wrapped: forget every old stamp
      Stamp_.assign(Stamp_.size(), 0);
      Generation_ = 1;
    }
    std::fill(Found_.begin(), Found_.end(), 0);
  }
  // One line of the record: its text before the first "=" is the key, the
  // rest the value. A key keeps the value of the first line holding it.
  void Take(std::string_view Line) {
#if defined(__SSE2__)
    if (Line.data() >= ReadableBegin_ && Line.data() + 16 <= ReadableEnd_ && TakeShortKey(Line)) return;
#endif
    const size_t n = std::min(Line.size(), MaxKey_ + 1);
    char* folded = Folded_.data();
    size_t eq = 0;
    for (; eq < n && Line[eq] != '='; ++eq) folded[eq] = Fold(Line[eq]);
    // No "=" within reach: none at all, or a key longer than every column's.
    if (eq == n) return;
    Store(Find(folded, eq), Line.substr(eq + 1));
  }
  // Lines lying in [Begin, End) may be read there sixteen bytes at a time.
  void SetReadable(const char* Begin, const char* End) {
    ReadableBegin_ = Begin;
    ReadableEnd_ = End;
  }
  // The first column of Key, ignoring case; -1 when no column has it.
  int ColumnOf(std::string_view Key) {
    if (Key.size() > MaxKey_) return -1;
    for (size_t i = 0; i < Key.size(); ++i) Folded_[i] = Fold(Key[i]);
    return Find(Folded_.data(), Key.size());
  }
  // A line of key Key (its ColumnOf answer) and value Value.
  void Take(int Key, std::string_view Value) { Store(Key, Value); }
  // Looks up every key in Lines: the value of the first line holding it.
  void Scan(const std::vector<std::string_view>& Lines) {
    Begin();
    for (std::string_view line : Lines) Take(line);
  }
  // The value found for column K by the last Scan ("" when none).
  std::string_view Value(size_t K) const { return Stamp_[K] == Generation_ ? Values_[K] : std::string_view(); }

  void Fill(Row& R) const {
    R.Caption.assign(Count() > 0 ? Value(0) : std::string_view());
    // Only the columns found in the record can be filled: sub-item J is column J + 1.
    R.AssignSubItemsOf(
        Count() > 0 ? Count() - 1 : 0,
        [this](auto Visit) {
          for (size_t w = 0; w < Found_.size(); ++w)
            for (uint64_t bits = Found_[w]; bits != 0; bits &= bits - 1) {
              const size_t column = w * 64 + static_cast<size_t>(__builtin_ctzll(bits));
              if (column > 0) Visit(column - 1);
            }
        },
        [this](size_t J) { return Values_[J + 1]; });
  }

 private:
  static char Fold(char C) {
    return static_cast<char>(C + ((static_cast<unsigned char>(C - 'A') < 26) << 5));  // A to Z as a to z
  }
  // Eight folded bytes at a time.
  static size_t Hash(const char* Folded, size_t N) {
    uint64_t h = N * 0x9E3779B97F4A7C15ULL;
    size_t i = 0;
    for (; i + 8 <= N; i += 8) {
      uint64_t w;
      std::memcpy(&w, Folded + i, 8);
      h = (h ^ w) * 0xFF51AFD7ED558CCDULL;
    }
    uint64_t tail = 0;
    for (size_t k = 0; i < N; ++i, ++k) tail |= static_cast<uint64_t>(static_cast<unsigned char>(Folded[i])) << (8 * k);
    h = (h ^ tail) * 0xC4CEB9FE1A85EC53ULL;
    return static_cast<size_t>(h ^ (h >> 29));
  }
  int Find(const char* Folded, size_t N) const { return FindHashed(Hash(Folded, N), Folded, N); }
  int FindHashed(size_t Hashed, const char* Folded, size_t N) const {
    for (size_t h = Hashed & Mask_; Slots_[h] >= 0; h = (h + 1) & Mask_) {
      const std::string& k = Keys_[static_cast<size_t>(Slots_[h])];
      if (k.size() == N && std::memcmp(k.data(), Folded, N) == 0) return Slots_[h];
    }
    return -1;
  }
#if defined(__SSE2__)
  // Take for a line whose "=" lies within its first thirty-two bytes, read
  // sixteen bytes at a time from the readable bytes at its start: the "="
  // found, the key folded and hashed as Hash does. False when the line is not
  // of that kind.
  bool TakeShortKey(std::string_view Line) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(Line.data()));
    unsigned eqs = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8('='))));
    if (Line.size() < 16) eqs &= (1u << Line.size()) - 1;
    if (eqs == 0) {
      if (Line.size() <= 16 || MaxKey_ < 16) return true;  // no "=", or a key longer than every column's
      return TakeLongerKey(Line, v);
    }
    const auto n = static_cast<size_t>(__builtin_ctz(eqs));
    if (n > MaxKey_) return true;
    const __m128i folded = FoldedUpTo(v, n);
    alignas(16) char bytes[16];
    _mm_store_si128(reinterpret_cast<__m128i*>(bytes), folded);
    uint64_t lo, hi;
    std::memcpy(&lo, bytes, 8);
    std::memcpy(&hi, bytes + 8, 8);
    uint64_t h = n * 0x9E3779B97F4A7C15ULL;
    if (n >= 8) {
      h = (h ^ lo) * 0xFF51AFD7ED558CCDULL;
      lo = hi;
    }
    h = (h ^ lo) * 0xC4CEB9FE1A85EC53ULL;
    Store(FindShort(static_cast<size_t>(h ^ (h >> 29)), folded, _mm_setzero_si128(), n), Line.substr(n + 1));
    return true;
  }
  // TakeShortKey for a line whose first sixteen bytes, V, hold no "=": its
  // "=" among the next sixteen, where they are readable.
  [[gnu::noinline]] bool TakeLongerKey(std::string_view Line, __m128i V) {
    if (Line.data() + 32 > ReadableEnd_) return false;
    const __m128i v1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(Line.data() + 16));
    unsigned eqs = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v1, _mm_set1_epi8('='))));
    if (Line.size() < 32) eqs &= (1u << (Line.size() - 16)) - 1;
    if (eqs == 0) return Line.size() <= 32 || MaxKey_ < 32;
    const size_t n = 16 + static_cast<size_t>(__builtin_ctz(eqs));
    if (n > MaxKey_) return true;
    const __m128i f0 = FoldedUpTo(V, 16), f1 = FoldedUpTo(v1, n - 16);
    alignas(16) char bytes[32];
    _mm_store_si128(reinterpret_cast<__m128i*>(bytes), f0);
    _mm_store_si128(reinterpret_cast<__m128i*>(bytes + 16), f1);
    // As Hash: eight bytes at a time, then the rest with zeros after it.
    uint64_t h = n * 0x9E3779B97F4A7C15ULL, w;
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
      std::memcpy(&w, bytes + i, 8);
      h = (h ^ w) * 0xFF51AFD7ED558CCDULL;
    }
    std::memcpy(&w, bytes + i, 8);
    h = (h ^ w) * 0xC4CEB9FE1A85EC53ULL;
    Store(FindShort(static_cast<size_t>(h ^ (h >> 29)), f0, f1, n), Line.substr(n + 1));
    return true;
  }
  // The first Keep bytes of V with A to Z folded, zeros after them.
  static __m128i FoldedUpTo(__m128i V, size_t Keep) {
    alignas(16) static constexpr unsigned char kIndex[16] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
    const __m128i upper = _mm_and_si128(_mm_cmpgt_epi8(V, _mm_set1_epi8('A' - 1)), _mm_cmpgt_epi8(_mm_set1_epi8('Z' + 1), V));
    const __m128i folded = _mm_or_si128(V, _mm_and_si128(upper, _mm_set1_epi8(0x20)));
    return _mm_and_si128(folded, _mm_cmpgt_epi8(_mm_set1_epi8(static_cast<char>(Keep)),
                                                 _mm_load_si128(reinterpret_cast<const __m128i*>(kIndex))));
  }
  // FindHashed for a key of N bytes, N below 32, folded in F0 and F1 with zeros after it.
  int FindShort(size_t Hashed, __m128i F0, __m128i F1, size_t N) const {
    for (size_t h = Hashed & Mask_; Slots_[h] >= 0; h = (h + 1) & Mask_) {
      const ShortKey& k = Short_[static_cast<size_t>(Slots_[h])];
      if (k.Length != N) continue;
      const __m128i same = _mm_and_si128(_mm_cmpeq_epi8(_mm_load_si128(reinterpret_cast<const __m128i*>(k.Bytes)), F0),
                                         _mm_cmpeq_epi8(_mm_load_si128(reinterpret_cast<const __m128i*>(k.Bytes + 16)), F1));
      if (_mm_movemask_epi8(same) == 0xFFFF) return Slots_[h];
    }
    return -1;
  }
#endif
  // Gives Value to every column of the key found (First and its chain) that
  // has none yet in this record.
  void Store(int First, std::string_view Value) {
    for (int k = First; k >= 0; k = Next_[static_cast<size_t>(k)]) {
      auto col = static_cast<size_t>(k);
      if (Stamp_[col] == Generation_) continue;
      Stamp_[col] = Generation_;
      Values_[col] = Value;
      Found_[col / 64] |= uint64_t{1} << (col % 64);
    }
  }

  std::vector<std::string> Keys_;  // folded
  // The same keys' first thirty-two bytes, zeros after a shorter key.
  struct ShortKey {
    alignas(16) char Bytes[32] = {};
    size_t Length = 0;
  };
  std::vector<ShortKey> Short_;
  std::vector<int> Next_;          // next column with the same folded key
  std::vector<int> Slots_;
  size_t Mask_ = 0;
  std::vector<std::string_view> Values_;
  std::vector<uint32_t> Stamp_;
  uint32_t Generation_ = 0;
  std::vector<uint64_t> Found_;  // a bit per column given a value in this record
  size_t MaxKey_ = 0;          // length of the longest key
  const char* ReadableBegin_ = nullptr;
  const char* ReadableEnd_ = nullptr;
  std::vector<char> Folded_;  // the folded key of the line being looked up
};

bool IsSectionLine(std::string_view Line) { return Line.size() >= 2 && Line.front() == '[' && Line.back() == ']'; }

std::string_view SectionNameOf(const std::vector<std::string_view>& Lines) {
  for (std::string_view l : Lines)
    if (IsSectionLine(l)) return l.substr(1, l.size() - 2);
  return {};
}

// Builds the rows of one entry at the end of View, in one pass over the file's
// bytes: each clean line is looked up as it is read, and the cells copy their
// values straight from the file. KeepEmptyCaption keeps the row of a
// single-section file even without a caption (rebuilding a saved file).
class RowBuilder {
 public:
  RowBuilder(std::vector<std::unique_ptr<Row>>& Out, const std::vector<std::string>& Keys, bool MultiSection)
      : Out_(Out),
        Index_(Keys),
        MultiSection_(MultiSection),
        SName_(Index_.ColumnOf("SName")),
        UnpackedFile_(Index_.ColumnOf("UnpackedFile")),
        ParentFile_(Index_.ColumnOf("ParentFile")),
        PFilesize_(Index_.ColumnOf("PFilesize")) {}

  void Build(UnPacked& E, bool KeepEmptyCaption) {
    const bool empty = !E.Contents || E.PFileSize <= 0;
    // A single-section file saved empty keeps its row (its file columns only),
    // so that it can still be reached from the table.
    if (empty && (MultiSection_ || !KeepEmptyCaption)) return;
    Size_ = std::to_string(E.PFileSize);
    LineReader reader(empty ? nullptr : E.Contents.get(), empty ? 0 : static_cast<size_t>(E.PFileSize), true);
    if (!empty) Index_.SetReadable(E.Contents.get(), E.Contents.get() + E.PFileSize);
    StartRecord();
    std::string_view line;
    while (reader.Next(line)) {
      // A line the reader had to assemble is kept until the record is done.
      if (!reader.InText()) line = Keep(line);
      Index_.Take(line);
      if (!MultiSection_) continue;
      if (!HasSection_ && IsSectionLine(line)) {
        Section_ = line.substr(1, line.size() - 2);
        HasSection_ = true;
      }
      if (line != "}") continue;
      Index_.Take(SName_, Section_);
      AddRow(E, false);
      StartRecord();
    }
    if (!MultiSection_) AddRow(E, KeepEmptyCaption);
  }

 private:
  void StartRecord() {
    Index_.Begin();
    Section_ = {};
    HasSection_ = false;
    KeptUsed_ = 0;
  }
  std::string_view Keep(std::string_view Line) {
    if (KeptUsed_ == Kept_.size()) Kept_.emplace_back();
    std::string& k = Kept_[KeptUsed_++];
    k.assign(Line);
    return k;
  }
  void AddRow(UnPacked& E, bool KeepEmptyCaption) {
    // The loaded file's own fields come after the record's lines.
    Index_.Take(UnpackedFile_, E.UnPackedFile);
    Index_.Take(ParentFile_, E.ParentFile);
    Index_.Take(PFilesize_, Size_);
    if (Index_.Count() == 0 || (Index_.Value(0).empty() && !KeepEmptyCaption)) return;
    Out_.push_back(std::make_unique<Row>());
    Row& r = *Out_.back();
    Index_.Fill(r);
    r.Data = &E;
  }

  std::vector<std::unique_ptr<Row>>& Out_;
  KeyIndex Index_;
  bool MultiSection_;
  // The columns of the keys row building gives values itself (-1: none).
  int SName_, UnpackedFile_, ParentFile_, PFilesize_;
  std::string Size_;
  std::string_view Section_;  // name of the record's first section line
  bool HasSection_ = false;
  std::deque<std::string> Kept_;  // assembled lines of the record (a deque keeps their addresses)
  size_t KeptUsed_ = 0;
};

// Keeps a table in one bulk update for a scope, however the scope is left.
class BulkUpdate {
 public:
  explicit BulkUpdate(RowTable& View) : View_(View) { View_.BeginUpdate(); }
  ~BulkUpdate() { View_.EndUpdate(); }
  BulkUpdate(const BulkUpdate&) = delete;
  BulkUpdate& operator=(const BulkUpdate&) = delete;

 private:
  RowTable& View_;
};

// Deletes every row whose entry satisfies Match, in one pass. The rows of
// one entry stand together: Match is asked once for each run of them.
template <typename F>
void RemoveRowsWhere(RowTable& View, F Match) {
  const UnPacked* asked = nullptr;
  bool matched = false;
  View.DeleteRowsWhere([&](const Row& R) {
    if (!R.Data) return false;
    if (R.Data != asked) {
      asked = R.Data;
      matched = Match(*R.Data);
    }
    return matched;
  });
}

using RowList = std::vector<std::unique_ptr<Row>>;

// A list whose entries not built yet are to be turned into rows.
struct NewRowsJob {
  AllUnpacked* List;
  bool MultiSection;
};

// The rows of the entries not built yet of each job's list, in entry order,
// one vector per job. A large batch is split by bytes in two parts, across the
// lists, built on two threads and joined in order.
std::vector<RowList> BuildNewRows(const std::vector<NewRowsJob>& Jobs) {
  constexpr int64_t kSplitBytes = 1 << 20;  // below this, a thread costs more than it saves
  const size_t n = Jobs.size();
  std::vector<RowList> first(n), second(n);
  if (n == 0) return first;
  // Builds the entries from (job From, entry FromEntry) up to (job To, entry ToEntry).
  auto build = [&](size_t From, int FromEntry, size_t To, int ToEntry, std::vector<RowList>& Out) {
    for (size_t j = From; j <= To; ++j) {
      AllUnpacked& list = *Jobs[j].List;
      const int begin = j == From ? FromEntry : list.BuiltCount, end = j == To ? ToEntry : list.Count;
      if (begin >= end) continue;
      RowBuilder builder(Out[j], list.KeyList, Jobs[j].MultiSection);
      for (int i = begin; i < end; ++i) builder.Build(list[i], false);
    }
  };
  auto bytes = [](const UnPacked& E) { return std::max<int32_t>(E.PFileSize, 0); };
  int64_t total = 0;
  for (const NewRowsJob& job : Jobs)
    for (int i = job.List->BuiltCount; i < job.List->Count; ++i) total += bytes((*job.List)[i]);
  if (total < kSplitBytes || std::thread::hardware_concurrency() < 2) {
    build(0, Jobs[0].List->BuiltCount, n - 1, Jobs[n - 1].List->Count, first);
    return first;
  }
  // The split: the first entry at which the bytes before it reach half the total.
  size_t middleList = 0;
  int middle = Jobs[0].List->BuiltCount;
  for (int64_t half = 0; half < total / 2;) {
    const AllUnpacked& list = *Jobs[middleList].List;
    if (middle < list.Count)
      half += bytes(list[middle++]);
    else if (middleList + 1 < n)
      middle = Jobs[++middleList].List->BuiltCount;
    else
      break;
  }
  // Each part's failure is kept and the first part's rethrown first, as a
  // build on one thread would have met it first.
  std::exception_ptr failed[2];
  hpi::ParallelFor(2, 2, [&](size_t Part) {
    try {
      if (Part == 0)
        build(0, Jobs[0].List->BuiltCount, middleList, middle, first);
      else
        build(middleList, middle, n - 1, Jobs[n - 1].List->Count, second);
    } catch (...) {
      failed[Part] = std::current_exception();
    }
  });
  for (const std::exception_ptr& f : failed)
    if (f) std::rethrow_exception(f);
  for (size_t j = 0; j < n; ++j) {
    first[j].reserve(first[j].size() + second[j].size());
    for (auto& r : second[j]) first[j].push_back(std::move(r));
  }
  return first;
}

}  // namespace

void FillRow(Row& R, const std::vector<std::string>& Lines, const std::vector<std::string>& Keys) {
  KeyIndex index(Keys);
  index.Scan(std::vector<std::string_view>(Lines.begin(), Lines.end()));
  index.Fill(R);
}

std::string FirstSectionName(const std::vector<std::string>& Lines) {
  std::vector<std::string_view> views(Lines.begin(), Lines.end());
  return std::string(SectionNameOf(views));
}

namespace {

// The first eight bytes of Text with a to z folded to capitals, big-endian,
// zeros after a shorter text: these compare as CompareTextFoldingLower
// compares the texts' first eight bytes, a prefix first (a cell's text has no
// zero byte).
uint64_t FoldedPrefix(std::string_view Text) {
  uint64_t v = 0;
  for (size_t i = 0; i < 8; ++i) v = (v << 8) | (i < Text.size() ? FoldedByte(Text[i]) : 0);
  return v;
}

// The row numbers of Ranked, in its order.
template <typename Key>
std::vector<size_t> RowNumbers(const std::vector<std::pair<Key, size_t>>& Ranked) {
  std::vector<size_t> order(Ranked.size());
  for (size_t i = 0; i < Ranked.size(); ++i) order[i] = Ranked[i].second;
  return order;
}

// Puts Ranked in order of its keys, equal keys keeping their order: a radix
// sort on 11-bit digits from the lowest up, passing over the digits every
// key shares. A few passes over the rows instead of a comparison sort.
void SortByKey(std::vector<std::pair<uint64_t, size_t>>& Ranked) {
  if (Ranked.size() < 2) return;
  constexpr int kDigitBits = 11;
  constexpr uint64_t kDigit = (uint64_t{1} << kDigitBits) - 1;
  uint64_t varying = 0;
  for (const auto& r : Ranked) varying |= r.first ^ Ranked.front().first;
  std::vector<std::pair<uint64_t, size_t>> moved(Ranked.size());
  std::vector<size_t> start(kDigit + 1);
  for (int shift = 0; shift < 64; shift += kDigitBits) {
    if (((varying >> shift) & kDigit) == 0) continue;
    std::fill(start.begin(), start.end(), 0);
    for (const auto& r : Ranked) ++start[(r.first >> shift) & kDigit];
    size_t at = 0;
    for (size_t& s : start) at += std::exchange(s, at);
    for (const auto& r : Ranked) moved[start[(r.first >> shift) & kDigit]++] = r;
    Ranked.swap(moved);
  }
}

// A computed column of numbers (with decimals) and empty cells: sorted by
// value, empty cells first, equal cells keeping their order. False, with
// nothing changed, when a cell holds something else (a name).
bool SortByFigure(RowTable& View, int Column) {
  std::vector<std::pair<double, size_t>> ranked(static_cast<size_t>(View.RowCount()));
  for (size_t i = 0; i < ranked.size(); ++i) {
    const std::string_view text = View.RowAt(static_cast<int>(i)).Cell(static_cast<size_t>(Column));
    double v = -std::numeric_limits<double>::infinity();
    if (!text.empty()) {
      const char* begin = text.data() + (text.front() == '-' ? 1 : 0);
      const auto [end, error] = std::from_chars(begin, text.data() + text.size(), v);
      if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(v) || begin == end) return false;
      if (begin != text.data()) v = -v;
    }
    ranked[i] = {v, i};
  }
  std::stable_sort(ranked.begin(), ranked.end(), [](const auto& A, const auto& B) { return A.first < B.first; });
  View.Reorder(RowNumbers(ranked));
  return true;
}

}  // namespace

namespace {

void SortTableAscending(TableState& State, RowTable& View) {
  const auto column = static_cast<uint16_t>(State.SortColumnOf(View));
  if (column < View.ColumnCount() && View.ColumnComputed(column) && SortByFigure(View, column)) return;
  Dialogs& d = State.dialogs;
  // Each row's key is read once; the sort then compares prepared keys with
  // the same answers and the same messages as ItempCompare on the rows.
  std::vector<ItempKey> keys(static_cast<size_t>(View.RowCount()));
  bool failed = false, numbersOrEmpty = true, noNumbers = true;
  for (size_t i = 0; i < keys.size(); ++i) {
    keys[i] = ItempKeyOf(View.RowAt(static_cast<int>(i)), column);
    failed |= keys[i].Failed;
    numbersOrEmpty &= keys[i].Number.has_value() || keys[i].Text.empty();
    noNumbers &= !keys[i].Number.has_value();
  }
  if (failed) {
    View.SortRowNumbers([&](size_t A, size_t B) { return ItempCompareKeys(d, keys[A], keys[B]) < 0; });
  } else if (numbersOrEmpty) {
    // Whole numbers and empty cells only (a numeric column): every comparison
    // puts an empty cell (text "") before a number and numbers by value, so
    // one integer per row answers each of them; the row number after it
    // keeps equal rows in their order.
    // An empty cell ranks 0, a number its value above the lowest 32-bit one, plus one.
    std::vector<std::pair<uint64_t, size_t>> ranked(keys.size());
    for (size_t i = 0; i < keys.size(); ++i)
      ranked[i] = {keys[i].Number ? static_cast<uint64_t>(int64_t{*keys[i].Number} - INT32_MIN) + 1 : 0, i};
    SortByKey(ranked);
    View.Reorder(RowNumbers(ranked));
  } else if (noNumbers) {
    // Texts only: every comparison is the folded text comparison, which the
    // first eight bytes mostly decide as one integer.
    std::vector<std::pair<uint64_t, size_t>> ranked(keys.size());
    for (size_t i = 0; i < keys.size(); ++i) ranked[i] = {FoldedPrefix(keys[i].Text), i};
    SortByKey(ranked);
    // Rows of the same first eight bytes: the rest decides (a text of exactly
    // eight bytes is a prefix of a longer one), then the row number, which
    // the stable sort keeps.
    auto rest = [&](size_t Row) {
      const std::string_view t = keys[Row].Text;
      return t.substr(std::min<size_t>(8, t.size()));
    };
    for (size_t from = 0; from < ranked.size();) {
      size_t to = from + 1;
      bool longer = keys[ranked[from].second].Text.size() > 8;  // else every rest is empty, and equal
      for (; to < ranked.size() && ranked[to].first == ranked[from].first; ++to)
        longer |= keys[ranked[to].second].Text.size() > 8;
      if (longer)
        std::stable_sort(ranked.begin() + static_cast<std::ptrdiff_t>(from), ranked.begin() + static_cast<std::ptrdiff_t>(to),
                         [&](const auto& A, const auto& B) { return CompareTextFoldingLower(rest(A.second), rest(B.second)) < 0; });
      from = to;
    }
    View.Reorder(RowNumbers(ranked));
  } else {
    View.SortRowNumbers([&](size_t A, size_t B) { return ItempCompareReadKeys(keys[A], keys[B]) < 0; });
  }
}

}  // namespace

void SortTable(TableState& State, RowTable& View) {
  if (!State.SortDescendingOf(View)) {
    SortTableAscending(State, View);
    return;
  }
  // Descending: the ascending order turned round, shown to the view once.
  BulkUpdate bulk(View);
  SortTableAscending(State, View);
  std::vector<size_t> order(static_cast<size_t>(View.RowCount()));
  for (size_t i = 0; i < order.size(); ++i) order[i] = order.size() - 1 - i;
  View.Reorder(order);
}

namespace {

// What every change of a table's rows ends with: the caller's hook, the fit
// of the shown columns and the sort.
void FinishRows(TableState& State, RowTable& View, int Mode) {
  if (State.RowsBuilt) State.RowsBuilt(View, Mode);
  if (State.AutosizeSetting()) View.FitShownColumnsToContents();
  SortTable(State, View);
}

}  // namespace

void BuildNewRowsOfTables(TableState& State, const std::vector<NewRowsOfTable>& Tables) {
  std::vector<NewRowsJob> jobs;
  for (const NewRowsOfTable& t : Tables) jobs.push_back({t.List, t.MultiSection});
  std::vector<RowList> rows = BuildNewRows(jobs);
  for (size_t j = 0; j < Tables.size(); ++j) {
    BulkUpdate bulk(*Tables[j].View);
    Tables[j].View->AppendRows(std::move(rows[j]));
    Tables[j].List->BuiltCount = Tables[j].List->Count;
    FinishRows(State, *Tables[j].View, brAddNew);
  }
}

void BuildRows(TableState& State, RowTable& View, AllUnpacked& List, bool MultiSection, int Mode,
               UnPacked* Entry) {
  if (Mode == brAddNew) {
    BuildNewRowsOfTables(State, {{&View, &List, MultiSection}});
    return;
  }
  BulkUpdate bulk(View);
  switch (Mode) {
    case brReplaceFile: {
      if (!Entry) break;
      RemoveRowsWhere(View, [&](const UnPacked& e) {
        return EqualIgnoringCase(e.ParentFile, Entry->ParentFile) &&
               EqualIgnoringCase(e.UnPackedFile, Entry->UnPackedFile);
      });
      std::vector<std::unique_ptr<Row>> rows;
      RowBuilder(rows, List.KeyList, MultiSection).Build(*Entry, true);
      View.AppendRows(std::move(rows));
      break;
    }
    case brRemoveLoose:
      RemoveRowsWhere(View, [](const UnPacked& e) { return EqualIgnoringCase(e.ParentFile, kNotPacked); });
      break;
    case brRemoveAll:
      View.Clear();
      break;
    case brRemoveArchive: {
      if (!Entry) break;
      // Copied first: Entry's own rows go too, and Entry may be one of the rows' entries.
      const std::string parent = Entry->ParentFile;
      RemoveRowsWhere(View, [&](const UnPacked& e) { return EqualIgnoringCase(e.ParentFile, parent); });
      break;
    }
    default:
      break;
  }
  FinishRows(State, View, Mode);
}
