// A unit's row cells found from its keys, against the rows the tables build.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "archive/file_lists.h"
#include "definitions/build_rows.h"
#include "definitions/definition_reader.h"
#include "definitions/row_table.h"
#include "definitions/tokenizer.h"
#include "mod/row_values.h"

namespace {

// Two columns of one key, as a table may have.
const std::vector<std::string> kKeys = {"UnitNumber", "UnitName", "Name", "Side", "name", "Key"};

// The cells the tables' own row building shows for Text, by column.
std::vector<std::string> BuiltRow(const std::string& Text) {
  UnPacked e;
  e.SetContents(Text.data(), static_cast<int32_t>(Text.size()));
  Row r;
  FillRow(r, GetUnpackedLines(e, true), kKeys);
  std::vector<std::string> cells;
  for (size_t c = 0; c < kKeys.size(); ++c) cells.emplace_back(r.Cell(c));
  return cells;
}

// The cells RowValues finds, or nothing when it declines.
std::optional<std::vector<std::string>> FoundRow(const std::string& Text) {
  static const RowValues values(kKeys);
  DefinitionView view;
  ReadDefinitionView(Text, view);
  std::vector<std::string_view> shown;
  if (!values.Find(Text, view, shown)) return std::nullopt;
  return std::vector<std::string>(shown.begin(), shown.end());
}

}  // namespace

TEST(RowValues, TheFirstValueOfEachKeyWithItsBlanks) {
  const std::string text =
      "[UNITINFO]\r\n\t{\r\n\tUnitNumber=7;\r\n\tunitname=ARM ;// note\r\n\t/* a comment */\r\n"
      "\tName= Big Gun\r\n\tUNITNAME=second;\r\n\tOther=x; // y\r\n\t}\r\n";
  const auto found = FoundRow(text);
  ASSERT_TRUE(found);
  EXPECT_EQ(*found, (std::vector<std::string>{"7", "ARM ", " Big Gun", "", " Big Gun", ""}));
  EXPECT_EQ(*found, BuiltRow(text));
}

// Files the two readings may read otherwise are left to the row building.
TEST(RowValues, DeclinesWhatTheTablesMayReadOtherwise) {
  const struct {
    const char* Why;
    std::string Text;
  } cases[] = {
      {"a blank in the key", "\tUnit Name=A;\r\n"},
      {"a blank after the key", "\tUnitName =A;\r\n"},
      {"two statements on a line", "\tSide=1; Key=2;\r\n"},
      {"a statement after a brace", "{ Side=1;\r\n}\r\n"},
      {"a lone LF", "Side=1;\nKey=2;\r\n"},
      {"a lone CR", "Side=1\rKey=2;\r\n"},
      {"a block comment over lines after a \";\"", "Side=1; /* x\r\nKey=2; */\r\n"},
      {"a value cut by a brace", "\tSide={x}\r\n"},
      {"a value cut by a block comment", "\tSide=x/* c */y;\r\n"},
      {"a statement on a last line without its end", "Side=1"},
      {"a zero byte", std::string("Side=1;\r\n\0Key=2;\r\n", 18)},
      {"a problem the reader found", "Side\r\n"},
  };
  for (const auto& c : cases) EXPECT_FALSE(FoundRow(c.Text)) << c.Why;
}

// Wherever RowValues answers, it answers as the rows the tables build do,
// over many texts made of the bytes that decide how lines are read.
TEST(RowValues, AgreesWithTheBuiltRowsWhereverItAnswers) {
  // Lines of a few pieces each, mostly ended by CR LF.
  const std::string pieces[] = {"Side=1;", "name= x ;", "UnitName=ARM", "Key=a=b;", "\tSide = 2;", "NAME=", "UnitNumber=7;",
                                "Unit Name=3;", ";", " // c", "//", "/* c */", "/*", "*/", "/", "{", "}", "[UNITINFO]",
                                " ", "\t", "\r", "x", "=", "{x}"};
  const std::string ends[] = {"\r\n", "\r\n", "\r\n", "\r\n", "\r\n", "\r\n", "\r\n", "\n", ""};
  std::mt19937 random(7);
  int answered = 0;
  const int rounds = 100000;
  for (int round = 0; round < rounds; ++round) {
    std::string text;
    for (int line = 1 + static_cast<int>(random() % 6); line > 0; --line) {
      for (int k = 1 + static_cast<int>(random() % 2); k > 0; --k) text += pieces[random() % std::size(pieces)];
      text += ends[random() % std::size(ends)];
    }
    const auto found = FoundRow(text);
    if (!found) continue;
    ++answered;
    ASSERT_EQ(*found, BuiltRow(text)) << "round " << round << ": " << text;
  }
  EXPECT_GT(answered, rounds / 10);
}
