#include "definitions/build_rows.h"

#include <string_view>
#include <unordered_map>

#include "definitions/item_compare.h"
#include "definitions/tokenizer.h"

namespace {

char FoldAscii(char C) { return (C >= 'A' && C <= 'Z') ? static_cast<char>(C - 'A' + 'a') : C; }

bool EqualIgnoringCase(std::string_view A, std::string_view B) {
  if (A.size() != B.size()) return false;
  for (size_t i = 0; i < A.size(); ++i)
    if (FoldAscii(A[i]) != FoldAscii(B[i])) return false;
  return true;
}

// Finds the columns of a key list by key, ignoring case, so that a record's
// lines are read once per record instead of once per column.
class KeyIndex {
 public:
  explicit KeyIndex(const std::vector<std::string>& Keys) : Count_(Keys.size()), Next_(Keys.size(), -1) {
    for (size_t k = Keys.size(); k-- > 0;) {
      auto [it, inserted] = First_.try_emplace(Fold(Keys[k]), static_cast<int>(k));
      if (!inserted) {
        Next_[k] = it->second;
        it->second = static_cast<int>(k);
      }
    }
  }

  // Fills R from Lines: for every key, the value of the first line holding it.
  void Fill(Row& R, const std::vector<std::string_view>& Lines) {
    Values_.assign(Count_, std::string_view());
    Found_.assign(Count_, false);
    for (std::string_view line : Lines) {
      size_t eq = line.find('=');
      if (eq == std::string_view::npos) continue;
      auto it = First_.find(Fold(line.substr(0, eq)));
      if (it == First_.end()) continue;
      for (int k = it->second; k >= 0; k = Next_[k]) {
        if (Found_[k]) continue;
        Found_[k] = true;
        Values_[k] = line.substr(eq + 1);
      }
    }
    R.Caption.assign(Count_ > 0 ? Values_[0] : std::string_view());
    R.SubItems.clear();
    R.SubItems.reserve(Count_ > 0 ? Count_ - 1 : 0);
    for (size_t k = 1; k < Count_; ++k) R.SubItems.emplace_back(Values_[k]);
  }

 private:
  const std::string& Fold(std::string_view S) {
    Scratch_.resize(S.size());
    for (size_t i = 0; i < S.size(); ++i) Scratch_[i] = FoldAscii(S[i]);
    return Scratch_;
  }

  size_t Count_;
  std::unordered_map<std::string, int> First_;  // folded key -> first column
  std::vector<int> Next_;                       // next column with the same folded key
  std::vector<std::string_view> Values_;
  std::vector<bool> Found_;
  std::string Scratch_;
};

std::string_view SectionNameOf(const std::vector<std::string_view>& Lines) {
  for (std::string_view l : Lines)
    if (l.size() >= 2 && l.front() == '[' && l.back() == ']') return l.substr(1, l.size() - 2);
  return {};
}

// Builds the rows of one entry at the end of View. KeepEmptyCaption keeps the
// row of a single-section file even without a caption (rebuilding a saved file).
class RowBuilder {
 public:
  RowBuilder(RowTable& View, const std::vector<std::string>& Keys, bool MultiSection)
      : View_(View), Index_(Keys), MultiSection_(MultiSection) {}

  void Build(UnPacked& E, bool KeepEmptyCaption) {
    if (!E.Contents || E.PFileSize <= 0) return;
    std::vector<std::string> lines = GetUnpackedLines(E, true);
    FileLines_[0] = "UnpackedFile=" + E.UnPackedFile;
    FileLines_[1] = "ParentFile=" + E.ParentFile;
    FileLines_[2] = "PFilesize=" + std::to_string(E.PFileSize);
    RowLines_.clear();
    if (!MultiSection_) {
      for (const std::string& l : lines) RowLines_.emplace_back(l);
      AddRow(E, KeepEmptyCaption);
      return;
    }
    for (const std::string& l : lines) {
      RowLines_.emplace_back(l);
      if (l != "}") continue;
      SName_ = "SName=";
      SName_.append(SectionNameOf(RowLines_));
      RowLines_.emplace_back(SName_);
      AddRow(E, false);
      RowLines_.clear();
    }
  }

