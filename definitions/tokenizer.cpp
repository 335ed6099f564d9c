#include "definitions/tokenizer.h"

#include <array>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Position of the next CR LF pair at or after From; Size when there is none.
size_t FindLineEnd(const char* Text, size_t From, size_t Size) {
  while (From + 1 < Size) {
    const auto* cr = static_cast<const char*>(std::memchr(Text + From, '\r', Size - 1 - From));
    if (!cr) return Size;
    const auto at = static_cast<size_t>(cr - Text);
    if (Text[at + 1] == '\n') return at;
    From = at + 1;
  }
  return Size;
}

// Position of the next "*/" starting the search at From; Size when there is none.
size_t FindBlockEnd(const char* Text, size_t From, size_t Size) {
  std::string_view rest(Text + From, Size - From);
  size_t p = rest.find("*/");
  return p == std::string_view::npos ? Size : From + p;
}

// Characters that may start a rule other than "append": in clean mode before
// the first "=" of a line, after it, and in raw mode.
struct Stops {
  std::array<bool, 256> BeforeEquals{}, AfterEquals{}, Raw{};
  Stops() {
    for (unsigned char c : {'=', ' ', '\t', '/', ';', '\r', '\0'}) BeforeEquals[c] = true;
    for (unsigned char c : {'/', ';', '\r', '\0'}) AfterEquals[c] = true;
    Raw['\r'] = Raw['\0'] = true;
  }
};
const Stops kStops;

enum class StopSet { BeforeEquals, AfterEquals, Raw };

// First position in [I, Last) holding a character of the stop set; Last when
// there is none. Sixteen characters at a time where the processor allows.
template <StopSet S>
size_t FindStop(const char* Text, size_t I, size_t Last) {
#if defined(__SSE2__)
  auto is = [](__m128i V, char C) { return _mm_cmpeq_epi8(V, _mm_set1_epi8(C)); };
  while (I + 16 <= Last) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(Text + I));
    __m128i m = _mm_or_si128(is(v, '\r'), is(v, '\0'));
    if constexpr (S != StopSet::Raw) m = _mm_or_si128(m, _mm_or_si128(is(v, '/'), is(v, ';')));
    if constexpr (S == StopSet::BeforeEquals)
      m = _mm_or_si128(m, _mm_or_si128(is(v, '='), _mm_or_si128(is(v, ' '), is(v, '\t'))));
    const int mask = _mm_movemask_epi8(m);
    if (mask != 0) return I + static_cast<size_t>(__builtin_ctz(static_cast<unsigned>(mask)));
    I += 16;
  }
#endif
  const std::array<bool, 256>& stop = S == StopSet::Raw            ? kStops.Raw
                                      : S == StopSet::BeforeEquals ? kStops.BeforeEquals
                                                                   : kStops.AfterEquals;
  while (I < Last && !stop[static_cast<unsigned char>(Text[I])]) ++I;
  return I;
}

// Where a clean line's text stops, from I on: the first character of the
// stop set before the first "=", or when that is the "=", the first one of
// the stop set after it; Last when there is none. The common short line is
// read from one sixteen-byte load.
size_t FindCleanStop(const char* Text, size_t I, size_t Last) {
#if defined(__SSE2__)
  if (I + 16 <= Last) {
    auto is = [](__m128i V, char C) { return _mm_cmpeq_epi8(V, _mm_set1_epi8(C)); };
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(Text + I));
    const __m128i after = _mm_or_si128(_mm_or_si128(is(v, '\r'), is(v, '\0')), _mm_or_si128(is(v, '/'), is(v, ';')));
    const auto equals = static_cast<unsigned>(_mm_movemask_epi8(is(v, '=')));
    const auto afterMask = static_cast<unsigned>(_mm_movemask_epi8(after));
    const unsigned before =
        afterMask | equals | static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(is(v, ' '), is(v, '\t'))));
    if (before == 0) {
      const size_t i = FindStop<StopSet::BeforeEquals>(Text, I + 16, Last);
      return i < Last && Text[i] == '=' ? FindStop<StopSet::AfterEquals>(Text, i + 1, Last) : i;
    }
    const auto first = static_cast<unsigned>(__builtin_ctz(before));
    if (!(equals >> first & 1u)) return I + first;
    const unsigned later = afterMask & ~((2u << first) - 1);
    return later != 0 ? I + static_cast<size_t>(__builtin_ctz(later)) : FindStop<StopSet::AfterEquals>(Text, I + 16, Last);
  }
#endif
  const size_t i = FindStop<StopSet::BeforeEquals>(Text, I, Last);
  return i < Last && Text[i] == '=' ? FindStop<StopSet::AfterEquals>(Text, i + 1, Last) : i;
}

}  // namespace

LineReader::LineReader(const char* Text, size_t Size, bool Clean)
    : Text_(Text), Size_(Text ? Size : 0), Clean_(Clean) {}

// Adds Text[From, From + Count) to the line: it stays a view into the text as
// long as the pieces follow each other there, and is copied out at the first gap.
void LineReader::AddSpan(size_t From, size_t Count) {
  if (Count == 0) return;
  if (InScratch_) {
    Scratch_.append(Text_ + From, Count);
  } else if (Length_ == 0) {
    Begin_ = From;
    Length_ = Count;
  } else if (Begin_ + Length_ == From) {
    Length_ += Count;
  } else {
    Scratch_.assign(Text_ + Begin_, Length_);
    Scratch_.append(Text_ + From, Count);
    InScratch_ = true;
  }
}

