#include <gtest/gtest.h>

#include "definitions/tokenizer.h"

namespace {
using Lines = std::vector<std::string>;

Lines Split(const std::string& Text, bool Clean) {
  UnPacked e;
  e.SetContents(Text.data(), static_cast<int32_t>(Text.size()));
  return GetUnpackedLines(e, Clean);
}
Lines Clean(const std::string& T) { return Split(T, true); }
Lines Raw(const std::string& T) { return Split(T, false); }
}  // namespace

TEST(Tokenizer, ExampleLines) {
  EXPECT_EQ(Clean("[UNIT1]\r\n"), Lines{"[UNIT1]"});
  EXPECT_EQ(Clean("{\t\r\n"), Lines{"{"});
  EXPECT_EQ(Clean("  UnitName=XYZ1;\r\n"), Lines{"UnitName=XYZ1"});
  EXPECT_EQ(Clean("  Name = Big Gun;  // a note\r\n"), Lines{"Name= Big Gun"});
  EXPECT_EQ(Clean("  Name = Big Gun ;\r\nX=1"), (Lines{"Name= Big Gun ", "X=1"}));
  EXPECT_EQ(Clean("  };\r\n"), Lines{"}"});
  EXPECT_EQ(Clean("// a comment\r\n"), Lines{});
  EXPECT_EQ(Clean("\r\n"), Lines{});
  EXPECT_EQ(Clean("[ UNIT 1 ]\r\n"), Lines{"[UNIT1]"});
  EXPECT_EQ(Clean("Key=Value; // note\r\nB=2"), (Lines{"Key=Value", "B=2"}));
  EXPECT_EQ(Clean("\tA = x = y\r\n"), Lines{"A= x = y"});  // only the first "=" matters
}

TEST(Tokenizer, EdgeCases) {
  EXPECT_EQ(Clean("A=1;\r\nB=2"), (Lines{"A=1", "B=2"}));
  EXPECT_EQ(Raw("A=1;\r\nB=2"), (Lines{"A=1;", "B=2"}));
  EXPECT_EQ(Clean("A=1\r\n}"), (Lines{"A=1", "}"}));
  EXPECT_EQ(Raw("A=1\r\n}"), (Lines{"A=1", "}"}));
  EXPECT_EQ(Clean("X=1 // c"), Lines{"X=1 "});
  EXPECT_EQ(Clean("X=1/* c */"), Lines{"X=1"});
  EXPECT_EQ(Clean("A=1\nB=2"), Lines{"A=1\nB=2"});
  EXPECT_EQ(Raw("A=1\nB=2\rC"), Lines{"A=1\nB=2\rC"});
  EXPECT_EQ(Raw("\r\n\r\n"), (Lines{"", ""}));
  EXPECT_EQ(Clean("\r\n\r\n"), Lines{});
  EXPECT_EQ(Raw("A\r\n"), Lines{"A"});  // no extra empty line after a final CR LF
  EXPECT_EQ(Clean("Key=a/b"), Lines{"Key=a/b"});
  EXPECT_EQ(Raw("Key=a/b"), Lines{"Key=a/b"});
  EXPECT_EQ(Clean("Key=a//b"), Lines{"Key=a"});
  EXPECT_EQ(Clean("Name=Abc;Def"), Lines{"Name=Abc"});
  EXPECT_EQ(Clean("A= x "), Lines{"A= x"});
  EXPECT_EQ(Clean("A= x\t"), Lines{"A= x"});
  EXPECT_EQ(Clean("A= x;"), Lines{"A= x"});
  EXPECT_EQ(Raw("A= x "), Lines{"A= x "});
  EXPECT_EQ(Clean(""), Lines{});
  EXPECT_EQ(Raw(""), Lines{});
  EXPECT_EQ(Clean(";"), Lines{});
  EXPECT_EQ(Raw(";"), Lines{";"});
}

TEST(Tokenizer, BlockComments) {
  // A block comment across lines joins the text before and after it.
  EXPECT_EQ(Clean("A=1/* x\r\ny */B\r\nC=3"), (Lines{"A=1B", "C=3"}));
  // The search for "*/" starts at the '*' of "/*": "/*/" is an empty comment.
  EXPECT_EQ(Clean("A/*/=1"), Lines{"A=1"});
  EXPECT_EQ(Clean("A=1 /* never closed\r\nB=2"), Lines{"A=1 "});
  EXPECT_EQ(Clean("/* only */\r\n// comments\r\n;\r\n"), Lines{});
  EXPECT_EQ(Clean("A=1\r\n/* x */"), Lines{"A=1"});
  // "//*" is a line comment, not a block comment.
  EXPECT_EQ(Clean("A=1//*\r\nB=2*/"), (Lines{"A=1", "B=2*/"}));
  EXPECT_EQ(Raw("A=1/* x */"), Lines{"A=1/* x */"});
}

TEST(Tokenizer, ZeroBytesAndLongLines) {
  std::string withNul("A=1\0junk\r\nB=2", 13);
  EXPECT_EQ(Clean(withNul), (Lines{"A=1", "B=2"}));
  EXPECT_EQ(Raw(withNul), (Lines{"A=1", "B=2"}));
  std::string leadingNul("\0A=1\r\nB=2", 9);
  EXPECT_EQ(Clean(leadingNul), Lines{"B=2"});
  EXPECT_EQ(Raw(leadingNul), (Lines{"", "B=2"}));

  // A megabyte line is kept whole.
  std::string big = "Key=" + std::string(1 << 20, 'x');
  Lines l = Clean(big + "\r\nNext=1");
  ASSERT_EQ(l.size(), 2u);
  EXPECT_EQ(l[0], big);
  EXPECT_EQ(Raw(big + "\n" + big).at(0).size(), 2 * big.size() + 1);

  // Binary garbage: every byte either lands in a line or was a separator/comment.
  std::string garbage;
  for (int i = 0; i < 4096; ++i) garbage.push_back(static_cast<char>((i * 131 + 7) % 256));
  size_t total = 0;
  for (const auto& s : Raw(garbage)) total += s.size();
  EXPECT_LE(total, garbage.size());
  for (const auto& s : Clean(garbage)) EXPECT_FALSE(s.empty());

  // An entry without a buffer gives no lines.
  UnPacked dir;
  dir.PFileSize = 10;
  EXPECT_TRUE(GetUnpackedLines(dir, true).empty());
}