 private:
  void AddRow(UnPacked& E, bool KeepEmptyCaption) {
    for (const std::string& f : FileLines_) RowLines_.emplace_back(f);
    Index_.Fill(Scratch_, RowLines_);
    if (Scratch_.Caption.empty() && !KeepEmptyCaption) return;
    Row& r = View_.AddRow();
    r.Caption = std::move(Scratch_.Caption);
    r.SubItems = std::move(Scratch_.SubItems);
    r.Data = &E;
    Scratch_ = Row{};
  }

  RowTable& View_;
  KeyIndex Index_;
  bool MultiSection_;
  std::vector<std::string_view> RowLines_;
  std::string FileLines_[3];
  std::string SName_;
  Row Scratch_;
};

// Keeps a table in one bulk update for a scope, however the scope is left.
class BulkUpdate {
 public:
  explicit BulkUpdate(RowTable& View) : View_(View) { View_.BeginUpdate(); }
  ~BulkUpdate() { View_.EndUpdate(); }
  BulkUpdate(const BulkUpdate&) = delete;
  BulkUpdate& operator=(const BulkUpdate&) = delete;

 private:
  RowTable& View_;
};

// Deletes, walking from the first row, every row whose entry satisfies Match.
template <typename F>
void RemoveRowsWhere(RowTable& View, F Match) {
  int i = 0;
  while (i < View.RowCount()) {
    const UnPacked* e = View.RowAt(i).Data;
    if (e && Match(*e))
      View.DeleteRow(i);
    else
      ++i;
  }
}

}  // namespace

void FillRow(Row& R, const std::vector<std::string>& Lines, const std::vector<std::string>& Keys) {
  std::vector<std::string_view> views(Lines.begin(), Lines.end());
  KeyIndex(Keys).Fill(R, views);
}

std::string FirstSectionName(const std::vector<std::string>& Lines) {
  std::vector<std::string_view> views(Lines.begin(), Lines.end());
  return std::string(SectionNameOf(views));
}

void SortTable(AppState& State, RowTable& View) {
  const auto column = static_cast<uint16_t>(State.SortColumnOf(View));
  Dialogs& d = State.dialogs;
  View.Sort([&](const Row& A, const Row& B) { return ItempCompare(d, A, B, column); });
}

void BuildRows(AppState& State, RowTable& View, AllUnpacked& List, bool MultiSection, int Mode,
               UnPacked* Entry) {
  BulkUpdate bulk(View);
  switch (Mode) {
    case brAddNew: {
      RowBuilder builder(View, List.KeyList, MultiSection);
      for (int i = List.BuiltCount; i < List.Count; ++i) builder.Build(List[i], false);
      List.BuiltCount = List.Count;
      break;
    }
    case brReplaceFile: {
      if (!Entry) break;
      RemoveRowsWhere(View, [&](const UnPacked& e) {
        return EqualIgnoringCase(e.ParentFile, Entry->ParentFile) &&
               EqualIgnoringCase(e.UnPackedFile, Entry->UnPackedFile);
      });
      RowBuilder(View, List.KeyList, MultiSection).Build(*Entry, true);
      break;
    }
    case brRemoveLoose:
      RemoveRowsWhere(View, [](const UnPacked& e) { return EqualIgnoringCase(e.ParentFile, kNotPacked); });
      break;
    case brRemoveAll:
      View.Clear();
      break;
    case brRemoveArchive: {
      if (!Entry) break;
      // Copied first: Entry's own rows go too, and Entry may be one of the rows' entries.
      const std::string parent = Entry->ParentFile;
      RemoveRowsWhere(View, [&](const UnPacked& e) { return EqualIgnoringCase(e.ParentFile, parent); });
      break;
    }
    default:
      break;
  }
  if (State.AutosizeSetting())
    for (int c = 0; c < View.ColumnCount(); ++c)
      if (View.ColumnWidth(c) >= 1) View.FitColumnToContents(c);
  SortTable(State, View);
}
