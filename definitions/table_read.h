#pragma once
// Reading a table back as kestrava-table writes it, after a spreadsheet may
// have edited and saved it in its own dialect: CSV (RFC 4180 quoting; comma,
// semicolon or tab between fields, found from the line of captions), TSV
// (tab, CR, LF and backslash written as \t, \r, \n, \\) or JSON (an array of
// objects keyed by column caption). Lines end in CR LF, LF or CR alone. The
// text is UTF-8 (with or without a byte order mark); a text that is not is
// read as Windows-1252, as spreadsheets save plain "CSV", and says so.
//
// The table keeps its text and, for each row, where the row lies in it: a
// row's cells are read when asked for, so that a table costs little more
// than its own size, and blank lines nothing.
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "definitions/table_format.h"

struct ReadTableRow {
  int Number = 0;  // CSV and TSV: the spreadsheet's row (the captions are row 1); JSON: position from 1
  size_t Begin = 0, End = 0;  // the row's text
};

// The cells of one row, by caption; nullopt where the row has no such field.
using ReadTableCells = std::vector<std::optional<std::string>>;

// The same cells as views, for readers of many rows: a cell written as it
// reads views the table's own text; one whose quotes or escapes had to be
// undone views Scratch. Valid until the next read into it, while the table
// lives. Reading into it again reuses its storage.
struct ReadTableCellViews {
  std::vector<std::optional<std::string_view>> Cells;
  std::vector<char> Scratch;  // never grows past what a row reserves: views into it stay valid
  size_t size() const { return Cells.size(); }
  const std::optional<std::string_view>& operator[](size_t K) const { return Cells[K]; }
};

class ReadTable {
 public:
  std::vector<std::string> Captions;
  std::vector<ReadTableRow> Rows;  // rows of nothing but empty cells left out
  // CSV and TSV: a cell that starts like a formula may carry the apostrophe
  // kestrava-table puts in front of it. JSON cells never do.
  bool MayBeGuarded = false;
  // How the table was read where that is not as kestrava-table writes it (an
  // encoding other than UTF-8), one line each.
  std::vector<std::string> Notes;

  // The cells of Row, into Cells (its storage reused).
  void CellsOf(const ReadTableRow& Row, ReadTableCellViews& Cells) const;
  // The same as strings of their own.
  ReadTableCells CellsOf(const ReadTableRow& Row) const;

 private:
  friend bool ParseTable(std::string Text, TableFormat Format, ReadTable& Out, std::string& Error);
  enum class Dialect { Quoted, Escaped, Json };
  std::string Text_;  // UTF-8
  Dialect Dialect_ = Dialect::Quoted;
  char Separator_ = ',';
  bool CrEndsLine_ = false;  // lines end in CR alone
  std::map<std::string, size_t> JsonColumn_;  // JSON: caption -> its position in Captions
};

// Parses Text. False, with the reason in Error, when it is not a table of
// that format (an unclosed quote, an object that is not flat, no captions, an
// encoding that cannot be read, captions separated by something else).
bool ParseTable(std::string Text, TableFormat Format, ReadTable& Out, std::string& Error);

// The format a file name's extension names (.csv, .tsv, .json, any case);
// nullopt for any other.
std::optional<TableFormat> FormatOfFileName(std::string_view Name);
