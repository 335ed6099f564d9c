#include "mod/definition_keys.h"

#include <algorithm>
#include <map>
#include <unordered_map>
#include <unordered_set>

#include "archive/ascii_case.h"
#include "archive/file_lists.h"
#include "definitions/definition_reader.h"
#include "mod/definition_edit.h"

DefinitionKeyColumns::DefinitionKeyColumns(const RowTable& View, bool Multi) {
  std::unordered_set<std::string> shown;
  int sectionColumn = -1;
  for (int c = 0; c < View.ColumnCount(); ++c) {
    shown.insert(LowerAscii(View.ColumnCaption(c)));
    if (EqualIgnoringCase(View.ColumnCaption(c), "SName")) sectionColumn = c;
  }
  const std::string captionKey = View.ColumnCount() > 0 ? View.ColumnCaption(0) : "";
  // Rows by the file they come from: each file is read once.
  std::map<const UnPacked*, std::vector<int>> rowsOf;
  for (int r = 0; r < View.RowCount(); ++r)
    if (View.RowAt(r).Data) rowsOf[View.RowAt(r).Data].push_back(r);

  std::map<std::string, std::string> spelling;  // folded name -> first spelling
  std::vector<std::vector<std::pair<std::string, std::string>>> found(static_cast<size_t>(View.RowCount()));
  DefinitionView file;
  for (const auto& [entry, rows] : rowsOf) {
    const std::string_view text(entry->Contents.get(), entry->Contents ? static_cast<size_t>(entry->PFileSize) : 0);
    ReadDefinitionView(text, file);
    const DefinitionRecords records(text, file);
    for (int r : rows) {
      const std::string section =
          Multi && sectionColumn > 0 ? std::string(View.RowAt(r).Cell(static_cast<size_t>(sectionColumn))) : "";
      DefinitionRecord record;
      if (!records.Find(section, captionKey, record) || record.Section < 0) continue;
      std::unordered_set<std::string> seen;
      for (const DefinitionKeyView& k : file.Keys) {
        if (k.Section != record.Section) continue;
        const std::string name = KeyWithoutBlanks(k.Name), folded = LowerAscii(name);
        if (name.empty() || shown.count(folded) || !seen.insert(folded).second) continue;
        spelling.emplace(folded, name);
        found[static_cast<size_t>(r)].emplace_back(folded, std::string(k.Value));
      }
    }
  }
  std::unordered_map<std::string, size_t> index;
  for (const auto& [folded, name] : spelling) {
    index[folded] = Captions_.size();
    Captions_.push_back(name);
  }
  Values_.resize(found.size());
  for (size_t r = 0; r < found.size(); ++r)
    for (auto& [folded, value] : found[r]) Values_[r].emplace_back(index.at(folded), std::move(value));
}

void DefinitionKeyColumns::Cells(int Row, std::vector<std::string>& Texts, size_t First) const {
  if (Row < 0 || static_cast<size_t>(Row) >= Values_.size()) return;
  for (const auto& [k, value] : Values_[static_cast<size_t>(Row)]) Texts.at(First + k) = value;
}
