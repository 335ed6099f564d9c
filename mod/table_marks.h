#pragma once
// Marks on the cells of the report tables: what a list of findings or of
// differences says about a definition, shown on its row. A mark names its
// definition by file and name, and the key whose cell it marks (none for the
// row as a whole); a row finds its marks by the same file and name, so marks
// stay with their rows through sorting and rebuilding.
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "definitions/row_table.h"

enum class TableKind : uint8_t { Units, Weapons, Corpses, Download };

// The table that shows the files of a path ('\' or '/' between levels) inside
// an archive or below the game directory; false for a path of none.
bool TableKindOfPath(const std::string& Path, TableKind& Kind);

enum class MarkKind : uint8_t { Problem, Changed, Added };

struct DefinitionRef {
  std::string Archive;  // the archive's path as opened; empty for a loose file
  std::string File;     // the path inside the archive, or the loose file's disk path
  // In a table of several definitions per file: the section name, or with
  // ByMenuAndUnit a build-menu entry's UNITMENU/UNITNAME. Empty: any
  // definition of the file. A unit file holds one unit; its name is not compared.
  std::string Name;
  bool ByMenuAndUnit = false;
};

struct CellMark {
  MarkKind Kind = MarkKind::Problem;
  int Column = 0;  // the table column; 0 (the caption) for the row as a whole
  std::string Text;
};

class TableMarks {
 public:
  void Clear();
  bool Empty() const { return Count_ == 0; }
  size_t Count() const { return Count_; }

  // Marks the cell of Key (a column caption, letter case ignored; empty for
  // the row) of the definition Ref in table Kind.
  void Add(TableKind Kind, const DefinitionRef& Ref, const std::string& Key, MarkKind Mark, std::string Text);

  // Appends the marks of row R of View (a table of Kind) whose key is a
  // column of View to Out; false when it has none. A table without marks
  // costs one look-up per call.
  bool MarksOf(TableKind Kind, const RowTable& View, const Row& R, std::vector<CellMark>& Out) const;

 private:
  struct Entry {
    std::string Name;  // lower case
    bool ByMenuAndUnit;
    std::string Key;   // lower case; empty for the row
    MarkKind Kind;
    std::string Text;
  };
  struct PerTable {
    std::unordered_map<std::string, std::vector<Entry>> ByFile;  // FileKey -> marks
  };
  PerTable Tables_[4];
  size_t Count_ = 0;
};

// Where row R's definition lies, as DefinitionRef names it, and whether
// Ref names R's definition: its file, and in a table of several definitions
// per file its name.
bool RowIsDefinition(TableKind Kind, const RowTable& View, const Row& R, const DefinitionRef& Ref);

// The first row of View (a table of Kind) that Ref names; -1 when none does.
int FindDefinitionRow(TableKind Kind, const RowTable& View, const DefinitionRef& Ref);
