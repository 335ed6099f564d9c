#include "definitions/table_format.h"

#include <libdeflate.h>

#include <array>
#include <cstdio>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <nlohmann/json.hpp>

#include "definitions/formula_guard.h"

namespace {

// Rows are written to the stream in pieces of about this size: the output
// never has to be held whole.
constexpr size_t kPieceSize = 64 * 1024;

// Writes Piece to Out when it has grown past kPieceSize (or always, with
// Last), then empties it. False once Out has failed: what follows would be
// lost too.
bool WritePiece(std::ostream& Out, std::string& Piece, bool Last = false) {
  if (Piece.size() < kPieceSize && !Last) return true;
  Out.write(Piece.data(), static_cast<std::streamsize>(Piece.size()));
  Piece.clear();
  return static_cast<bool>(Out);
}

// Latin-1 byte C as UTF-8.
inline void AppendByte(std::string& Out, unsigned char C) {
  if (C < 0x80) {
    Out += static_cast<char>(C);
  } else {
    Out += static_cast<char>(0xC0 | (C >> 6));
    Out += static_cast<char>(0x80 | (C & 0x3F));
  }
}

// Whether a CSV or TSV cell gets the formula guard. Only a cell beginning
// with one of a few bytes may need it; most cells (empty, digits, letters)
// are passed at a glance.
bool Guarded(bool FormulaGuard, std::string_view Text) {
  static constexpr auto kMayStartFormula = [] {
    std::array<bool, 256> may{};
    for (unsigned char c : {'\'', '=', '@', '\t', '\r', '+', '-'}) may[c] = true;
    return may;
  }();
  return FormulaGuard && !Text.empty() && kMayStartFormula[static_cast<unsigned char>(Text.front())] &&
         NeedsFormulaGuard(Text);
}

// One CSV or TSV field (JSON values are written by the row writer).
void AppendField(std::string& Out, TableFormat Format, std::string_view Text, bool FormulaGuard) {
  if (Guarded(FormulaGuard, Text)) {
    AppendField(Out, Format, GuardFormula(Text), false);
    return;
  }
  if (Format == TableFormat::Csv)
    AppendCsvField(Out, Text);
  else
    AppendTsvField(Out, Text);
}

// Every cell of a row by column (0 = caption), in one pass over its filled
// cells, then the extra columns' texts; columns the row has no text for stay
// empty.
void RowCells(const RowTable& View, int I, size_t ColumnCount, const ExtraColumns* Extra,
              std::vector<std::string>& ExtraTexts, std::vector<std::string_view>& Cells) {
  const Row& r = View.RowAt(I);
  Cells.assign(ColumnCount, std::string_view());
  if (ColumnCount > 0) Cells[0] = r.Caption;
  r.ForEachFilledSubItem([&](size_t J, std::string_view Text) {
    if (J + 1 < ColumnCount) Cells[J + 1] = Text;
  });
  if (!Extra) return;
  ExtraTexts.assign(Extra->Captions.size(), std::string());
  Extra->Cells(I, ExtraTexts);
  for (const std::string& t : ExtraTexts) Cells.emplace_back(t);
}

std::string CaptionOf(const RowTable& View, const ExtraColumns* Extra, int Column) {
  return Column < View.ColumnCount() ? View.ColumnCaption(Column)
                                     : Extra->Captions.at(static_cast<size_t>(Column - View.ColumnCount()));
}

}  // namespace

void AppendLatin1AsUtf8(std::string& Out, std::string_view Text) {
  for (char c : Text) AppendByte(Out, static_cast<unsigned char>(c));
}

namespace {

bool ValidUtf8(std::string_view S) {
  size_t i = 0;
  while (i < S.size()) {
    const auto c = static_cast<unsigned char>(S[i]);
    const size_t n = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
    if (n == 0 || i + n > S.size()) return false;
    for (size_t k = 1; k < n; ++k)
      if ((static_cast<unsigned char>(S[i + k]) & 0xC0) != 0x80) return false;
    i += n;
  }
  return true;
}

}  // namespace

