#include "definition_edit.h"

#include <algorithm>

#include "archive/ascii_case.h"
#include "definitions/definition_reader.h"

namespace {

bool IsBlank(char C) { return C == ' ' || C == '\t'; }

// The bytes of one table record: a unit file whole; in other files the text
// from after one closing brace to the next, as the table's rows are cut.
struct Record {
  size_t Begin = 0, End = 0;
  int Section = -1;  // the first section whose header lies in it
};

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

const DefinitionKey* FirstKey(const DefinitionFile& File, const Record& R, std::string_view Key) {
  for (const DefinitionKey& k : File.Keys)
    if (k.KeyOffset >= R.Begin && k.KeyOffset < R.End && SameName(k.Name, Key)) return &k;
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
  std::vector<Record> found;
  size_t begin = 0;
  for (size_t close : closes) {
    Record r{begin, close + 1, -1};
    for (size_t s = 0; s < File.Sections.size() && r.Section < 0; ++s)
      if (File.Sections[s].HeaderOffset >= r.Begin && File.Sections[s].HeaderOffset < r.End)
        r.Section = static_cast<int>(s);
    if (r.Section >= 0 && SameName(File.Sections[static_cast<size_t>(r.Section)].Name, Section))
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
      // A key written after a nested section is not in the table's record,
      // but it is the definition's own: it is set, not added a second time.
      if (const DefinitionKey* later = File.FindKey(record.Section, cell.Key)) {
        Edits.push_back({later->ValueOffset, later->ValueLength, cell.NewValue});
        continue;
      }
      DefinitionInsertion add = InsertKey(File, Text, record.Section, cell.Key, cell.NewValue);
      if (add.Offset == std::string::npos) {
        Problems.push_back(cell.Key + ": its section is never closed, so nothing can be added to it");
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
