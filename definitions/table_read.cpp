#include "definitions/table_read.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <nlohmann/json.hpp>

#include "archive/ascii_case.h"

namespace {

// Whether Text is valid UTF-8: no stray continuation byte, no sequence cut
// short, no overlong form, no surrogate, nothing above U+10FFFF.
bool IsUtf8(std::string_view Text) {
  const auto* s = reinterpret_cast<const unsigned char*>(Text.data());
  const size_t n = Text.size();
  for (size_t i = 0; i < n;) {
    // ASCII, eight bytes at a time.
    while (i + 8 <= n) {
      uint64_t eight;
      std::memcpy(&eight, s + i, 8);
      if (eight & 0x8080808080808080ull) break;
      i += 8;
    }
    if (i >= n) break;
    const unsigned char c = s[i];
    if (c < 0x80) {
      ++i;
      continue;
    }
    size_t len = 0;
    unsigned lowest = 0x80, highest = 0xBF;  // the range of the second byte
    if (c >= 0xC2 && c <= 0xDF) len = 2;
    else if (c == 0xE0) len = 3, lowest = 0xA0;
    else if (c == 0xED) len = 3, highest = 0x9F;
    else if (c >= 0xE1 && c <= 0xEF) len = 3;
    else if (c == 0xF0) len = 4, lowest = 0x90;
    else if (c == 0xF4) len = 4, highest = 0x8F;
    else if (c >= 0xF1 && c <= 0xF3) len = 4;
    else return false;
    if (i + len > n || s[i + 1] < lowest || s[i + 1] > highest) return false;
    for (size_t k = 2; k < len; ++k)
      if ((s[i + k] & 0xC0) != 0x80) return false;
    i += len;
  }
  return true;
}

// Windows-1252 text as UTF-8. The five bytes the code page leaves undefined
// stand for the Latin-1 control characters of their value.
std::string Windows1252ToUtf8(std::string_view Text) {
  static constexpr char16_t kHigh[32] = {
      0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
      0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
      0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
  std::string out;
  out.reserve(Text.size() + Text.size() / 8);
  for (char ch : Text) {
    const auto c = static_cast<unsigned char>(ch);
    const unsigned u = c >= 0x80 && c < 0xA0 ? kHigh[c - 0x80] : c;
    if (u < 0x80) {
      out += static_cast<char>(u);
    } else if (u < 0x800) {
      out += static_cast<char>(0xC0 | (u >> 6));
      out += static_cast<char>(0x80 | (u & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | (u >> 12));
      out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (u & 0x3F));
    }
  }
  return out;
}

// The encodings a spreadsheet may save that are not read: UTF-16 and UTF-32
// (Excel's "Unicode Text"). Empty when Text is none of them.
std::string UnreadableEncoding(std::string_view Text) {
  if (Text.substr(0, 4) == std::string_view("\xFF\xFE\0\0", 4) || Text.substr(0, 4) == std::string_view("\0\0\xFE\xFF", 4))
    return "UTF-32";
  if (Text.substr(0, 2) == "\xFF\xFE" || Text.substr(0, 2) == "\xFE\xFF") return "UTF-16";
  // Without a byte order mark: ASCII captions in UTF-16 put a zero byte
  // beside every letter.
  const std::string_view head = Text.substr(0, 64);
  if (std::count(head.begin(), head.end(), '\0') * 4 >= static_cast<long>(head.size()) && !head.empty())
    return "UTF-16";
  return "";
}

// Reads the records of CSV or TSV text one at a time.
class RecordReader {
 public:
  RecordReader(std::string_view Text, char Separator, bool Escaped, bool CrEndsLine)
      : T_(Text), Sep_(Separator), Escaped_(Escaped), CrEnds_(CrEndsLine) {
    stop_[static_cast<unsigned char>(Separator)] = stop_['\n'] = stop_['\r'] = true;
    if (Escaped) stop_['\\'] = true;
  }

  // Reads the record that starts at I and moves I past its line end. The
  // fields go to Fields when it is given: each a view of the text where the
  // field is written as it reads, else of Scratch, which gets the field with
  // its quotes or escapes undone. Scratch must have room for the record's
  // text (undoing never lengthens it), so that it never moves. AnyText says
  // whether a field was not empty. False, with Error, for a quoted field
  // that is never closed.
  bool Read(size_t& I, std::vector<std::optional<std::string_view>>* Fields, std::vector<char>* Scratch,
            bool& AnyText, int Number, std::string& Error) const {
    AnyText = false;
    if (Fields) Fields->clear();
    if (PlainRecord(I, Fields, AnyText)) return true;
    for (;;) {
      // The usual field, neither quoted nor escaped, up to its separator or
      // its line's end: read where it lies.
      if (I < T_.size() && (Escaped_ || T_[I] != '"')) {
        size_t next = 0;
        const size_t end = StopFrom(I);
        const bool last = end == T_.size() || (T_[end] != Sep_ && LineEndAt(end, next));
        if (last || T_[end] == Sep_) {
          AnyText = AnyText || end > I;
          if (Fields) Fields->emplace_back(T_.substr(I, end - I));
          I = end;
          if (last) {
            if (I < T_.size()) I = next;
            return true;
          }
          ++I;
          continue;
        }
        // An escape, or a CR that ends no line: read as below.
      }
      // The field so far: T_[begin, begin + length), or Scratch from begin.
      size_t begin = I, length = 0;
      bool inScratch = false;
      const auto add = [&](size_t From, size_t Count) {
        if (!Fields) return;
        if (!inScratch) {
          if (length == 0) begin = From;
          if (length == 0 || From == begin + length) {
            length += Count;
            return;
          }
          // Not where the field goes on: from here it is put together.
          inScratch = true;
          const size_t at = Scratch->size();
          Scratch->insert(Scratch->end(), T_.begin() + static_cast<long>(begin),
                          T_.begin() + static_cast<long>(begin + length));
          begin = at;
        }
        Scratch->insert(Scratch->end(), T_.begin() + static_cast<long>(From),
                        T_.begin() + static_cast<long>(From + Count));
        length += Count;
      };
      const auto addChar = [&](char C) {
        if (!Fields) return;
        if (!inScratch) {
          inScratch = true;
          const size_t at = Scratch->size();
          Scratch->insert(Scratch->end(), T_.begin() + static_cast<long>(begin),
                          T_.begin() + static_cast<long>(begin + length));
          begin = at;
        }
        Scratch->push_back(C);
        ++length;
      };
      bool started = false;  // something of the field was read
      bool text = false;     // and it was not empty
      size_t next = 0;
      while (I < T_.size()) {
        const char c = T_[I];
        if (c == Sep_ || LineEndAt(I, next)) break;
        if (c == '"' && !Escaped_ && !started) {
          // A quoted part runs to the next lone quote; "" stands for one quote.
          const size_t start = I++;
          for (;;) {
            const size_t quote = T_.find('"', I);
            if (quote == std::string_view::npos) {
              Error = "a quoted field in row " + std::to_string(Number) + " is never closed (it starts at byte " +
                      std::to_string(start) + ")";
              return false;
            }
            text = text || quote > I;
            add(I, quote - I);
            I = quote + 1;
            if (I < T_.size() && T_[I] == '"') {
              text = true;
              add(quote, 1);
              ++I;
            } else {
              break;
            }
          }
          started = true;
          continue;
        }
        if (c == '\\' && Escaped_ && I + 1 < T_.size()) {
          const char e = T_[I + 1];
          if (e == 't') addChar('\t');
          else if (e == 'r') addChar('\r');
          else if (e == 'n') addChar('\n');
          else if (e == '\\') add(I + 1, 1);
          else add(I, 2);
          I += 2;
          started = text = true;
          continue;
        }
        // Plain text up to the next byte that may end or escape it, taken
        // whole (a CR that ends no line is text).
        size_t end = I + 1;
        while (end < T_.size() && !stop_[static_cast<unsigned char>(T_[end])]) ++end;
        add(I, end - I);
        started = text = true;
        I = end;
      }
      AnyText = AnyText || text;
      if (Fields)
        Fields->emplace_back(inScratch ? std::string_view(Scratch->data() + begin, length) : T_.substr(begin, length));
      if (I >= T_.size() || T_[I] != Sep_) {
        if (I < T_.size()) I = next;  // the last record needs no line end
        return true;
      }
      ++I;
    }
  }

 private:
  // Reads the record at I as Read does when its line holds no quote (nor,
  // in escaped text, a backslash) and ends in LF or CR LF (or the text's
  // end): its fields are the text between separators. False, with nothing
  // read, for any other record.
  bool PlainRecord(size_t& I, std::vector<std::optional<std::string_view>>* Fields, bool& AnyText) const {
    if (CrEnds_) return false;
    const char* text = T_.data();
    const auto* lf = static_cast<const char*>(std::memchr(text + I, '\n', T_.size() - I));
    const size_t lineEnd = lf ? static_cast<size_t>(lf - text) : T_.size();
    if (std::memchr(text + I, Escaped_ ? '\\' : '"', lineEnd - I)) return false;
    // A CR right before the LF ends the line with it; any other is text.
    const size_t end = lf && lineEnd > I && text[lineEnd - 1] == '\r' ? lineEnd - 1 : lineEnd;
    size_t start = I;
    const auto field = [&](size_t To) {
      AnyText = AnyText || To > start;
      if (Fields) Fields->emplace_back(T_.substr(start, To - start));
      start = To + 1;
    };
    if (Fields) {
      size_t p = I;
#if defined(__SSE2__)
      const __m128i sep = _mm_set1_epi8(Sep_);
      for (; p + 16 <= end; p += 16) {
        auto mask = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(text + p)), sep)));
        for (; mask != 0; mask &= mask - 1) field(p + static_cast<size_t>(__builtin_ctz(mask)));
      }
#endif
      for (; p < end; ++p)
        if (text[p] == Sep_) field(p);
      field(end);
    } else {
      // Only whether any field holds text: a byte other than a separator.
      for (size_t p = I; p < end && !AnyText; ++p) AnyText = text[p] != Sep_;
    }
    I = lf ? lineEnd + 1 : T_.size();
    return true;
  }

  // The first byte from I on that may end or escape a field; the text's
  // size when there is none. Sixteen bytes at a time where the processor
  // allows.
  size_t StopFrom(size_t I) const {
#if defined(__SSE2__)
    const __m128i sep = _mm_set1_epi8(Sep_), lf = _mm_set1_epi8('\n'), cr = _mm_set1_epi8('\r'),
                  escape = _mm_set1_epi8(Escaped_ ? '\\' : '\n');
    for (; I + 16 <= T_.size(); I += 16) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(T_.data() + I));
      const __m128i m = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, sep), _mm_cmpeq_epi8(v, lf)),
                                     _mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, escape)));
      if (const int mask = _mm_movemask_epi8(m)) return I + static_cast<size_t>(__builtin_ctz(static_cast<unsigned>(mask)));
    }
