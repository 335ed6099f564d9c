#include "table_format.h"

namespace {

// Latin-1 byte C as UTF-8.
inline void AppendByte(std::string& Out, unsigned char C) {
  if (C < 0x80) {
    Out += static_cast<char>(C);
  } else {
    Out += static_cast<char>(0xC0 | (C >> 6));
    Out += static_cast<char>(0x80 | (C & 0x3F));
  }
}

void AppendField(std::string& Out, TableFormat Format, std::string_view Text) {
  switch (Format) {
    case TableFormat::Csv: AppendCsvField(Out, Text); break;
    case TableFormat::Tsv: AppendTsvField(Out, Text); break;
    case TableFormat::Json: AppendJsonString(Out, Text); break;
  }
}

// Every cell of a row by column (0 = caption), in one pass over its filled
// cells; columns the row has no text for stay empty.
void RowCells(const Row& R, size_t ColumnCount, std::vector<std::string_view>& Cells) {
  Cells.assign(ColumnCount, std::string_view());
  if (ColumnCount > 0) Cells[0] = R.Caption;
  R.ForEachFilledSubItem([&](size_t J, std::string_view Text) {
    if (J + 1 < ColumnCount) Cells[J + 1] = Text;
  });
}

}  // namespace

void AppendLatin1AsUtf8(std::string& Out, std::string_view Text) {
  for (char c : Text) AppendByte(Out, static_cast<unsigned char>(c));
}

void AppendCsvField(std::string& Out, std::string_view Text) {
  // One pass finds out whether the field needs quotes or any conversion;
  // most cells need neither and are copied whole.
  bool quoted = false, high = false;
  for (char c : Text) {
    quoted |= c == ',' || c == '"' || c == '\r' || c == '\n';
    high |= static_cast<unsigned char>(c) >= 0x80;
  }
  if (!quoted) {
    if (high) AppendLatin1AsUtf8(Out, Text);
    else Out.append(Text);
    return;
  }
  Out += '"';
  for (char c : Text) {
    if (c == '"') Out += '"';
    AppendByte(Out, static_cast<unsigned char>(c));
  }
  Out += '"';
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

void AppendJsonString(std::string& Out, std::string_view Text) {
  static const char kHex[] = "0123456789abcdef";
  Out += '"';
  for (char c : Text) {
    const auto u = static_cast<unsigned char>(c);
    switch (c) {
      case '"': Out += "\\\""; break;
      case '\\': Out += "\\\\"; break;
      case '\n': Out += "\\n"; break;
      case '\r': Out += "\\r"; break;
      case '\t': Out += "\\t"; break;
      default:
        if (u < 0x20) {
          Out += "\\u00";
          Out += kHex[u >> 4];
          Out += kHex[u & 0xF];
        } else {
          AppendByte(Out, u);
        }
    }
  }
  Out += '"';
}

void WriteTable(std::string& Out, TableFormat Format, const RowTable& View, const std::vector<int>& Columns) {
  const size_t columnCount = static_cast<size_t>(View.ColumnCount());
  std::vector<std::string_view> cells;
  if (Format == TableFormat::Json) {
    // The keys are the same for every row: build them once.
    std::vector<std::string> keys;
    for (int col : Columns) {
      std::string key;
      AppendJsonString(key, View.ColumnCaption(col));
      key += ':';
      keys.push_back(std::move(key));
    }
    Out += '[';
    for (int i = 0; i < View.RowCount(); ++i) {
      RowCells(View.RowAt(i), columnCount, cells);
      Out += i == 0 ? "\n{" : ",\n{";
      for (size_t k = 0; k < Columns.size(); ++k) {
        if (k) Out += ',';
        Out += keys[k];
        AppendJsonString(Out, cells[static_cast<size_t>(Columns[k])]);
      }
      Out += '}';
    }
    Out += View.RowCount() ? "\n]\n" : "]\n";
    return;
  }
  // A guess at the size, so that the text is not copied again and again as it grows.
  Out.reserve(Out.size() + static_cast<size_t>(View.RowCount() + 1) * Columns.size() * 6);
  const char* const lineEnd = Format == TableFormat::Csv ? "\r\n" : "\n";
  const char separator = Format == TableFormat::Csv ? ',' : '\t';
  for (size_t k = 0; k < Columns.size(); ++k) {
    if (k) Out += separator;
    AppendField(Out, Format, View.ColumnCaption(Columns[k]));
  }
  Out += lineEnd;
  for (int i = 0; i < View.RowCount(); ++i) {
    RowCells(View.RowAt(i), columnCount, cells);
    for (size_t k = 0; k < Columns.size(); ++k) {
      if (k) Out += separator;
      AppendField(Out, Format, cells[static_cast<size_t>(Columns[k])]);
    }
    Out += lineEnd;
  }
}
