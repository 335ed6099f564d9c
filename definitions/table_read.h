#pragma once
// Reading a table back as kestrava-table writes it, after a spreadsheet may
// have edited it: CSV (RFC 4180, lines ending in CR LF or LF), TSV (tab,
// CR, LF and backslash written as \t, \r, \n, \\) or JSON (an array of
// objects keyed by column caption). Cells are UTF-8, as written.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "definitions/table_format.h"

struct ReadTableRow {
  int Number = 0;  // CSV and TSV: the spreadsheet's row (the captions are row 1); JSON: position from 1
  std::vector<std::optional<std::string>> Cells;  // by caption; nullopt where the row has no such field
};

struct ReadTable {
  std::vector<std::string> Captions;
  std::vector<ReadTableRow> Rows;
  // CSV and TSV: a cell that starts like a formula may carry the apostrophe
  // kestrava-table puts in front of it. JSON cells never do.
  bool MayBeGuarded = false;
};

// Parses Text. False, with the reason in Error, when it is not a table of
// that format (an unclosed quote, an object that is not flat, no captions).
bool ParseTable(std::string_view Text, TableFormat Format, ReadTable& Out, std::string& Error);

// The format a file name's extension names (.csv, .tsv, .json, any case);
// nullopt for any other.
std::optional<TableFormat> FormatOfFileName(std::string_view Name);
