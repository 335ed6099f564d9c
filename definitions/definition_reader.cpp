#include "definitions/definition_reader.h"

#include <algorithm>
#include <cstring>

#include "archive/ascii_case.h"

namespace {

bool Blank(char C) { return C == ' ' || C == '\t'; }

class Reader {
 public:
  Reader(std::string_view Text, DefinitionView& Into)
      : T_(Text.substr(0, std::min(Text.size(), Text.find('\0')))), F_(Into), Starts_(Into.LineStarts) {
    F_.Sections.clear();
    F_.Keys.clear();
    F_.Problems.clear();
    F_.LoneLfLine = 0;
    ScanLines();
  }

  void Read() {
    // Room for a key a line, as definitions have; a file of empty lines gets
    // no more than an ordinary one.
    F_.Keys.reserve(std::min<size_t>(Starts_.size(), 4096));
    size_t i = 0;
    while (i < T_.size()) {
      const char c = T_[i];
      if (Blank(c) || c == '\r' || c == '\n' || c == ';')
        ++i;
      else
        i = Step(i);
    }
    for (const Open& o : Stack_) {
      // Braces left open under ones too deep to follow: the problem reported
      // there stands for them all.
      if (Deeper_ == 0) F_.Problems.push_back({SyntaxProblemKind::UnclosedBrace, LineAt(o.Offset), o.Offset});
      if (o.Section >= 0) F_.Sections[static_cast<size_t>(o.Section)].End = T_.size();
    }
    std::sort(F_.Problems.begin(), F_.Problems.end(),
              [](const SyntaxProblem& A, const SyntaxProblem& B) { return A.Offset < B.Offset; });
  }

 private:
  struct Open {
    int Section;  // -1 for a brace without a header
    size_t Offset;
  };

  // Line starts, and the line-end style: CR LF pairs against lone LFs.
  void ScanLines() {
    Starts_.clear();
    Starts_.push_back(0);
    bool crlf = false, lf = false;
    for (size_t i = T_.find('\n'); i != std::string_view::npos; i = T_.find('\n', i + 1)) {
      const bool pair = i > 0 && T_[i - 1] == '\r';
      (pair ? crlf : lf) = true;
      if (!pair && F_.LoneLfLine == 0) F_.LoneLfLine = static_cast<int>(Starts_.size());
      Starts_.push_back(i + 1);
    }
    F_.LineEnds = crlf && lf ? LineEndStyle::Mixed
                  : crlf     ? LineEndStyle::CrLf
                  : lf       ? LineEndStyle::Lf
                             : LineEndStyle::None;
  }

  // Tokens come in file order, so the line is found by walking on from the
  // last one; an earlier offset is looked up.
  int LineAt(size_t Offset) {
    if (Offset < Starts_[Cursor_])
      return static_cast<int>(std::upper_bound(Starts_.begin(), Starts_.end(), Offset) - Starts_.begin());
    while (Cursor_ + 1 < Starts_.size() && Starts_[Cursor_ + 1] <= Offset) ++Cursor_;
    return static_cast<int>(Cursor_) + 1;
  }
  // Offset of the LF ending the line that holds Offset, or the text's size.
  size_t NextLf(size_t Offset) const {
    const size_t lf = T_.find('\n', Offset);
    return lf == std::string_view::npos ? T_.size() : lf;
  }
  // The line end proper of line Line (1-based) for a token at Offset on it:
  // the CR of a CR LF, the lone LF, or the text's size.
  size_t LineEndOf(int Line, size_t Offset) const {
    const size_t next = static_cast<size_t>(Line);
    const size_t lf = next < Starts_.size() ? Starts_[next] - 1 : T_.size();
    return lf < T_.size() && lf > Offset && T_[lf - 1] == '\r' ? lf - 1 : lf;
  }

  int InnermostSection() const {
    for (auto o = Stack_.rbegin(); o != Stack_.rend(); ++o)
      if (o->Section >= 0) return o->Section;
    return -1;
  }

  void Problem(SyntaxProblemKind Kind, size_t Offset) { F_.Problems.push_back({Kind, LineAt(Offset), Offset}); }