#endif
    while (I < T_.size() && !stop_[static_cast<unsigned char>(T_[I])]) ++I;
    return I;
  }

  // Whether a line ends at I: LF, CR LF, or (in text whose lines end so) a
  // lone CR; Next is where the next line starts.
  bool LineEndAt(size_t I, size_t& Next) const {
    const char c = T_[I];
    if (c == '\n') {
      Next = I + 1;
      return true;
    }
    if (c != '\r') return false;
    if (I + 1 < T_.size() && T_[I + 1] == '\n') {
      Next = I + 2;
      return true;
    }
    Next = I + 1;
    return CrEnds_;
  }

  std::string_view T_;
  char Sep_;
  bool Escaped_, CrEnds_;
  std::array<bool, 256> stop_{};
};

// The separator the line of captions uses: of comma, semicolon and tab
// outside quotes, the most frequent; a comma when it holds none.
char FindSeparator(std::string_view Text, bool CrEndsLine) {
  size_t counts[3] = {0, 0, 0};
  bool quoted = false;
  for (size_t i = 0; i < Text.size(); ++i) {
    const char c = Text[i];
    if (c == '"') quoted = !quoted;
    if (quoted) continue;
    if (c == '\n' || (c == '\r' && (CrEndsLine || (i + 1 < Text.size() && Text[i + 1] == '\n')))) break;
    if (c == ',') ++counts[0];
    else if (c == ';') ++counts[1];
    else if (c == '\t') ++counts[2];
  }
  if (counts[1] > counts[0] && counts[1] >= counts[2]) return ';';
  if (counts[2] > counts[0] && counts[2] > counts[1]) return '\t';
  return ',';
}

