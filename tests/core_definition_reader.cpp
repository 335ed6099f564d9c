// The definition reader: every key with its place, sections with their
// nesting, brace problems, line ends, and where a new key is inserted.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "definitions/definition_reader.h"

namespace {

// The bytes the reader says a value occupies.
std::string ValueAt(const std::string& Text, const DefinitionKey& K) {
  return Text.substr(K.ValueOffset, K.ValueLength);
}

TEST(DefinitionReader, KeepsEveryKeyWithItsPlace) {
  const std::string text =
      "Loose=1;\r\n"                       // 1
      "[GUN]\r\n"                          // 2
      "\t{\r\n"                            // 3
      "\tID = 201 ;  // note\r\n"          // 4
      "\tname=Big Gun;\r\n"                // 5
      "\t[DAMAGE]\r\n"                     // 6
      "\t\t{\r\n"                          // 7
      "\t\tdefault=16;\r\n"                // 8
      "\t\t}\r\n"                          // 9
      "\tAfter=x; Second=y;\r\n"           // 10
      "\t/* Hidden=1;\r\n"                 // 11
      "\t   Hidden2=2; */ range=290;\r\n"  // 12
      "\t}\r\n";                           // 13
  const DefinitionFile f = ReadDefinition(text);
  EXPECT_EQ(f.LineEnds, LineEndStyle::CrLf);
  EXPECT_TRUE(f.Problems.empty());
  ASSERT_EQ(f.Sections.size(), 2u);
  EXPECT_EQ(f.Sections[0].Name, "GUN");
  EXPECT_EQ(f.Sections[0].Line, 2);
  EXPECT_EQ(f.Sections[0].CloseLine, 13);
  EXPECT_EQ(f.Sections[0].Depth, 0);
  EXPECT_EQ(f.Sections[0].Parent, -1);
  EXPECT_EQ(f.Sections[0].HeaderOffset, text.find("[GUN]"));
  EXPECT_EQ(f.Sections[0].End, text.rfind('}') + 1);
  EXPECT_EQ(f.Sections[1].Name, "DAMAGE");
  EXPECT_EQ(f.Sections[1].Line, 6);
  EXPECT_EQ(f.Sections[1].CloseLine, 9);
  EXPECT_EQ(f.Sections[1].Depth, 1);
  EXPECT_EQ(f.Sections[1].Parent, 0);

  struct Want {
    const char* Name;
    const char* Value;
    int Line;
    int Section;
  };
  const Want want[] = {{"Loose", "1", 1, -1},    {"ID", "201", 4, 0},     {"name", "Big Gun", 5, 0},
                       {"default", "16", 8, 1},  {"After", "x", 10, 0},   {"Second", "y", 10, 0},
                       {"range", "290", 12, 0}};
  ASSERT_EQ(f.Keys.size(), std::size(want));
  for (size_t i = 0; i < std::size(want); ++i) {
    SCOPED_TRACE(want[i].Name);
    const DefinitionKey& k = f.Keys[i];
    EXPECT_EQ(k.Name, want[i].Name);
    EXPECT_EQ(k.Value, want[i].Value);
    EXPECT_EQ(ValueAt(text, k), want[i].Value);
    EXPECT_EQ(k.Line, want[i].Line);
    EXPECT_EQ(k.Section, want[i].Section);
    EXPECT_EQ(text.compare(k.KeyOffset, k.Name.size(), k.Name), 0);
    EXPECT_EQ(text.substr(k.LineEnd, 2), "\r\n");
  }
  EXPECT_FALSE(f.Keys[5].StartsLine);
  EXPECT_TRUE(f.Keys[4].StartsLine);
  EXPECT_EQ(f.Keys[4].Indent, "\t");
  EXPECT_EQ(f.FindKey(0, "RANGE"), &f.Keys[6]);
  EXPECT_EQ(f.FindKey(0, "default"), nullptr);  // in the nested section, not directly in GUN
  EXPECT_EQ(f.KeysOf(1).size(), 1u);

  // Braces inside a value ended by ";" are the value's; without ";" a brace ends it.
  const DefinitionFile g = ReadDefinition("[A]{Text=a {b} c; X=1}");
  ASSERT_EQ(g.Keys.size(), 2u);
  EXPECT_EQ(g.Keys[0].Value, "a {b} c");
  EXPECT_EQ(g.Keys[1].Value, "1");
  EXPECT_TRUE(g.Problems.empty());
  EXPECT_EQ(g.Sections[0].End, 22u);
}

TEST(DefinitionReader, ReportsBraceProblemsWithTheirLines) {
  // A stray "}" on line 2, a "{" on line 4 that is never closed.
  const DefinitionFile f = ReadDefinition("[A]{x=1;}\n}\n[B]\n{\ny=2;\n[C]{z=3;}\n");
  EXPECT_EQ(f.LineEnds, LineEndStyle::Lf);
  ASSERT_EQ(f.Problems.size(), 2u);
  EXPECT_EQ(f.Problems[0].Kind, SyntaxProblemKind::StrayCloseBrace);
  EXPECT_EQ(f.Problems[0].Line, 2);
  EXPECT_EQ(f.Problems[1].Kind, SyntaxProblemKind::UnclosedBrace);
  EXPECT_EQ(f.Problems[1].Line, 4);
  ASSERT_EQ(f.Sections.size(), 3u);
  EXPECT_EQ(f.Sections[1].CloseLine, 0);
  EXPECT_EQ(f.Sections[2].Parent, 1);
  EXPECT_EQ(f.Keys[1].Section, 1);
  EXPECT_EQ(f.Keys[2].Section, 2);
  EXPECT_EQ(f.Keys[2].Line, 6);
}

TEST(DefinitionReader, LineEndStylesAndZeroByte) {
  EXPECT_EQ(ReadDefinition("a=1;").LineEnds, LineEndStyle::None);
  EXPECT_EQ(ReadDefinition("a=1;\r\nb=2;\n").LineEnds, LineEndStyle::Mixed);
  EXPECT_EQ(ReadDefinition("a=1;\r\nb=2;\nc=3;\n").LoneLfLine, 2);
  EXPECT_EQ(ReadDefinition("a=1;\r\nb=2;\r\n").LoneLfLine, 0);
  // A lone CR is no line end; a zero byte ends the text.
  const DefinitionFile f = ReadDefinition(std::string("a=1;\rb=2;\r\nc=3;\0d=4;\r\n", 22));
  ASSERT_EQ(f.Keys.size(), 3u);
  EXPECT_EQ(f.Keys[1].Line, 1);
  EXPECT_EQ(f.Keys[2].Line, 2);
  EXPECT_EQ(f.LineEnds, LineEndStyle::CrLf);
}

// A view read into again holds the new text's reading only, its texts
// pointing into that text.
TEST(DefinitionReader, AViewReadAgainHoldsOnlyTheNewText) {
  DefinitionView v;
  ReadDefinitionView("Loose=1;\n[A]\n{\nx=1;\n}\n}\n[B]{y=2;", v);
  ASSERT_EQ(v.Problems.size(), 2u);  // the stray "}" and the unclosed "{"
  EXPECT_EQ(v.LoneLfLine, 1);
  EXPECT_EQ(v.Keys.size(), 3u);

  const std::string text = "[GUN]\r\n{\r\n\tID = 7 ;\r\n\tname=;\r\n}\r\n";
  ReadDefinitionView(text, v);
  EXPECT_EQ(v.LineEnds, LineEndStyle::CrLf);
  EXPECT_EQ(v.LoneLfLine, 0);
  EXPECT_TRUE(v.Problems.empty());
  EXPECT_EQ(v.LineStarts, (std::vector<size_t>{0, 7, 10, 21, 30, 33}));
  ASSERT_EQ(v.Sections.size(), 1u);
  EXPECT_EQ(v.Sections[0].Name, "GUN");
  EXPECT_EQ(v.Sections[0].CloseLine, 5);
  ASSERT_EQ(v.Keys.size(), 2u);
  EXPECT_EQ(v.Keys[0].Name, "ID");
  EXPECT_EQ(v.Keys[0].Value, "7");
  EXPECT_EQ(v.Keys[0].Value.data(), text.data() + 16);
  EXPECT_EQ(v.Keys[0].Line, 3);
  EXPECT_EQ(v.Keys[0].LineEnd, 19u);
  EXPECT_EQ(v.Keys[0].Indent, "\t");
  EXPECT_EQ(v.Keys[1].Name, "name");
  EXPECT_EQ(v.Keys[1].Value, "");
  EXPECT_EQ(v.Keys[1].ValueOffset, 27u);
  EXPECT_EQ(v.Keys[1].Section, 0);
}

TEST(DefinitionReader, InsertsInTheFilesOwnLineEndsAndIndentation) {
  const std::string crlf = "[U]\r\n  {\r\n    A=1;\r\n  }\r\n";
  DefinitionView f;
  ReadDefinitionView(crlf, f);
  DefinitionInsertion ins = InsertKey(f, crlf, 0, "B", "2");
  EXPECT_EQ(std::string(crlf).insert(ins.Offset, ins.Text), "[U]\r\n  {\r\n    A=1;\r\n    B=2;\r\n  }\r\n");

  const std::string lf = "[U]\n{\n}\n";  // no key to copy: the brace's indentation plus a tab
  ReadDefinitionView(lf, f);
  ins = InsertKey(f, lf, 0, "B", "2");
  EXPECT_EQ(std::string(lf).insert(ins.Offset, ins.Text), "[U]\n{\n\tB=2;\n}\n");

  const std::string inline_ = "[U] { A=1 }";
  ReadDefinitionView(inline_, f);
  ins = InsertKey(f, inline_, 0, "B", "2");
  const std::string after = std::string(inline_).insert(ins.Offset, ins.Text);
  EXPECT_EQ(after, "[U] { A=1 \r\n\tB=2;\r\n}");
  // The result reads back with both keys in the section.
  const DefinitionFile back = ReadDefinition(after);
  ASSERT_EQ(back.Keys.size(), 2u);
  EXPECT_EQ(back.Keys[0].Value, "1");
  EXPECT_EQ(back.Keys[1].Section, 0);

  const std::string unclosed = "[U]\n{\nA=1;\n";  // never closed: nothing is inserted
  ReadDefinitionView(unclosed, f);
  EXPECT_EQ(InsertKey(f, unclosed, 0, "B", "2").Offset, std::string::npos);
}

// Braces nest at most kMaxNesting deep: a file at the limit reads as any
// other; one deeper gets one TooDeep problem at its first too-deep brace, no
// problem for each brace, and its keys are still read.
TEST(DefinitionReader, BracesDeeperThanTheLimitAreCountedNotFollowed) {
  const auto nested = [](int Depth, bool Closed) {
    std::string t = "[U]\r\n" + std::string(static_cast<size_t>(Depth), '{') + "[IN]{x=1;}\r\n";
    if (Closed) t += std::string(static_cast<size_t>(Depth), '}') + "\r\nafter=2;\r\n";
    return t;
  };
  struct Case {
    int Depth;  // braces before [IN]'s own
    bool Closed;
    size_t Sections, TooDeep, Unclosed, Keys;
    size_t TooDeepAt;  // offset of the first brace too deep
  };
  const size_t limit = static_cast<size_t>(kMaxNesting), first = 5 + limit;  // after "[U]\r\n" and kMaxNesting braces
  const Case cases[] = {
      {kMaxNesting - 1, true, 2, 0, 0, 2, 0},  // [IN]'s brace is the deepest followed
      {kMaxNesting, true, 2, 1, 0, 2, first + 4},  // [IN]'s own brace is one too deep
      {kMaxNesting + 1000, true, 1, 1, 0, 2, first},  // [IN] lies too deep; all closed again by count
      {kMaxNesting - 1, false, 2, 0, limit - 1, 1, 0},
      {kMaxNesting + 1000, false, 1, 1, 0, 1, first},  // one problem stands for them all
  };
  for (const Case& c : cases) {
    const std::string text = nested(c.Depth, c.Closed);
    const DefinitionFile f = ReadDefinition(text);
    size_t tooDeep = 0, unclosed = 0;
    for (const SyntaxProblem& p : f.Problems) {
      tooDeep += p.Kind == SyntaxProblemKind::TooDeep;
      unclosed += p.Kind == SyntaxProblemKind::UnclosedBrace;
      if (p.Kind == SyntaxProblemKind::TooDeep) {
        EXPECT_EQ(p.Offset, c.TooDeepAt) << c.Depth;
      }
    }
    EXPECT_EQ(f.Sections.size(), c.Sections) << c.Depth;
    EXPECT_EQ(tooDeep, c.TooDeep) << c.Depth;
    EXPECT_EQ(unclosed, c.Unclosed) << c.Depth;
    EXPECT_EQ(f.Keys.size(), c.Keys) << c.Depth;
    EXPECT_EQ(f.Problems.size(), c.TooDeep + c.Unclosed) << c.Depth;
  }
}

}  // namespace
