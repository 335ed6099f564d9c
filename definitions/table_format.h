#pragma once
// Writing a report table as CSV, TSV or JSON. Cells are 8-bit text: each byte
// is read as Latin-1 and written as UTF-8.
#include <functional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "definitions/row_table.h"

enum class TableFormat { Csv, Tsv, Json };

// Appends Text as UTF-8, each byte taken as the Latin-1 character of its value.
void AppendLatin1AsUtf8(std::string& Out, std::string_view Text);
// The same as a new string.
std::string Latin1ToUtf8(std::string_view Text);
// Text kept as it is when it is valid UTF-8 already (a disk path), else each
// byte taken as its Latin-1 character (the game's 8-bit texts).
std::string TextAsUtf8(std::string_view Text);

// One field of each format, appended to Out:
// CSV (RFC 4180): quoted when it holds a comma, a double quote, CR or LF,
//   with every double quote doubled;
// TSV: backslash, tab, CR and LF written as \\, \t, \r and \n;
// JSON: a string literal, encoded by nlohmann-json.
void AppendCsvField(std::string& Out, std::string_view Text);
void AppendTsvField(std::string& Out, std::string_view Text);
void AppendJsonString(std::string& Out, std::string_view Text);

// The caption of the column that holds a checksum of each row's definition
// file: a blank in it, so no key can be named so.
inline constexpr char kChecksumCaption[] = "File CRC-32";

// The checksum of a definition file's bytes as that column shows it: the
// CRC-32 as "0x" and 8 lower-case hex digits. The prefix keeps spreadsheets
// from reading it as a number (which drops leading zeros, and takes 12E45678
// for 1.2E+46).
std::string FileChecksum(std::string_view Bytes);
// Whether a cell of that column names the checksum Checksum: with or without
// the prefix, in any letter case, leading zeros dropped or not.
bool SameChecksum(std::string_view Cell, std::string_view Checksum);

// Columns a table shows after the view's own (Columns positions from
// View.ColumnCount() on): their captions, and each row's texts for them
// (8-bit), one per caption.
struct ExtraColumns {
  std::vector<std::string> Captions;
  std::function<void(int Row, std::vector<std::string>& Texts)> Cells;
};

// The columns Columns (positions in View) of every row of View, in row order:
// for CSV and TSV a header line of captions, then one line per row (CSV lines
// end in CR LF, TSV lines in LF); for JSON an array with one object per row,
// keyed by caption, one object per line. Written to Out piece by piece as the
// rows are formatted; stops early once Out has failed. With FormulaGuard, CSV
// and TSV fields that a spreadsheet would run as a formula get a leading
// apostrophe (GuardFormula).
void WriteTable(std::ostream& Out, TableFormat Format, const RowTable& View, const std::vector<int>& Columns,
                bool FormulaGuard, const ExtraColumns* Extra = nullptr);