// Where the JSON value that starts at I (an object) ends, strings and nesting
// taken into account; npos when it never does.
size_t JsonObjectEnd(std::string_view T, size_t I) {
  int depth = 0;
  for (; I < T.size(); ++I) {
    const char c = T[I];
    if (c == '"') {
      for (++I; I < T.size() && T[I] != '"'; ++I)
        if (T[I] == '\\') ++I;
      if (I >= T.size()) return std::string_view::npos;
    } else if (c == '{' || c == '[') {
      ++depth;
    } else if (c == '}' || c == ']') {
      if (--depth == 0) return I + 1;
    }
  }
  return std::string_view::npos;
}

size_t SkipJsonBlanks(std::string_view T, size_t I) {
  while (I < T.size() && (T[I] == ' ' || T[I] == '\t' || T[I] == '\r' || T[I] == '\n')) ++I;
  return I;
}

// The cells of one JSON object into Cells (when given) by their position in
// Column; with Captions, captions not in Column yet are added to both. False,
// with Error, when it is not a flat object of texts.
bool ReadJsonObject(std::string_view Object, int Number, const std::map<std::string, size_t>& Column,
                    std::vector<std::string>* Captions, std::map<std::string, size_t>* AddTo, ReadTableCells* Cells,
                    std::string& Error, bool* AnyText = nullptr) {
  const nlohmann::json doc = nlohmann::json::parse(Object.begin(), Object.end(), nullptr, false);
  if (doc.is_discarded() || !doc.is_object()) {
    Error = "row " + std::to_string(Number) + " is not a JSON object";
    return false;
  }
  for (const auto& [key, value] : doc.items()) {
    auto at = Column.find(key);
    if (at == Column.end()) {
      if (!Captions || !AddTo) continue;
      at = AddTo->emplace(key, Captions->size()).first;
      Captions->push_back(key);
    }
    if (!value.is_string() && !value.is_number() && !value.is_null()) {
      Error = "row " + std::to_string(Number) + ": the value of " + key + " is not text";
      return false;
    }
    if (AnyText && (value.is_number() || (value.is_string() && !value.get_ref<const std::string&>().empty())))
      *AnyText = true;
    if (!Cells) continue;
    if (Cells->size() <= at->second) Cells->resize(at->second + 1);
    if (value.is_string()) (*Cells)[at->second] = value.get<std::string>();
    else if (value.is_number()) (*Cells)[at->second] = value.dump();
  }
  return true;
}

}  // namespace

