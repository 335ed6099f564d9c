#pragma once
// kestrava-table: one comparison table of the window, printed as CSV, TSV or
// JSON, built by the same engine, row building and catalogue.
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "definitions/table_format.h"

extern const char kTableUsage[];

struct TableRequest {
  bool Help = false;
  bool Version = false;
  std::string Kind;                   // units, weapons, corpses or download
  std::vector<std::string> Archives;  // in the order given
  bool IncludeTaDir = false;
  std::string TaDir;
  TableFormat Format = TableFormat::Csv;
  std::vector<std::string> Columns;   // captions as given; empty = every column
  std::string Sort;                   // caption as given; empty = the first column
  bool FormulaGuard = true;           // a leading ' before CSV and TSV cells read as formulas
  bool AllKeys = false;               // also every key of the definitions that no column shows
  bool Computed = false;              // the balance figures appended (units and weapons)
};

// Reads the command line (without the program name) into Request. Returns an
// empty text, or what is wrong with the command line (nothing to load, with
// neither an archive nor --ta-dir, is wrong too).
std::string ParseTableArguments(const std::vector<std::string>& Args, TableRequest& Request);

// Loads, sorts and prints the table to Out; messages go to Err, one line each,
// among them how many definitions give no row and why. Unlike the window's
// lists, any number of files is read.
// Returns the exit status: 0 when nothing was reported, 1 when something was,
// 2 for an unknown kind or column caption. With Loaded, what was loaded (the
// archives' files and the tables) is handed to it at the end instead of being
// freed: a program about to exit leaves it to the system, which is quicker
// than freeing every row and file one by one. It is only there to be freed.
int RunTable(const TableRequest& Request, std::ostream& Out, std::ostream& Err,
             std::shared_ptr<void>* Loaded = nullptr);