std::string TextAsUtf8(std::string_view Text) {
  if (ValidUtf8(Text)) return std::string(Text);
  std::string out;
  AppendLatin1AsUtf8(out, Text);
  return out;
}

std::string Latin1ToUtf8(std::string_view Text) {
  std::string out;
  AppendLatin1AsUtf8(out, Text);
  return out;
}

namespace {

// Bytes that make a CSV field more than a plain copy: those that need quotes,
// and the 8-bit ones, which take two bytes in UTF-8.
constexpr auto kCsvSpecial = [] {
  std::array<bool, 256> special{};
  special[','] = special['"'] = special['\r'] = special['\n'] = true;
  for (size_t c = 0x80; c < 256; ++c) special[c] = true;
  return special;
}();

// The most bytes PutCsvField writes for Text: quotes, and every byte doubled.
inline size_t CsvRoom(std::string_view Text) { return 2 * Text.size() + 2; }

// Latin-1 byte C as UTF-8 at P; returns the end.
inline char* PutByte(char* P, unsigned char C) {
  if (C < 0x80) {
    *P++ = static_cast<char>(C);
  } else {
    *P++ = static_cast<char>(0xC0 | (C >> 6));
    *P++ = static_cast<char>(0x80 | (C & 0x3F));
  }
  return P;
}

// Whether Text holds no byte that needs quotes or conversion in CSV: no
// comma, quote, CR or LF, and no byte above 0x7F. Sixteen bytes at a time
// where the processor allows.
bool PlainCsv(std::string_view Text) {
  size_t i = 0;
#if defined(__SSE2__)
  const __m128i comma = _mm_set1_epi8(','), quote = _mm_set1_epi8('"'), cr = _mm_set1_epi8('\r'),
                lf = _mm_set1_epi8('\n');
  for (; i + 16 <= Text.size(); i += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(Text.data() + i));
    const __m128i special = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, comma), _mm_cmpeq_epi8(v, quote)),
                                         _mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf)));
    if (_mm_movemask_epi8(_mm_or_si128(special, v)) != 0) return false;  // the high bit: a byte above 0x7F
  }
#endif
  for (; i < Text.size(); ++i)
    if (kCsvSpecial[static_cast<unsigned char>(Text[i])]) return false;
  return true;
}

// Text as a CSV field at P, which has CsvRoom(Text) bytes of room; returns
// the end. Most cells hold no byte that needs quotes or conversion
// (PlainCsv), and they are copied whole.
char* PutCsvField(char* P, std::string_view Text) {
  if (PlainCsv(Text)) {
    if (!Text.empty()) std::memcpy(P, Text.data(), Text.size());
    return P + Text.size();
  }
  bool quoted = false;
  for (size_t i = 0; i < Text.size(); ++i) {
    const char c = Text[i];
    quoted |= c == ',' || c == '"' || c == '\r' || c == '\n';
  }
  if (quoted) *P++ = '"';
  for (char c : Text) {
    if (c == '"') *P++ = '"';
    P = PutByte(P, static_cast<unsigned char>(c));
  }
  if (quoted) *P++ = '"';
  return P;
}


// A CSV field at P when its text needs nothing done (Plain), else as
// PutCsvField writes it; with the formula guard where the cell needs it.
inline char* PutCsvCell(char* P, std::string_view Cell, bool Plain, bool FormulaGuard) {
  if (Guarded(FormulaGuard, Cell)) return PutCsvField(P, GuardFormula(Cell));
  if (!Plain) return PutCsvField(P, Cell);
  if (!Cell.empty()) std::memcpy(P, Cell.data(), Cell.size());
  return P + Cell.size();
}

// Whether Columns is every column of the view in order (ColumnCount of
// them, at least one), then every extra column in order: the usual export.
bool EveryColumnInOrder(const std::vector<int>& Columns, size_t ColumnCount, size_t ExtraCount) {
  if (ColumnCount == 0 || Columns.size() != ColumnCount + ExtraCount) return false;
  for (size_t k = 0; k < Columns.size(); ++k)
    if (Columns[k] != static_cast<int>(k)) return false;
  return true;
}

