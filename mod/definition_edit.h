#pragma once
// Where a table row's cells lie in its definition file, and the byte edits
// that change them: a value is replaced in place, keeping every other byte;
// a key the definition lacks is added at the end of its section in the
// file's own line ends and indentation.
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "mod/apply_plan.h"
#include "mod/text_edit.h"

struct DefinitionView;
struct DefinitionKeyView;

// The bytes of one table record: a unit file whole; in other files the text
// from after one closing brace to the next, as the table's rows are cut.
struct DefinitionRecord {
  size_t Begin = 0, End = 0;
  int Section = -1;  // the first section whose header lies in it
  int Closing = -1;  // the section whose closing brace ends it; -1 for a unit's whole file
};

// The records of one file (Text read into File, both outliving the
// records), found once for all of its rows, with their section names and
// keys ready to look up.
class DefinitionRecords {
 public:
  DefinitionRecords(std::string_view Text, const DefinitionView& File);
  std::string_view Text() const { return Text_; }
  const DefinitionView& File() const { return File_; }
  // The record a row names: for a unit (Section empty) the whole file,
  // otherwise the first record whose first section is Section (ignoring
  // case and blanks); of several, the first that holds CaptionKey with a value.
  bool Find(const std::string& Section, const std::string& CaptionKey, DefinitionRecord& Out) const;
  // The first key named Key in R, ignoring case and blanks; null when none.
  const DefinitionKeyView* FirstKey(const DefinitionRecord& R, std::string_view Key) const;
  // The first key named Key directly in R's own section (not in a section
  // nested in it; also after one), ignoring case and blanks; null when none.
  const DefinitionKeyView* OwnKey(const DefinitionRecord& R, std::string_view Key) const;

 private:
  std::string_view Text_;
  const DefinitionView& File_;
  std::vector<DefinitionRecord> Records_;
  std::unordered_map<std::string, std::vector<size_t>> ByName_;  // folded section name -> records, in order
};

// Finds the definition a row names and adds the edits of Cells to Edits.
// The occurrence of a key that the table shows (the first in the record) is
// the one changed. A cell that cannot be changed safely adds a line to
// Problems, its position in Cells to Failed (when given), and no edit. False
// when the definition is not there.
bool PlanDefinitionEdits(const DefinitionRecords& Records, const std::string& Section, const std::string& CaptionKey,
                         const std::vector<CellChange>& Cells, std::vector<TextEdit>& Edits,
                         std::vector<std::string>& Problems, std::vector<size_t>* Failed = nullptr);

// Key without the blanks and tabs in it, as the tables read key names.
std::string KeyWithoutBlanks(std::string_view Key);

// What a new value may not hold, because it would end the value early or add
// statements or sections: "" when it may be written.
std::string UnsafeValue(std::string_view Value);
