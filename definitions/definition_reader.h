#pragma once
// Reads one definition file (.fbi, .tdf) as its grammar says, keeping every
// key with its place: sections with their nesting, keys inside nested
// sections and after them, keys outside any section and keys the column
// catalogue does not know. The checking, diffing and applying tools share it;
// the tables keep their own line rules (tokenizer.h, build_rows.h).
//
// The text is 8-bit, without code-page conversion. A line ends at LF or at
// CR LF; a zero byte ends the text. Comments are "//" to the line's end and
// "/*" to the next "*/". A statement is Key=Value, ended by ";", by a comment
// or by the line's end; several statements may share a line. A section is a
// header "[NAME]" followed by "{" ... "}"; sections nest.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

enum class LineEndStyle { None, CrLf, Lf, Mixed };

struct DefinitionKey {
  std::string Name;   // as written, blanks around it dropped
  std::string Value;  // as written, blanks and tabs on both sides dropped
  int Line = 0;       // 1-based line of the key
  size_t KeyOffset = 0;      // byte offset of the key's first character
  size_t ValueOffset = 0;    // Text.substr(ValueOffset, ValueLength) == Value;
  size_t ValueLength = 0;    // for an empty value, where it would start
  size_t LineEnd = 0;        // offset of the line end after the statement (its CR or LF), or the text's size
  int Section = -1;          // index in Sections of the innermost section it is in; -1 for none
  bool StartsLine = false;   // only blanks and tabs precede the key on its line
  std::string Indent;        // those blanks and tabs, when StartsLine
};

struct DefinitionSection {
  std::string Name;       // between "[" and "]", blanks around it dropped
  int Line = 0;           // 1-based line of the header
  int CloseLine = 0;      // 1-based line of the closing "}", 0 when never closed
  size_t HeaderOffset = 0;  // offset of "["
  size_t CloseOffset = std::string::npos;  // offset of its "}", npos when never closed
  size_t End = 0;         // just past the closing "}" (the text's size when never closed)
  int Depth = 0;          // 0 at the top level, 1 inside one section, ...
  int Parent = -1;        // index in Sections, -1 at the top level
};

enum class SyntaxProblemKind {
  UnclosedBrace,      // a "{" that is never closed: Line is the "{"
  StrayCloseBrace,    // a "}" with no "{" open
  UnclosedHeader,     // a "[" with no "]" on its line
  NotAStatement,      // text that is neither header, brace nor Key=Value
  UnclosedComment,    // a "/*" with no "*/" after it
  TooDeep,            // the first "{" nested deeper than kMaxNesting; braces that
                      // deep are matched by count, not followed, and when some stay
                      // open the braces under them are not reported one by one
};

// How deep braces nest before the reader stops following them. The game's
// own files nest a few levels; a file deeper than this is damaged, and
// following each of its braces would cost memory for every brace.
constexpr int kMaxNesting = 256;

struct SyntaxProblem {
  SyntaxProblemKind Kind;
  int Line = 0;
  size_t Offset = 0;
};

struct DefinitionFile {
  std::vector<DefinitionSection> Sections;  // in the order of their headers
  std::vector<DefinitionKey> Keys;          // in file order
  std::vector<SyntaxProblem> Problems;      // in file order
  LineEndStyle LineEnds = LineEndStyle::None;
  int LoneLfLine = 0;  // the first line that ends in LF alone; 0 when none does

  // The file's own line end: "\n" for LF files, "\r\n" otherwise.
  std::string_view NewLine() const { return LineEnds == LineEndStyle::Lf ? "\n" : "\r\n"; }
  // The keys directly in section S (not in sections nested in it), in file order.
  std::vector<const DefinitionKey*> KeysOf(int S) const;
  // The first key directly in section S named Name, ignoring case; null when none.
  const DefinitionKey* FindKey(int S, std::string_view Name) const;
};

DefinitionFile ReadDefinition(std::string_view Text);

// A key as DefinitionKey has it, its texts viewing the text it was read from.
struct DefinitionKeyView {
  std::string_view Name, Value;
  std::string_view Indent;       // the blanks and tabs before the key, when StartsLine
  int Line = 0;
  size_t KeyOffset = 0;
  size_t ValueOffset = 0;
  size_t LineEnd = 0;
  int Section = -1;
  bool StartsLine = false;
};

// The same reading without copies of the names and values, for readers of
// many files: the keys view the text, which must outlive them. Reading into
// a view again reuses its storage.
struct DefinitionView {
  std::vector<DefinitionSection> Sections;
  std::vector<DefinitionKeyView> Keys;
  std::vector<SyntaxProblem> Problems;
  std::vector<size_t> LineStarts;  // offset of each line's first byte
  LineEndStyle LineEnds = LineEndStyle::None;
  int LoneLfLine = 0;

  // As DefinitionFile's.
  std::string_view NewLine() const { return LineEnds == LineEndStyle::Lf ? "\n" : "\r\n"; }
  const DefinitionKeyView* FindKey(int S, std::string_view Name) const;
  // The indentation a new key in section S gets: that of its last key on a
  // line of its own, else of any key at the same depth, else the closing
  // brace's indentation plus one tab.
  std::string IndentFor(int S, std::string_view Text) const;
};
void ReadDefinitionView(std::string_view Text, DefinitionView& Into);

// Where and what to insert into Text so that section S ends with the
// statement Key=Value; in the file's own line ends and indentation. Offset is
// npos when S has no closing brace (nothing can be added safely).
struct DefinitionInsertion {
  size_t Offset = std::string::npos;
  std::string Text;
};
DefinitionInsertion InsertKey(const DefinitionView& File, std::string_view Text, int S, std::string_view Key,
                              std::string_view Value);
