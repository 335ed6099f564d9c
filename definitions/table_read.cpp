#include "definitions/table_read.h"

#include <algorithm>
#include <array>
#include <map>
#include <nlohmann/json.hpp>

#include "archive/ascii_case.h"

namespace {

// Adds one record of fields; an empty last line gives no record. A row
// takes the fields as its cells.
void AddRecord(ReadTable& Out, std::vector<std::optional<std::string>>& Fields, int Number, bool& First) {
  if (First) {
    for (std::optional<std::string>& f : Fields) Out.Captions.push_back(std::move(*f));
    First = false;
  } else {
    ReadTableRow row;
    row.Number = Number;
    row.Cells = std::move(Fields);
    Out.Rows.push_back(std::move(row));
  }
  Fields = {};
  Fields.reserve(Out.Captions.size());
}

// Where plain CSV text starting at I ends: the next comma, LF or CR LF (a
// lone CR is text), or the text's end.
size_t PlainEnd(std::string_view Text, size_t I) {
  static constexpr auto kStop = [] {
    std::array<bool, 256> stop{};
    stop[','] = stop['\n'] = stop['\r'] = true;
    return stop;
  }();
  for (; I < Text.size(); ++I) {
    const char c = Text[I];
    if (!kStop[static_cast<unsigned char>(c)]) continue;
    if (c != '\r' || (I + 1 < Text.size() && Text[I + 1] == '\n')) return I;
  }
  return Text.size();
}

// Whether a line ends at I: LF, or CR LF.
bool LineEndAt(std::string_view Text, size_t I) {
  return Text[I] == '\n' || (Text[I] == '\r' && I + 1 < Text.size() && Text[I + 1] == '\n');
}

bool ParseCsv(std::string_view Text, ReadTable& Out, std::string& Error) {
  Out.Rows.reserve(static_cast<size_t>(std::count(Text.begin(), Text.end(), '\n')));
  std::vector<std::optional<std::string>> fields;
  std::string field;
  bool first = true, inRecord = false;
  int number = 1;
  size_t i = 0;
  while (i < Text.size()) {
    const char c = Text[i];
    if (field.empty() && c != '"' && !LineEndAt(Text, i)) {
      // Most fields are plain text ended by a comma or a line end: taken
      // whole, straight into the record.
      const size_t end = PlainEnd(Text, i);
      if (end < Text.size()) {
        fields.emplace_back(std::in_place, Text.substr(i, end - i));
        inRecord = true;
        if (Text[end] == ',') {
          i = end + 1;
          continue;
        }
        i = end + (Text[end] == '\r' ? 2 : 1);
        AddRecord(Out, fields, number++, first);
        inRecord = false;
        continue;
      }
    }
    if (c == '"' && field.empty()) {
      // A quoted field runs to the next lone quote; "" stands for one quote.
      const size_t start = i++;
      for (;;) {
        const size_t quote = Text.find('"', i);
        if (quote == std::string_view::npos) {
          Error = "a quoted field in row " + std::to_string(number) + " is never closed (it starts at byte " +
                  std::to_string(start) + ")";
          return false;
        }
        field.append(Text.substr(i, quote - i));
        i = quote + 1;
        if (i < Text.size() && Text[i] == '"') {
          field += '"';
          ++i;
        } else {
          break;
        }
      }
      inRecord = true;
      continue;
    }
    if (c == ',') {
      fields.push_back(std::move(field));
      field.clear();
      inRecord = true;
      ++i;
      continue;
    }
    if (LineEndAt(Text, i)) {
      i += c == '\r' ? 2 : 1;
      fields.push_back(std::move(field));
      field.clear();
      AddRecord(Out, fields, number++, first);
      inRecord = false;
      continue;
    }
    // Plain text up to the next comma or line end, taken whole (a lone CR is text).
    const size_t end = PlainEnd(Text, i + 1);
    field.append(Text.substr(i, end - i));
    inRecord = true;
    i = end;
  }
  if (inRecord) {
    fields.push_back(std::move(field));
    AddRecord(Out, fields, number, first);
  }
  return true;
}

bool ParseTsv(std::string_view Text, ReadTable& Out, std::string& Error) {
  std::vector<std::optional<std::string>> fields;
  std::string field;
  bool first = true, inRecord = false;
  int number = 1;
  for (size_t i = 0; i < Text.size(); ++i) {
    const char c = Text[i];
    if (c == '\\' && i + 1 < Text.size()) {
      const char e = Text[++i];
      if (e == 't') field += '\t';
      else if (e == 'r') field += '\r';
      else if (e == 'n') field += '\n';
      else if (e == '\\') field += '\\';
      else {
        field += '\\';
        field += e;
      }
      inRecord = true;
    } else if (c == '\t') {
      fields.push_back(std::move(field));
      field.clear();
      inRecord = true;
    } else if (c == '\n' || (c == '\r' && i + 1 < Text.size() && Text[i + 1] == '\n')) {
      if (c == '\r') ++i;
      fields.push_back(std::move(field));
      field.clear();
      AddRecord(Out, fields, number++, first);
      inRecord = false;
    } else {
      field += c;
      inRecord = true;
    }
  }
  if (inRecord) {
    fields.push_back(std::move(field));
    AddRecord(Out, fields, number, first);
  }
  (void)Error;
  return true;
}

bool ParseJson(std::string_view Text, ReadTable& Out, std::string& Error) {
  const nlohmann::json doc = nlohmann::json::parse(Text.begin(), Text.end(), nullptr, false);
  if (doc.is_discarded() || !doc.is_array()) {
    Error = "not a JSON array of objects";
    return false;
  }
  // Captions in the order they first appear.
  std::map<std::string, size_t> column;
  int number = 0;
  for (const nlohmann::json& object : doc) {
    ++number;
    if (!object.is_object()) {
      Error = "row " + std::to_string(number) + " is not a JSON object";
      return false;
    }
    ReadTableRow row;
    row.Number = number;
    for (const auto& [key, value] : object.items()) {
      auto [at, added] = column.emplace(key, Out.Captions.size());
      if (added) Out.Captions.push_back(key);
      if (row.Cells.size() <= at->second) row.Cells.resize(at->second + 1);
      if (value.is_string()) row.Cells[at->second] = value.get<std::string>();
      else if (value.is_number()) row.Cells[at->second] = value.dump();
      else if (!value.is_null()) {
        Error = "row " + std::to_string(number) + ": the value of " + key + " is not text";
        return false;
      }
    }
    Out.Rows.push_back(std::move(row));
  }
  return true;
}

}  // namespace

bool ParseTable(std::string_view Text, TableFormat Format, ReadTable& Out, std::string& Error) {
  Out = ReadTable();
  // A spreadsheet may save UTF-8 with a byte order mark.
  if (Text.substr(0, 3) == "\xEF\xBB\xBF") Text.remove_prefix(3);
  bool ok = false;
  switch (Format) {
    case TableFormat::Csv: ok = ParseCsv(Text, Out, Error); break;
    case TableFormat::Tsv: ok = ParseTsv(Text, Out, Error); break;
    case TableFormat::Json: ok = ParseJson(Text, Out, Error); break;
  }
  if (ok && Out.Captions.empty() && Format != TableFormat::Json) {
    Error = "the table is empty: no line of column captions";
    return false;
  }
  Out.MayBeGuarded = Format != TableFormat::Json;
  return ok;
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