  // Reads the token at I and returns where the next one may start.
  size_t Step(size_t I) {
    const char c = T_[I];
    const char next = I + 1 < T_.size() ? T_[I + 1] : '\0';
    if (c == '/' && next == '/') return NextLf(I);
    if (c == '/' && next == '*') {
      const size_t close = T_.find("*/", I + 1);
      if (close == std::string_view::npos) {
        Problem(SyntaxProblemKind::UnclosedComment, I);
        return T_.size();
      }
      return close + 2;
    }
    if (c == '[') return Header(I);
    if (c == '{') {
      if (Stack_.size() >= static_cast<size_t>(kMaxNesting)) {
        // Too deep to be a definition: counted, so that its "}" closes it,
        // and reported once.
        if (Deeper_++ == 0) Problem(SyntaxProblemKind::TooDeep, I);
      } else {
        Stack_.push_back({Pending_, I});
      }
      Pending_ = -1;
      return I + 1;
    }
    if (c == '}') {
      Pending_ = -1;
      if (Deeper_ > 0) {
        --Deeper_;
        return I + 1;
      }
      if (Stack_.empty()) {
        Problem(SyntaxProblemKind::StrayCloseBrace, I);
        return I + 1;
      }
      if (const int s = Stack_.back().Section; s >= 0) {
        DefinitionSection& sec = F_.Sections[static_cast<size_t>(s)];
        sec.CloseOffset = I;
        sec.CloseLine = LineAt(I);
        sec.End = I + 1;
      }
      Stack_.pop_back();
      return I + 1;
    }
    return Statement(I);
  }

  size_t Header(size_t I) {
    const int line = LineAt(I);
    const size_t lineEnd = LineEndOf(line, I);
    const void* found = std::memchr(T_.data() + I, ']', lineEnd - I);
    if (!found) {
      Problem(SyntaxProblemKind::UnclosedHeader, I);
      return lineEnd;
    }
    const size_t close = static_cast<size_t>(static_cast<const char*>(found) - T_.data());
    if (Deeper_ > 0) {
      // Inside braces too deep to follow: not a section either.
      Pending_ = -1;
      return close + 1;
    }
    DefinitionSection& sec = F_.Sections.emplace_back();
    sec.Name = Trim(I + 1, close);
    sec.Line = line;
    sec.HeaderOffset = I;
    sec.End = close + 1;
    sec.Parent = InnermostSection();
    sec.Depth = sec.Parent < 0 ? 0 : F_.Sections[static_cast<size_t>(sec.Parent)].Depth + 1;
    Pending_ = static_cast<int>(F_.Sections.size()) - 1;
    return close + 1;
  }

  // Key=Value up to ";", a comment or the line's end.
  size_t Statement(size_t I) {
    Pending_ = -1;
    const int line = LineAt(I);
    const size_t lineEnd = LineEndOf(line, I);
    // The first ";" ends it, unless a comment starts before.
    size_t end = lineEnd;
    if (const void* semi = std::memchr(T_.data() + I, ';', lineEnd - I))
      end = static_cast<size_t>(static_cast<const char*>(semi) - T_.data());
    for (size_t from = I; from < end;) {
      const void* slash = std::memchr(T_.data() + from, '/', end - from);
      if (!slash) break;
      const size_t at = static_cast<size_t>(static_cast<const char*>(slash) - T_.data());
      if (at + 1 < lineEnd && (T_[at + 1] == '/' || T_[at + 1] == '*')) {
        end = at;
        break;
      }
      from = at + 1;
    }
    // Without its ";" a statement also ends at a brace ("[A] { x=1 }"); with
    // one, braces belong to the value.
    if (end == lineEnd || T_[end] != ';')
      for (size_t b = I; b < end; ++b)
        if (T_[b] == '{' || T_[b] == '}') {
          end = b;
          break;
        }
    const void* equals = std::memchr(T_.data() + I, '=', end - I);
    const size_t eq = equals ? static_cast<size_t>(static_cast<const char*>(equals) - T_.data()) : std::string_view::npos;
    const std::string_view name = eq == std::string_view::npos ? std::string_view() : Trim(I, eq);
    if (name.empty()) {
      Problem(SyntaxProblemKind::NotAStatement, I);
      return end;
    }
    const std::string_view value = Trim(eq + 1, end);
    const size_t lineStart = Starts_[static_cast<size_t>(line) - 1];
    const std::string_view before = T_.substr(lineStart, I - lineStart);
    const bool startsLine = std::all_of(before.begin(), before.end(), Blank);
    F_.Keys.push_back({name, value, startsLine ? before : std::string_view(), line, I,
                       value.empty() ? eq + 1 : static_cast<size_t>(value.data() - T_.data()), lineEnd,
                       InnermostSection(), startsLine});
    return end;
  }

  std::string_view Trim(size_t From, size_t To) const {
    while (From < To && Blank(T_[From])) ++From;
    while (To > From && Blank(T_[To - 1])) --To;
    return T_.substr(From, To - From);
  }

