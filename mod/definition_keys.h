#pragma once
// The keys of a table's definitions that none of its columns shows, for a
// table of every key (kestrava-table --all-keys): translations such as
// FrenchName, keys of other games' versions, a mod's own keys.
#include <string>
#include <vector>

#include "definitions/row_table.h"

class DefinitionKeyColumns {
 public:
  // Reads the definition behind each row of View: with Multi, the section
  // its SName column names; else the file's first section. A key counts in
  // its definition's own section (not in a section nested in it), named
  // without blanks; the first of a name gives the value.
  DefinitionKeyColumns(const RowTable& View, bool Multi);

  // The keys no column of View shows, sorted ignoring case; each spelled as
  // its first occurrence.
  const std::vector<std::string>& Captions() const { return Captions_; }
  // Row's values of those keys, into Texts[First + k] for caption k; a key
  // the definition lacks leaves its text as it is.
  void Cells(int Row, std::vector<std::string>& Texts, size_t First = 0) const;

 private:
  std::vector<std::string> Captions_;
  std::vector<std::vector<std::pair<size_t, std::string>>> Values_;  // per row: caption index, value
};