// The CSV line of R with every column in order, then the texts Extra, at
// the end of Piece. A row's cells lie one after the other in one text, so
// one look at that text tells whether any of them needs quotes or
// conversion; most rows need none, and their cells are copied as they lie,
// with a comma for each column the row has no text in.
void AppendCsvRow(std::string& Piece, const Row& R, size_t ColumnCount, const std::vector<std::string>& Extra,
                  bool FormulaGuard) {
  const std::string_view text = R.AllSubItemText();
  // Room for every field quoted with every byte doubled, a guard's
  // apostrophe and a comma, as WriteTable's general path counts.
  size_t room = 2 + 2 * text.size() + CsvRoom(R.Caption) + 3 * (ColumnCount + Extra.size());
  for (const std::string& t : Extra) room += CsvRoom(t);
  const size_t start = Piece.size();
  Piece.resize(start + room);
  char* p = Piece.data() + start;
  const bool plain = PlainCsv(text);
  p = PutCsvCell(p, R.Caption, PlainCsv(R.Caption), FormulaGuard);
  size_t next = 1;  // the next column whose field is to be written
  R.ForEachFilledSubItem([&](size_t J, std::string_view Cell) {
    const size_t column = J + 1;
    if (column >= ColumnCount) return;
    if (next < column) {  // columns without text: an empty field each
      std::memset(p, ',', column - next);
      p += column - next;
    }
    *p++ = ',';
    next = column + 1;
    p = PutCsvCell(p, Cell, plain, FormulaGuard);
  });
  for (; next < ColumnCount; ++next) *p++ = ',';
  for (const std::string& t : Extra) {
    *p++ = ',';
    p = PutCsvCell(p, t, PlainCsv(t), FormulaGuard);
  }
  *p++ = '\r';
  *p++ = '\n';
  Piece.resize(static_cast<size_t>(p - Piece.data()));
}

}  // namespace

void AppendCsvField(std::string& Out, std::string_view Text) {
  const size_t size = Out.size();
  Out.resize(size + CsvRoom(Text));
  Out.resize(static_cast<size_t>(PutCsvField(Out.data() + size, Text) - Out.data()));
}

void AppendTsvField(std::string& Out, std::string_view Text) {
  for (char c : Text) {
    switch (c) {
      case '\\': Out += "\\\\"; break;
      case '\t': Out += "\\t"; break;
      case '\r': Out += "\\r"; break;
      case '\n': Out += "\\n"; break;
      default: AppendByte(Out, static_cast<unsigned char>(c));
    }
  }
}

namespace {

// Text as a JSON string literal, through Value, a JSON string kept from cell
// to cell so that its text is not allocated anew each time.
void AppendJsonString(std::string& Out, std::string_view Text, nlohmann::json& Value) {
  std::string& utf8 = Value.get_ref<std::string&>();
  utf8.clear();
  AppendLatin1AsUtf8(utf8, Text);
  Out += Value.dump();
}

}  // namespace

void AppendJsonString(std::string& Out, std::string_view Text) {
  nlohmann::json value = std::string();
  AppendJsonString(Out, Text, value);
}

std::string FileChecksum(std::string_view Bytes) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08x", static_cast<unsigned>(libdeflate_crc32(0, Bytes.data(), Bytes.size())));
  return text;
}

bool SameChecksum(std::string_view Cell, std::string_view Checksum) {
  const auto digits = [](std::string_view S) {
    while (!S.empty() && (S.front() == ' ' || S.front() == '\t')) S.remove_prefix(1);
    while (!S.empty() && (S.back() == ' ' || S.back() == '\t')) S.remove_suffix(1);
    if (S.size() > 2 && S[0] == '0' && (S[1] == 'x' || S[1] == 'X')) S.remove_prefix(2);
    std::string d;
    for (char c : S) d += static_cast<char>(c >= 'A' && c <= 'F' ? c - 'A' + 'a' : c);
    const size_t first = d.find_first_not_of('0');
    return first == std::string::npos ? std::string("0") : d.substr(first);
  };
  return digits(Cell) == digits(Checksum);
}

