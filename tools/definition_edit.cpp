#include "definition_edit.h"

#include <algorithm>

#include "archive/ascii_case.h"
#include "definitions/definition_reader.h"

namespace {

bool IsBlank(char C) { return C == ' ' || C == '\t'; }

std::string NoBlanks(std::string_view S) {
  std::string out;
  for (char c : S)
    if (!IsBlank(c)) out += c;
  return out;
}

// The bytes of one table record: a unit file whole; in other files the text
// from after one closing brace to the next, as the table's rows are cut.
struct Record {
  size_t Begin = 0, End = 0;
  int Section = -1;  // the first section whose header lies in it
};

const DefinitionKey* FirstKey(const DefinitionFile& File, const Record& R, std::string_view Key) {
  const std::string wanted = NoBlanks(Key);
  for (const DefinitionKey& k : File.Keys)
    if (k.KeyOffset >= R.Begin && k.KeyOffset < R.End && EqualIgnoringCase(NoBlanks(k.Name), wanted)) return &k;
  return nullptr;
}

bool FindRecord(std::string_view Text, const DefinitionFile& File, const std::string& Section,
                const std::string& CaptionKey, Record& Out) {
  if (Section.empty()) {
    Out = {0, Text.size(), -1};
    for (size_t s = 0; s < File.Sections.size(); ++s)
      if (File.Sections[s].Depth == 0) {
        Out.Section = static_cast<int>(s);
        break;
      }
    return true;
  }
  std::vector<size_t> closes;
  for (const DefinitionSection& s : File.Sections)
    if (s.CloseOffset != std::string::npos) closes.push_back(s.CloseOffset);
  std::sort(closes.begin(), closes.end());
  const std::string wanted = NoBlanks(Section);
  std::vector<Record> found;
  size_t begin = 0;
  for (size_t close : closes) {
    Record r{begin, close + 1, -1};
    for (size_t s = 0; s < File.Sections.size() && r.Section < 0; ++s)
      if (File.Sections[s].HeaderOffset >= r.Begin && File.Sections[s].HeaderOffset < r.End)
        r.Section = static_cast<int>(s);
    if (r.Section >= 0 && EqualIgnoringCase(NoBlanks(File.Sections[static_cast<size_t>(r.Section)].Name), wanted))
      found.push_back(r);
    begin = close + 1;
  }
  // Of records named alike, the table shows those with a caption.
  if (found.size() > 1)
    found.erase(std::remove_if(found.begin(), found.end(),
                               [&](const Record& r) {
                                 const DefinitionKey* k = FirstKey(File, r, CaptionKey);
                                 return !k || k->Value.empty();
                               }),
                found.end());
  if (found.empty()) return false;
  Out = found.front();
  return true;
}

// The table reads a record up to the first closing brace, which closes the
// innermost section open there: in a weapon that is its [DAMAGE] block.
int SectionClosingRecord(const DefinitionFile& File, const Record& R) {
  for (size_t s = 0; s < File.Sections.size(); ++s)
    if (File.Sections[s].CloseOffset != std::string::npos && File.Sections[s].CloseOffset + 1 == R.End)
      return static_cast<int>(s);
  return -1;
}

// Keys the table fills from a section nested in the definition's own: a
// weapon's damage to every unit without a line of its own.
bool KeyOfNestedSection(std::string_view Key) { return EqualIgnoringCase(Key, "Default"); }

// A new key line in the definition's own section, where the table still
// reads it: at the end when no section is nested in the record, else on a
// line of its own before the first nested header.
DefinitionInsertion AddToOwnSection(const DefinitionFile& File, std::string_view Text, const Record& R,
                                    std::string_view Key, std::string_view Value) {
  const int closing = SectionClosingRecord(File, R);
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

bool PlanDefinitionEdits(std::string_view Text, const DefinitionFile& File, const std::string& Section,
                         const std::string& CaptionKey, const std::vector<CellChange>& Cells,
                         std::vector<TextEdit>& Edits, std::vector<std::string>& Problems) {
  Record record;
  if (!FindRecord(Text, File, Section, CaptionKey, record)) return false;
  for (const CellChange& cell : Cells) {
    const DefinitionKey* key = FirstKey(File, record, cell.Key);
    if (!key) {
      if (!cell.OldValue.empty()) {
        Problems.push_back(cell.Key + ": its value is not where the table shows it");
        continue;
      }
      if (record.Section < 0) {
        Problems.push_back(cell.Key + ": the definition has no section to add it to");
        continue;
      }
      const int closing = SectionClosingRecord(File, record);
      if (KeyOfNestedSection(cell.Key) && closing >= 0 && closing != record.Section) {
        DefinitionInsertion add = InsertKey(File, Text, closing, cell.Key, cell.NewValue);
        Edits.push_back({add.Offset, 0, std::move(add.Text)});
        continue;
      }
      // A key written after a nested section is not in the table's record,
      // but it is the definition's own: it is set, not added a second time.
      if (const DefinitionKey* later = File.FindKey(record.Section, cell.Key)) {
        Edits.push_back({later->ValueOffset, later->ValueLength, cell.NewValue});
        continue;
      }
      DefinitionInsertion add = AddToOwnSection(File, Text, record, cell.Key, cell.NewValue);
      if (add.Offset == std::string::npos) {
        Problems.push_back(cell.Key + ": there is no line in its definition where it could be added and read back");
        continue;
      }
      Edits.push_back({add.Offset, 0, std::move(add.Text)});
      continue;
    }
    // The table's value is the file's with the blanks around it: the value
    // itself is replaced, the blanks stay.
    std::string_view old = cell.OldValue;
    while (!old.empty() && IsBlank(old.front())) old.remove_prefix(1);
    while (!old.empty() && IsBlank(old.back())) old.remove_suffix(1);
    if (Text.substr(key->ValueOffset, key->ValueLength) != old) {
      Problems.push_back(cell.Key + ": its value is not where the table shows it");
      continue;
    }
    Edits.push_back({key->ValueOffset, key->ValueLength, cell.NewValue});
  }
  return true;
}
