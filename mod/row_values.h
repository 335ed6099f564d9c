#pragma once
// The cells the table tool's row of a unit file shows, found from the
// definition reader's keys instead of building the row: where the tables'
// line reading (definitions/tokenizer.h) and the definition reader read the
// file alike, each column shows the first value of its key, blanks around
// the value kept.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct DefinitionView;

class RowValues {
 public:
  // Keys: the table's column keys, in column order.
  explicit RowValues(const std::vector<std::string>& Keys);

  // Text's row cells by column into Shown (one per key; empty where the file
  // has no such key), viewing Text. False, with Shown undefined, when the
  // two readings may differ: a zero byte, a lone CR or LF, a problem the
  // reader found, a key that does not start its line or shares it, a blank
  // in or after a key, a statement cut short by a brace or a block comment,
  // a block comment over several lines, or a statement on a last line
  // without its line end.
  bool Find(std::string_view Text, const DefinitionView& File, std::vector<std::string_view>& Shown) const;

 private:
  // The first column of a key, by open addressing over the folded keys;
  // -1 when no column has it. Name must hold no blank.
  int ColumnOf(std::string_view Name) const;

  std::vector<std::string> spelled_;  // as given, by column
  std::vector<std::string> keys_;     // folded, by column
  std::vector<int> next_;          // the next column of the same key, or -1
  std::vector<int> slots_;         // the first column of each key, -1 for none
  size_t mask_ = 0;
};