void WriteTable(std::ostream& Out, TableFormat Format, const RowTable& View, const std::vector<int>& Columns,
                bool FormulaGuard, const ExtraColumns* Extra) {
  const size_t columnCount = static_cast<size_t>(View.ColumnCount());
  std::vector<std::string_view> cells;
  std::vector<std::string> extraTexts;
  std::string piece;
  piece.reserve(kPieceSize + 4096);
  if (Format == TableFormat::Json) {
    // The keys are the same for every row: build them once.
    std::vector<std::string> keys;
    for (int col : Columns) {
      std::string key;
      AppendJsonString(key, CaptionOf(View, Extra, col));
      key += ':';
      keys.push_back(std::move(key));
    }
    nlohmann::json value = std::string();
    piece += '[';
    for (int i = 0; i < View.RowCount(); ++i) {
      RowCells(View, i, columnCount, Extra, extraTexts, cells);
      piece += i == 0 ? "\n{" : ",\n{";
      for (size_t k = 0; k < Columns.size(); ++k) {
        if (k) piece += ',';
        piece += keys[k];
        AppendJsonString(piece, cells[static_cast<size_t>(Columns[k])], value);
      }
      piece += '}';
      if (!WritePiece(Out, piece)) return;
    }
    piece += View.RowCount() ? "\n]\n" : "]\n";
    WritePiece(Out, piece, true);
    return;
  }
  if (Format == TableFormat::Csv) {
    for (size_t k = 0; k < Columns.size(); ++k) {
      if (k) piece += ',';
      AppendField(piece, Format, CaptionOf(View, Extra, Columns[k]), FormulaGuard);
    }
    piece += "\r\n";
    if (EveryColumnInOrder(Columns, columnCount, Extra ? Extra->Captions.size() : 0)) {
      for (int i = 0; i < View.RowCount(); ++i) {
        if (Extra) {
          extraTexts.assign(Extra->Captions.size(), std::string());
          Extra->Cells(i, extraTexts);
        }
        AppendCsvRow(piece, View.RowAt(i), columnCount, extraTexts, FormulaGuard);
        if (!WritePiece(Out, piece)) return;
      }
      WritePiece(Out, piece, true);
      return;
    }
    for (int i = 0; i < View.RowCount(); ++i) {
      RowCells(View, i, columnCount, Extra, extraTexts, cells);
      // Room for the whole line at once (each field quoted, every byte
      // doubled, a guard's apostrophe), written through a pointer and cut
      // to what it took.
      size_t room = 2;
      for (const int col : Columns) room += CsvRoom(cells[static_cast<size_t>(col)]) + 3;
      const size_t start = piece.size();
      piece.resize(start + room);
      char* p = piece.data() + start;
      for (size_t k = 0; k < Columns.size(); ++k) {
        if (k) *p++ = ',';
        const std::string_view cell = cells[static_cast<size_t>(Columns[k])];
        p = Guarded(FormulaGuard, cell) ? PutCsvField(p, GuardFormula(cell)) : PutCsvField(p, cell);
      }
      *p++ = '\r';
      *p++ = '\n';
      piece.resize(static_cast<size_t>(p - piece.data()));
      if (!WritePiece(Out, piece)) return;
    }
    WritePiece(Out, piece, true);
    return;
  }
  const char* const lineEnd = "\n";
  const char separator = '\t';
  for (size_t k = 0; k < Columns.size(); ++k) {
    if (k) piece += separator;
    AppendField(piece, Format, CaptionOf(View, Extra, Columns[k]), FormulaGuard);
  }
  piece += lineEnd;
  for (int i = 0; i < View.RowCount(); ++i) {
    RowCells(View, i, columnCount, Extra, extraTexts, cells);
    for (size_t k = 0; k < Columns.size(); ++k) {
      if (k) piece += separator;
      AppendField(piece, Format, cells[static_cast<size_t>(Columns[k])], FormulaGuard);
    }
    piece += lineEnd;
    if (!WritePiece(Out, piece)) return;
  }
  WritePiece(Out, piece, true);
}