void ReadTable::CellsOf(const ReadTableRow& Row, ReadTableCellViews& Cells) const {
  std::string error;
  const std::string_view text = std::string_view(Text_).substr(Row.Begin, Row.End - Row.Begin);
  Cells.Scratch.clear();
  if (Dialect_ == Dialect::Json) {
    ReadTableCells cells;
    ReadJsonObject(text, Row.Number, JsonColumn_, nullptr, nullptr, &cells, error);
    size_t size = 0;
    for (const std::optional<std::string>& c : cells) size += c ? c->size() : 0;
    Cells.Scratch.reserve(size);
    Cells.Cells.clear();
    for (const std::optional<std::string>& c : cells) {
      if (!c) {
        Cells.Cells.emplace_back();
        continue;
      }
      const size_t at = Cells.Scratch.size();
      Cells.Scratch.insert(Cells.Scratch.end(), c->begin(), c->end());
      Cells.Cells.emplace_back(std::string_view(Cells.Scratch.data() + at, c->size()));
    }
    return;
  }
  Cells.Scratch.reserve(text.size());
  const RecordReader reader(text, Separator_, Dialect_ == Dialect::Escaped, CrEndsLine_);
  size_t i = 0;
  bool any = false;
  reader.Read(i, &Cells.Cells, &Cells.Scratch, any, Row.Number, error);
}

ReadTableCells ReadTable::CellsOf(const ReadTableRow& Row) const {
  ReadTableCellViews views;
  CellsOf(Row, views);
  ReadTableCells cells;
  for (const std::optional<std::string_view>& v : views.Cells)
    cells.emplace_back(v ? std::optional<std::string>(*v) : std::nullopt);
  return cells;
}

