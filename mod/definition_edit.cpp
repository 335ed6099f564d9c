#include "mod/definition_edit.h"

#include <algorithm>

#include "archive/ascii_case.h"
#include "mod/cell_text.h"
#include "definitions/definition_reader.h"

namespace {

bool IsBlank(char C) { return C == ' ' || C == '\t'; }

std::string NoBlanks(std::string_view S) {
  std::string out;
  for (char c : S)
    if (!IsBlank(c)) out += c;
  return out;
}

std::string FoldedName(std::string_view S) { return LowerAscii(NoBlanks(S)); }

// Whether A and B are one name, ignoring letter case and blanks within.
bool SameName(std::string_view A, std::string_view B) {
  size_t i = 0, j = 0;
  for (;;) {
    while (i < A.size() && IsBlank(A[i])) ++i;
    while (j < B.size() && IsBlank(B[j])) ++j;
    if (i == A.size() || j == B.size()) return i == A.size() && j == B.size();
    if (FoldAscii(A[i]) != FoldAscii(B[j])) return false;
    ++i;
    ++j;
  }
}

}  // namespace

DefinitionRecords::DefinitionRecords(std::string_view Text, const DefinitionView& File) : Text_(Text), File_(File) {
  // Sections come in the order of their headers; records in the order of
  // the closing braces that end them.
  std::vector<std::pair<size_t, int>> closes;
  for (size_t s = 0; s < File.Sections.size(); ++s)
    if (File.Sections[s].CloseOffset != std::string::npos)
      closes.push_back({File.Sections[s].CloseOffset, static_cast<int>(s)});
  std::sort(closes.begin(), closes.end());
  size_t begin = 0, next = 0;
  for (const auto& [close, closing] : closes) {
    DefinitionRecord r{begin, close + 1, -1, closing};
    while (next < File.Sections.size() && File.Sections[next].HeaderOffset < r.Begin) ++next;
    if (next < File.Sections.size() && File.Sections[next].HeaderOffset < r.End) {
      r.Section = static_cast<int>(next);
      ByName_[FoldedName(File.Sections[next].Name)].push_back(Records_.size());
    }
    Records_.push_back(r);
    begin = close + 1;
  }
}

const DefinitionKeyView* DefinitionRecords::FirstKey(const DefinitionRecord& R, std::string_view Key) const {
  // Keys come in the order they are written.
  auto k = std::lower_bound(File_.Keys.begin(), File_.Keys.end(), R.Begin,
                            [](const DefinitionKeyView& K, size_t Offset) { return K.KeyOffset < Offset; });
  for (; k != File_.Keys.end() && k->KeyOffset < R.End; ++k)
    if (SameName(k->Name, Key)) return &*k;
  return nullptr;
}

const DefinitionKeyView* DefinitionRecords::OwnKey(const DefinitionRecord& R, std::string_view Key) const {
  if (R.Section < 0) return nullptr;
  for (const DefinitionKeyView& k : File_.Keys)
    if (k.Section == R.Section && SameName(k.Name, Key)) return &k;
  return nullptr;
}

std::string KeyWithoutBlanks(std::string_view Key) { return NoBlanks(Key); }

bool DefinitionRecords::Find(const std::string& Section, const std::string& CaptionKey, DefinitionRecord& Out) const {
  if (Section.empty()) {
    Out = {0, Text_.size(), -1, -1};
    for (size_t s = 0; s < File_.Sections.size(); ++s)
      if (File_.Sections[s].Depth == 0) {
        Out.Section = static_cast<int>(s);
        break;
      }
    return true;
  }
  const auto named = ByName_.find(FoldedName(Section));
  if (named == ByName_.end()) return false;
  // Of records named alike, the table shows those with a caption.
  for (size_t r : named->second) {
    const DefinitionKeyView* k = named->second.size() > 1 ? FirstKey(Records_[r], CaptionKey) : nullptr;
    if (named->second.size() == 1 || (k && !k->Value.empty())) {
      Out = Records_[r];
      return true;
    }
  }
  return false;
}

