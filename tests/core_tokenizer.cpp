#include <gtest/gtest.h>

#include "definitions/tokenizer.h"

namespace {
using Lines = std::vector<std::string>;

Lines Split(const std::string& Text, bool Clean) {
  UnPacked e;
  e.SetContents(Text.data(), static_cast<int32_t>(Text.size()));
  return GetUnpackedLines(e, Clean);
}
}  // namespace

TEST(Tokenizer, CleanAndRawLines) {
  struct Case {
    std::string Text;
    Lines Clean, Raw;
  };
  const Case cases[] = {
      {"[UNIT1]\r\n{\t\r\n", {"[UNIT1]", "{"}, {"[UNIT1]", "{\t"}},
      {"  UnitName=XYZ1;\r\n", {"UnitName=XYZ1"}, {"  UnitName=XYZ1;"}},
      {"  Name = Big Gun;  // a note\r\n", {"Name= Big Gun"}, {"  Name = Big Gun;  // a note"}},
      {"  Name = Big Gun ;\r\nX=1", {"Name= Big Gun ", "X=1"}, {"  Name = Big Gun ;", "X=1"}},
      {"  };\r\n// a comment\r\n\r\n", {"}"}, {"  };", "// a comment", ""}},
      {"[ UNIT 1 ]\r\n\tA = x = y", {"[UNIT1]", "A= x = y"}, {"[ UNIT 1 ]", "\tA = x = y"}},
      {"A=1;\r\nB=2", {"A=1", "B=2"}, {"A=1;", "B=2"}},
      {"A=1\r\n}", {"A=1", "}"}, {"A=1", "}"}},
      {"X=1 // c", {"X=1 "}, {"X=1 // c"}},
      {"X=1/* c */", {"X=1"}, {"X=1/* c */"}},
      {"A=1\nB=2\rC", {"A=1\nB=2\rC"}, {"A=1\nB=2\rC"}},  // only CR LF ends a line
      {"\r\n\r\n", {}, {"", ""}},
      {"A\r\n", {"A"}, {"A"}},  // no extra line after a final CR LF
      {"Key=a/b", {"Key=a/b"}, {"Key=a/b"}},
      {"Key=a//b", {"Key=a"}, {"Key=a//b"}},
      {"Name=Abc;Def", {"Name=Abc"}, {"Name=Abc;Def"}},
      {"A= x ", {"A= x"}, {"A= x "}},  // the last blank, tab or ";" goes even after "="
      {"A= x\t", {"A= x"}, {"A= x\t"}},
      {";", {}, {";"}},
      {"", {}, {}},
      // Block comments join lines; the search for "*/" starts at the '*' of "/*".
      {"A=1/* x\r\ny */B\r\nC=3", {"A=1B", "C=3"}, {"A=1/* x", "y */B", "C=3"}},
      {"A/*/=1", {"A=1"}, {"A/*/=1"}},
      {"A=1 /* never closed\r\nB=2", {"A=1 "}, {"A=1 /* never closed", "B=2"}},
      {"/* only */\r\n// comments\r\n;\r\n", {}, {"/* only */", "// comments", ";"}},
      {"A=1//*\r\nB=2*/", {"A=1", "B=2*/"}, {"A=1//*", "B=2*/"}},  // "//" comes first
      // A zero byte ends the line's text.
      {std::string("A=1\0junk\r\nB=2", 13), {"A=1", "B=2"}, {"A=1", "B=2"}},
      {std::string("\0A=1\r\nB=2\0", 10), {"B=2"}, {"", "B=2"}},
      // A last line that starts with a zero byte is no line at all, in either reading.
      {std::string("A=1\r\n\0junk", 10), {"A=1"}, {"A=1"}},
      {std::string("A=1\r\n\0", 6), {"A=1"}, {"A=1"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Split(c.Text, true), c.Clean) << c.Text;
    EXPECT_EQ(Split(c.Text, false), c.Raw) << c.Text;
  }
}

TEST(Tokenizer, LongLinesGarbageAndNoBuffer) {
  const std::string big = "Key=" + std::string(1 << 20, 'x');  // kept whole
  EXPECT_EQ(Split(big + "\r\nNext=1", true), (Lines{big, "Next=1"}));
  EXPECT_EQ(Split(big + "\n" + big, false).at(0).size(), 2 * big.size() + 1);

  std::string garbage;
  for (int i = 0; i < 4096; ++i) garbage.push_back(static_cast<char>((i * 131 + 7) % 256));
  size_t total = 0;
  for (const auto& s : Split(garbage, false)) total += s.size();
  EXPECT_LE(total, garbage.size());
  for (const auto& s : Split(garbage, true)) EXPECT_FALSE(s.empty());

  UnPacked dir;  // an entry without a buffer gives no lines
  dir.PFileSize = 10;
  EXPECT_TRUE(GetUnpackedLines(dir, true).empty());
  LineArena arena;  // the arena form gives the same lines
  UnPacked e;
  e.SetContents("a;\r\n\r\nb", 7);
  GetUnpackedLines(e, false, arena);
  ASSERT_EQ(arena.Count(), 3u);
  EXPECT_EQ(std::string(arena.Line(0)) + "|" + std::string(arena.Line(1)) + "|" + std::string(arena.Line(2)), "a;||b");
}