  std::string_view T_;
  DefinitionView& F_;
  std::vector<size_t>& Starts_;
  size_t Cursor_ = 0;  // index in Starts_ of the line LineAt found last
  std::vector<Open> Stack_;  // at most kMaxNesting deep
  size_t Deeper_ = 0;        // braces open beyond that
  int Pending_ = -1;  // a header still waiting for its "{"
};

}  // namespace

void ReadDefinitionView(std::string_view Text, DefinitionView& Into) { Reader(Text, Into).Read(); }

DefinitionFile ReadDefinition(std::string_view Text) {
  DefinitionView v;
  ReadDefinitionView(Text, v);
  DefinitionFile f;
  f.Sections = std::move(v.Sections);
  f.Problems = std::move(v.Problems);
  f.LineEnds = v.LineEnds;
  f.LoneLfLine = v.LoneLfLine;
  f.Keys.reserve(v.Keys.size());
  for (const DefinitionKeyView& k : v.Keys) {
    DefinitionKey& key = f.Keys.emplace_back();
    key.Name = k.Name;
    key.Value = k.Value;
    key.Line = k.Line;
    key.KeyOffset = k.KeyOffset;
    key.ValueOffset = k.ValueOffset;
    key.ValueLength = k.Value.size();
    key.LineEnd = k.LineEnd;
    key.Section = k.Section;
    key.StartsLine = k.StartsLine;
    key.Indent = k.Indent;
  }
  return f;
}

std::vector<const DefinitionKey*> DefinitionFile::KeysOf(int S) const {
  std::vector<const DefinitionKey*> keys;
  for (const DefinitionKey& k : Keys)
    if (k.Section == S) keys.push_back(&k);
  return keys;
}

namespace {

// What DefinitionFile and DefinitionView share, for either.
template <class File>
const auto* FindKeyIn(const File& F, int S, std::string_view Name) {
  for (const auto& k : F.Keys)
    if (k.Section == S && EqualIgnoringCase(k.Name, Name)) return &k;
  return static_cast<decltype(&F.Keys.front())>(nullptr);
}

}  // namespace

const DefinitionKey* DefinitionFile::FindKey(int S, std::string_view Name) const { return FindKeyIn(*this, S, Name); }
const DefinitionKeyView* DefinitionView::FindKey(int S, std::string_view Name) const {
  return FindKeyIn(*this, S, Name);
}

namespace {

// The blanks and tabs that start the line holding Offset.
std::string LeadingBlanks(std::string_view Text, size_t Offset) {
  const size_t lf = Text.rfind('\n', Offset == 0 ? 0 : Offset - 1);
  size_t i = (lf == std::string_view::npos || lf >= Offset) ? 0 : lf + 1;
  const size_t start = i;
  while (i < Offset && Blank(Text[i])) ++i;
  return std::string(Text.substr(start, i - start));
}

}  // namespace

std::string DefinitionView::IndentFor(int S, std::string_view Text) const {
  for (auto k = Keys.rbegin(); k != Keys.rend(); ++k)
    if (k->Section == S && k->StartsLine) return std::string(k->Indent);
  const int depth = S < 0 ? -1 : Sections[static_cast<size_t>(S)].Depth;
  for (const DefinitionKeyView& k : Keys)
    if (k.StartsLine && (k.Section < 0 ? -1 : Sections[static_cast<size_t>(k.Section)].Depth) == depth)
      return std::string(k.Indent);
  if (S < 0 || Sections[static_cast<size_t>(S)].CloseOffset == std::string::npos) return "";
  return LeadingBlanks(Text, Sections[static_cast<size_t>(S)].CloseOffset) + "\t";
}

DefinitionInsertion InsertKey(const DefinitionView& File, std::string_view Text, int S, std::string_view Key,
                              std::string_view Value) {
  DefinitionInsertion ins;
  if (S < 0 || static_cast<size_t>(S) >= File.Sections.size()) return ins;
  const size_t close = File.Sections[static_cast<size_t>(S)].CloseOffset;
  if (close == std::string::npos) return ins;
  const std::string statement =
      File.IndentFor(S, Text) + std::string(Key) + "=" + std::string(Value) + ";" + std::string(File.NewLine());
  const std::string lead = LeadingBlanks(Text, close);
  const size_t lineStart = close - lead.size();
  if (lineStart == 0 || Text[lineStart - 1] == '\n') {
    // The "}" starts its line: the statement goes on a line of its own before it.
    ins.Offset = lineStart;
    ins.Text = statement;
  } else {
    // Something precedes the "}" on its line: the statement and the "}" move
    // to lines of their own.
    ins.Offset = close;
    ins.Text = std::string(File.NewLine()) + statement + lead;
  }
  return ins;
}