// Takes ordinary characters from I on until one that may start another rule or until Last,
// and returns the position reached. Such runs hold no zero byte.
size_t LineReader::AppendRun(size_t I, size_t Last) {
  const size_t from = I;
  I = !Clean_          ? FindStop<StopSet::Raw>(Text_, I, Last)
      : BeforeEquals_ ? FindStop<StopSet::BeforeEquals>(Text_, I, Last)
                      : FindStop<StopSet::AfterEquals>(Text_, I, Last);
  if (!Cut_) AddSpan(from, I - from);
  return I;
}

// A single character; a zero byte ends the line's text: what follows it on
// that line is dropped.
void LineReader::Append(size_t I) {
  if (Text_[I] == '\0')
    Cut_ = true;
  else if (!Cut_)
    AddSpan(I, 1);
}

// A CR LF: the text so far becomes a line; raw reading keeps empty lines too.
bool LineReader::EndLine(std::string_view& Line) {
  Cut_ = false;
  if (Clean_ && Empty()) return false;
  Line = Current();
  return true;
}

// End of text: text holding at least one character becomes the last line. A
// line cut to nothing by a zero byte is no extra line, in either reading.
bool LineReader::Finish(std::string_view& Line) {
  Done_ = true;
  if (Empty()) return false;
  Line = Current();
  return true;
}

// The common clean line, read in one go from its start: blanks, a key, maybe
// "=" and a value, maybe a ";" or "//" comment, then CR LF, all before the
// last character of the text. 1: a line was read; 0: an empty line was passed
// over; -1: the line is of another shape, and nothing was taken.
int LineReader::PlainLine(std::string_view& Line) {
  const char* text = Text_;
  const size_t last = Size_ - 1;
  size_t i = I_;
  while (i < last && (text[i] == ' ' || text[i] == '\t')) ++i;
  const size_t begin = i;
  i = FindCleanStop(text, i, last);
  if (i >= last) return -1;
  const size_t end = i;
  const char c = text[i], next = text[i + 1];
  if (c == ';' && next == '\r' && i + 2 < Size_ && text[i + 2] == '\n') {
    ++i;  // the usual ";" right before the line's end
  } else if (c == ';' || (c == '/' && next == '/')) {
    i = FindLineEnd(text, i, Size_);
    if (i >= last) return -1;
  } else if (!(c == '\r' && next == '\n')) {
    return -1;
  }
  I_ = i + 2;
  if (end == begin) return 0;
  Line = std::string_view(text + begin, end - begin);
  return 1;
}

bool LineReader::Next(std::string_view& Line) {
  // The line given last is done with.
  Length_ = 0;
  InScratch_ = false;
  Scratch_.clear();
  const char* text = Text_;
  const size_t size = Size_;
  const size_t last = size - 1;
  if (Clean_ && !Cut_ && BeforeEquals_) {
    for (int read; !Done_ && I_ < size && (read = PlainLine(Line)) >= 0;)
      if (read == 1) return true;
  }
  while (!Done_) {
    if (I_ >= size) return Finish(Line);
    // Ordinary characters are taken a run at a time.
    I_ = AppendRun(I_, last);
    const char c = text[I_];
    // The last character of the text ends the scan.
    if (I_ == last) {
      if (!(Clean_ && (c == ';' || c == ' ' || c == '\t'))) Append(I_);
      return Finish(Line);
    }
    const char next = text[I_ + 1];
    if (Clean_) {
      if (c == '=') BeforeEquals_ = false;
      if ((c == ' ' || c == '\t') && BeforeEquals_) {
        ++I_;
        continue;
      }
      if ((c == '/' && next == '/') || c == ';') {
        // Line comment: skip to the CR LF, which still ends the line.
        I_ = FindLineEnd(text, I_, size);
        continue;
      }
      if (c == '/' && next == '*') {
        // Block comment; the search for "*/" starts at the '*', so "/*/" is empty.
        const size_t end = FindBlockEnd(text, I_ + 1, size);
        if (end == size) return Finish(Line);
        I_ = end + 2;
        continue;
      }
    }
    if (c == '\r' && next == '\n') {
      BeforeEquals_ = true;
      I_ += 2;
      if (EndLine(Line)) return true;
      continue;
    }
    Append(I_);
    ++I_;
  }
  return false;
}

void GetUnpackedLines(const UnPacked& Entry, bool Clean, LineArena& Out) {
  Out.Clear();
  if (!Entry.Contents || Entry.PFileSize <= 0) return;
  Out.Text.reserve(static_cast<size_t>(Entry.PFileSize));
  LineReader reader(Entry.Contents.get(), static_cast<size_t>(Entry.PFileSize), Clean);
  std::string_view line;
  while (reader.Next(line)) {
    Out.Text.append(line);
    Out.Starts.push_back(Out.Text.size());
  }
}

std::vector<std::string> GetUnpackedLines(const UnPacked& Entry, bool Clean) {
  std::vector<std::string> lines;
  if (!Entry.Contents || Entry.PFileSize <= 0) return lines;
  LineReader reader(Entry.Contents.get(), static_cast<size_t>(Entry.PFileSize), Clean);
  std::string_view line;
  while (reader.Next(line)) lines.emplace_back(line);
  return lines;
}