bool ParseTable(std::string Text, TableFormat Format, ReadTable& Out, std::string& Error) {
  Out = ReadTable();
  const std::string encoding = UnreadableEncoding(Text);
  if (!encoding.empty()) {
    Error = "the table is saved as " + encoding + ", which is not read; save it as UTF-8 (or the spreadsheet's plain CSV)";
    return false;
  }
  // A spreadsheet may save UTF-8 with a byte order mark, or its own code page.
  if (std::string_view(Text).substr(0, 3) == "\xEF\xBB\xBF") Text.erase(0, 3);
  if (!IsUtf8(Text)) {
    Text = Windows1252ToUtf8(Text);
    Out.Notes.push_back("the table is not UTF-8; it was read as Windows-1252");
  }
  Out.Text_ = std::move(Text);
  const std::string_view text = Out.Text_;

  if (Format == TableFormat::Json) {
    Out.Dialect_ = ReadTable::Dialect::Json;
    size_t i = SkipJsonBlanks(text, 0);
    if (i >= text.size() || text[i] != '[') {
      Error = "not a JSON array of objects";
      return false;
    }
    i = SkipJsonBlanks(text, i + 1);
    int number = 0;
    if (i < text.size() && text[i] == ']') ++i;
    else
      for (;;) {
        ++number;
        const size_t end = i < text.size() && text[i] == '{' ? JsonObjectEnd(text, i) : std::string_view::npos;
        if (end == std::string_view::npos) {
          Error = "row " + std::to_string(number) + " is not a JSON object";
          return false;
        }
        bool any = false;
        if (!ReadJsonObject(text.substr(i, end - i), number, Out.JsonColumn_, &Out.Captions, &Out.JsonColumn_, nullptr,
                            Error, &any))
          return false;
        if (any) Out.Rows.push_back({number, i, end});
        i = SkipJsonBlanks(text, end);
        if (i < text.size() && text[i] == ',') {
          i = SkipJsonBlanks(text, i + 1);
          continue;
        }
        if (i < text.size() && text[i] == ']') {
          ++i;
          break;
        }
        Error = "not a JSON array of objects";
        return false;
      }
    if (SkipJsonBlanks(text, i) != text.size()) {
      Error = "not a JSON array of objects: text follows it";
      return false;
    }
    return true;
  }

  // Lines end in CR alone when no LF is in the text.
  Out.CrEndsLine_ = text.find('\n') == std::string_view::npos && text.find('\r') != std::string_view::npos;
  Out.Separator_ = FindSeparator(text, Out.CrEndsLine_);
  // A table saved by a spreadsheet as CSV under a .tsv name is read as CSV.
  Out.Dialect_ = Format == TableFormat::Tsv && Out.Separator_ == '\t' ? ReadTable::Dialect::Escaped
                                                                       : ReadTable::Dialect::Quoted;
  Out.MayBeGuarded = true;
  const RecordReader reader(text, Out.Separator_, Out.Dialect_ == ReadTable::Dialect::Escaped, Out.CrEndsLine_);
  size_t i = 0;
  bool any = false;
  std::vector<std::optional<std::string_view>> captions;
  std::vector<char> scratch;
  size_t captionsEnd = 0;  // the line of captions, read once for its size
  if (!text.empty() && !reader.Read(captionsEnd, nullptr, nullptr, any, 1, Error)) return false;
  scratch.reserve(captionsEnd);
  if (!text.empty() && !reader.Read(i, &captions, &scratch, any, 1, Error)) return false;
  for (const std::optional<std::string_view>& c : captions) Out.Captions.emplace_back(*c);
  if (Out.Captions.empty()) {
    Error = "the table is empty: no line of column captions";
    return false;
  }
  if (Out.Captions.size() == 1) {
    // One caption holding what looks like another separator: the spreadsheet
    // saved with a separator that is not read.
    const std::string& only = Out.Captions.front();
    const size_t at = only.find_first_of("|:/!^~ ");
    if (at != std::string::npos && only.find("ParentFile") != std::string::npos) {
      Error = "the captions are separated by \"" + only.substr(at, 1) +
              "\"; a table's fields are separated by a comma, a semicolon or a tab";
      return false;
    }
  }
  int number = 2;
  while (i < text.size()) {
    const size_t begin = i;
    if (!reader.Read(i, nullptr, nullptr, any, number, Error)) return false;
    // A blank line a spreadsheet left costs nothing.
    if (any) Out.Rows.push_back({number, begin, i});
    ++number;
  }
  return true;
}

std::optional<TableFormat> FormatOfFileName(std::string_view Name) {
  const size_t dot = Name.rfind('.');
  if (dot == std::string_view::npos) return std::nullopt;
  const std::string ext = LowerAscii(std::string(Name.substr(dot + 1)));
  if (ext == "csv") return TableFormat::Csv;
  if (ext == "tsv") return TableFormat::Tsv;
  if (ext == "json") return TableFormat::Json;
  return std::nullopt;
}