namespace {

// Keys the table fills from a section nested in the definition's own: a
// weapon's damage to every unit without a line of its own.
bool KeyOfNestedSection(std::string_view Key) { return EqualIgnoringCase(Key, "Default"); }

// A new key line in the definition's own section, where the table still
// reads it: at the end when no section is nested in the record, else on a
// line of its own before the first nested header.
DefinitionInsertion AddToOwnSection(const DefinitionView& File, std::string_view Text, const DefinitionRecord& R,
                                    std::string_view Key, std::string_view Value) {
  const int closing = R.Closing;
  // A unit's record is its whole file, read to its end.
  if (closing < 0 || closing == R.Section) return InsertKey(File, Text, R.Section, Key, Value);
  DefinitionInsertion ins;
  for (const DefinitionSection& s : File.Sections) {
    if (s.Parent != R.Section || s.HeaderOffset < R.Begin || s.HeaderOffset >= R.End) continue;
    size_t lineStart = s.HeaderOffset;
    while (lineStart > 0 && IsBlank(Text[lineStart - 1])) --lineStart;
    if (lineStart > 0 && Text[lineStart - 1] != '\n') return ins;  // the header shares its line
    ins.Offset = lineStart;
    ins.Text = File.IndentFor(R.Section, Text) + std::string(Key) + "=" + std::string(Value) + ";" +
               std::string(File.NewLine());
    return ins;
  }
  return ins;
}

}  // namespace

std::string UnsafeValue(std::string_view Value) {
  for (size_t i = 0; i < Value.size(); ++i) {
    const char c = Value[i];
    if (c == '\r' || c == '\n') return "a line break";
    if (c == '\0') return "a zero byte";
    if (c == ';') return "\";\", which ends a value";
    if (c == '{' || c == '}') return std::string("\"") + c + "\", which opens or closes a section";
    if (c == '/' && i + 1 < Value.size() && (Value[i + 1] == '/' || Value[i + 1] == '*'))
      return std::string("\"/") + Value[i + 1] + "\", which starts a comment";
  }
  return "";
}

bool PlanDefinitionEdits(const DefinitionRecords& Records, const std::string& Section, const std::string& CaptionKey,
                         const std::vector<CellChange>& Cells, std::vector<TextEdit>& Edits,
                         std::vector<std::string>& Problems, std::vector<size_t>* Failed) {
  const std::string_view Text = Records.Text();
  const DefinitionView& File = Records.File();
  DefinitionRecord record;
  if (!Records.Find(Section, CaptionKey, record)) return false;
  // One cell's edit; false, with a line in Problems, when it cannot be made.
  // The key added at the end of the definition's own section.
  const auto addOwn = [&](const CellChange& cell) -> bool {
    DefinitionInsertion add = AddToOwnSection(File, Text, record, cell.Key, cell.NewValue);
    if (add.Offset == std::string::npos) {
      Problems.push_back(cell.Key + ": there is no line in its definition where it could be added and read back");
      return false;
    }
    Edits.push_back({add.Offset, 0, std::move(add.Text)});
    return true;
  };
  const auto plan = [&](const CellChange& cell) -> bool {
    const DefinitionKeyView* key = cell.OwnSection ? Records.OwnKey(record, cell.Key) : Records.FirstKey(record, cell.Key);
    if (!key && cell.OwnSection) {
      if (!cell.OldValue.empty() || record.Section < 0) {
        Problems.push_back(cell.Key + ": its value is not where the table shows it");
        return false;
      }
      return addOwn(cell);
    }
    if (!key) {
      if (!cell.OldValue.empty()) {
        Problems.push_back(cell.Key + ": its value is not where the table shows it");
        return false;
      }
      if (record.Section < 0) {
        Problems.push_back(cell.Key + ": the definition has no section to add it to");
        return false;
      }
      if (KeyOfNestedSection(cell.Key) && record.Closing >= 0 && record.Closing != record.Section) {
        DefinitionInsertion add = InsertKey(File, Text, record.Closing, cell.Key, cell.NewValue);
        Edits.push_back({add.Offset, 0, std::move(add.Text)});
        return true;
      }
      // A key written after a nested section is not in the table's record,
      // but it is the definition's own: it is set, not added a second time.
      if (const DefinitionKeyView* later = File.FindKey(record.Section, cell.Key)) {
        Edits.push_back({later->ValueOffset, later->Value.size(), cell.NewValue});
        return true;
      }
      return addOwn(cell);
    }
    // The table's value is the file's with the blanks around it: the value
    // itself is replaced, the blanks stay.
    const std::string_view old = TrimBlanks(cell.OldValue);
    if (Text.substr(key->ValueOffset, key->Value.size()) != old) {
      Problems.push_back(cell.Key + ": its value is not where the table shows it");
      return false;
    }
    Edits.push_back({key->ValueOffset, key->Value.size(), cell.NewValue});
    return true;
  };
  for (size_t i = 0; i < Cells.size(); ++i)
    if (!plan(Cells[i]) && Failed) Failed->push_back(i);
  return true;
}
