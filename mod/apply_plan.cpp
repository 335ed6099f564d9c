#include "mod/apply_plan.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <optional>
#include <unordered_map>

#include "archive/ascii_case.h"
#include "archive/command_line_dialogs.h"
#include "archive/source_reader.h"
#include "mod/balance_figures.h"
#include "mod/cell_text.h"
#include "mod/definition_edit.h"
#include "definitions/build_rows.h"
#include "definitions/catalogue.h"
#include "definitions/definition_reader.h"
#include "definitions/formula_guard.h"
#include "hpi/archive.h"
#include "hpi/parallel.h"
#include "definitions/table_state.h"

namespace {

struct KindInfo {
  const char* Name;
  RowTable TableState::*View;
};
const KindInfo kKinds[] = {
    {"units", &TableState::UnitView},
    {"weapons", &TableState::WeaponView},
    {"corpses", &TableState::CorpseView},
    {"download", &TableState::DownloadView},
};

bool IsLooseParent(std::string_view ParentFile) { return EqualIgnoringCase(ParentFile, kNotPacked); }

// Whether a file of the table's rows can be one of the kind's files: below
// its sub-directory (levels ignoring case, '\' and '/' alike) with ".ext" in
// its name, as the engine picks them.
bool PathOfKind(std::string_view Path, const AllUnpacked& List, bool Loose) {
  std::string lower = LowerAscii(std::string(Path));
  std::replace(lower.begin(), lower.end(), '\\', '/');
  std::string sub = LowerAscii(List.SubDir);
  std::replace(sub.begin(), sub.end(), '\\', '/');
  const size_t slash = lower.rfind('/');
  if (slash == std::string::npos) return false;
  const std::string dir = lower.substr(0, slash), name = lower.substr(slash + 1);
  if (name.find("." + List.Ext) == std::string::npos) return false;
  if (Loose) return dir.size() > sub.size() && dir.compare(dir.size() - sub.size(), sub.size(), sub) == 0 &&
                    dir[dir.size() - sub.size() - 1] == '/';
  return dir == sub;
}

// The files the rows name, each read once: archives are opened once each.
class FileSource {
 public:
  struct File {
    bool Ok = false;
    std::string Why;          // when not Ok
    std::string ParentFile;   // as the row names it
    std::string StoredPath;   // inside the archive as stored; the disk path for a loose file
    std::string Bytes;
    FileStamp ArchiveStamp;
  };

  File& Get(const std::string& ParentFile, const std::string& Path) {
    const std::string key = LowerAscii(ParentFile) + '\n' + LowerAscii(Path);
    auto [it, added] = Files_.try_emplace(key);
    if (added) {
      it->second.ParentFile = ParentFile;
      Load(ParentFile, Path, it->second);
    }
    return it->second;
  }

 private:
  void Load(const std::string& ParentFile, const std::string& Path, File& F) {
    if (IsLooseParent(ParentFile)) {
      std::error_code ec;
      if (!std::filesystem::is_regular_file(Path, ec)) {
        F.Why = "there is no file " + Path;
        return;
      }
      std::string why;
      if (!ReadDiskFile(Path, F.Bytes, why)) {
        F.Why = "cannot read " + Path + ": " + why;
        return;
      }
      F.StoredPath = Path;
      F.Ok = true;
      return;
    }
    auto [at, opened] = Archives_.try_emplace(LowerAscii(ParentFile));
    if (opened) {
      // Taken before the archive is opened: a file replaced in between gets
      // another stamp, so it is never mistaken for the one read.
      at->second.Stamp = FileStamp::Of(ParentFile);
      at->second.Archive = hpi::Archive::Open(ParentFile, &at->second.Why);
    }
    const hpi::Archive* a = at->second.Archive.get();
    if (!a) {
      F.Why = "cannot read archive " + ParentFile + ": " + at->second.Why;
      return;
    }
    const std::optional<uint32_t> index = a->Find(Path);
    if (!index || a->at(*index).isDirectory) {
      F.Why = "there is no file " + Path + " in " + ParentFile;
      return;
    }
    F.StoredPath = a->PathOf(*index);
    F.ArchiveStamp = at->second.Stamp;
    F.Ok = true;
    Unread_.push_back({&F, a, *index, Path, ParentFile});
  }

 public:
  // Reads the archived files found since the last call, on every core. A
  // file that cannot be read is no longer Ok; true when all could be.
  bool ReadFound() {
    std::vector<std::string> errors(Unread_.size());
    hpi::ParallelFor(Unread_.size(), 0, [&](size_t K) {
      Pending& p = Unread_[K];
      const bool ok = p.Archive->ReadFileTo(
          p.Index,
          [&](size_t Size) {
            p.Target->Bytes.resize(Size);
            return reinterpret_cast<uint8_t*>(p.Target->Bytes.data());
          },
          &errors[K]);
      if (!ok) {
        p.Target->Ok = false;
        p.Target->Bytes.clear();
        p.Target->Why = "cannot read " + p.Path + " in " + p.ParentFile + ": " + errors[K];
      }
    });
    bool all = true;
    for (const Pending& p : Unread_) all = all && p.Target->Ok;
    Unread_.clear();
    return all;
  }

 private:
  struct Pending {
    File* Target;
    const hpi::Archive* Archive;
    uint32_t Index;
    std::string Path, ParentFile;  // as the row names them
  };
  std::vector<Pending> Unread_;

  struct OpenArchive {
    std::unique_ptr<hpi::Archive> Archive;
    std::string Why;
    FileStamp Stamp;
  };
  std::map<std::string, OpenArchive> Archives_;
  std::map<std::string, File> Files_;
};

struct Message {
  int Row;
  std::string Text;
};

// What planning one file found: its plan, and the messages of its rows.
struct FileOutcome {
  std::optional<FilePlan> Plan;
  std::vector<Message> Messages;
  int Refused = 0;
  void Refuse(int Row, std::string Text) {
    Messages.push_back({Row, std::move(Text)});
    ++Refused;
  }
  void Note(int Row, std::string Text) { Messages.push_back({Row, std::move(Text)}); }
};

class Planner {
 public:
  Planner(const ReadTable& Table, ApplyPlan& Plan, std::ostream& Err, const std::string& Prefix)
      : Table_(Table), Plan_(Plan), Err_(Err), Prefix_(Prefix), Dialogs_(Err, Prefix),
        State_(std::make_unique<TableState>(Dialogs_)) {
    SetUpColumns(*State_);
    State_->AutosizeSetting = [] { return false; };
  }

  bool Run(std::string& UsageError) {
    if (!ChooseKind(UsageError)) return false;
    // Balance figures are worked out from the keys, not keys themselves:
    // whatever their cells hold, nothing is applied from them.
    std::string figures;
    for (const std::string& caption : Table_.Captions)
      if (IsFigureCaption(caption)) figures += (figures.empty() ? "" : ", ") + caption;
    if (!figures.empty())
      Err_ << Prefix_ << "note: " << figures << " are balance figures worked out from the definitions, not keys; "
           << "a change in them is not applied\n";
    // Rows are checked and grouped by file; the files' current rows are
    // built a list's worth of files at a time, as the table tool built them.
    std::vector<std::pair<FileSource::File*, std::vector<const ReadTableRow*>>> files;
    std::map<FileSource::File*, size_t> fileIndex;
    for (const ReadTableRow& row : Table_.Rows) {
      if (NameOf(row, parentColumn_).empty() || NameOf(row, pathColumn_).empty()) {
        if (RowIsEmpty(row)) continue;  // a blank line a spreadsheet left
        Refuse(row.Number, "names no file (its ParentFile or UnPackedFile cell is empty); nothing applied");
        continue;
      }
      // The names as they stand first, then without a formula guard.
      FileSource::File* file = nullptr;
      std::string why;
      for (const std::string& parent : NamesOf(row, parentColumn_))
        for (const std::string& path : NamesOf(row, pathColumn_)) {
          if (file) break;
          if (!PathOfKind(path, *list_, IsLooseParent(parent))) {
            why = path + " is not one of the " + std::string(kind_->Name) + " table's files (a row of another table?)";
            continue;
          }
          FileSource::File& f = Source_.Get(parent, path);
          if (f.Ok) file = &f;
          else why = f.Why;
        }
      if (!file) {
        Refuse(row.Number, why + "; nothing applied");
        continue;
      }
      auto [at, added] = fileIndex.try_emplace(file, files.size());
      if (added) files.push_back({file, {}});
      files[at->second].second.push_back(&row);
    }
    // The archived files are read all at once; the rows of one that cannot
    // be read are refused.
    if (!Source_.ReadFound()) {
      std::vector<std::pair<FileSource::File*, std::vector<const ReadTableRow*>>> readable;
      for (auto& f : files) {
        if (f.first->Ok) {
          readable.push_back(std::move(f));
          continue;
        }
        for (const ReadTableRow* row : f.second) Refuse(row->Number, f.first->Why + "; nothing applied");
      }
      files = std::move(readable);
    }
    for (size_t start = 0; start < files.size(); start += static_cast<size_t>(list_->Capacity)) {
      const size_t end = std::min(files.size(), start + static_cast<size_t>(list_->Capacity));
      BuildBatch(files, start, end);
    }
    std::stable_sort(Messages_.begin(), Messages_.end(),
                     [](const Message& A, const Message& B) { return A.Row < B.Row; });
    for (const Message& m : Messages_) Err_ << Prefix_ << "row " << m.Row << ": " << m.Text << "\n";
    return true;
  }

 private:
  std::string CellOf(const ReadTableRow& Row, int Column) const {
    if (Column < 0 || static_cast<size_t>(Column) >= Row.Cells.size() || !Row.Cells[static_cast<size_t>(Column)])
      return "";
    return *Row.Cells[static_cast<size_t>(Column)];
  }
  // A cell that names a file or a section, as the 8-bit name the table's
  // UTF-8 stands for.
  std::string NameOf(const ReadTableRow& Row, int Column) const {
    std::string cell = CellOf(Row, Column);
    std::optional<std::string> name = Utf8ToLatin1(cell);
    return name ? *name : cell;
  }
  // The names a cell may stand for: the cell as it is, then, in a table
  // that may hold formula guards, the cell without one.
  std::vector<std::string> NamesOf(const ReadTableRow& Row, int Column) const {
    std::vector<std::string> names{NameOf(Row, Column)};
    if (Table_.MayBeGuarded && UnguardFormula(names.front()).size() != names.front().size())
      names.emplace_back(UnguardFormula(names.front()));
    return names;
  }
  static bool SameValue(std::string_view Cell, std::string_view Now) {
    return TrimBlanks(Cell) == TrimBlanks(Now) || SameNumber(TrimBlanks(Cell), Now);
  }
  static bool RowIsEmpty(const ReadTableRow& Row) {
    for (const auto& c : Row.Cells)
      if (c && !c->empty()) return false;
    return true;
  }
  void Refuse(int Row, std::string Text) {
    Messages_.push_back({Row, std::move(Text)});
    ++Plan_.Refused;
  }

  // The table's kind: the one whose columns hold every caption; where
  // several do (a few shared columns kept), the one whose files the rows name.
  bool ChooseKind(std::string& UsageError) {
    std::vector<const KindInfo*> candidates;
    for (const KindInfo& k : kKinds) {
      const RowTable& view = (*State_).*(k.View);
      bool all = true;
      for (const std::string& caption : Table_.Captions)
        all = all && (IsFigureCaption(caption) || ColumnOf(view, caption) >= 0);
      const bool multi = State_->MultiSectionOf(view);
      if (all && (!multi || HasCaption("SName"))) candidates.push_back(&k);
    }
    parentColumn_ = CaptionIndex("ParentFile");
    pathColumn_ = CaptionIndex("UnPackedFile");
    if (parentColumn_ < 0 || pathColumn_ < 0) {
      UsageError = "the table has no ParentFile and UnPackedFile columns, which name each row's file";
      return false;
    }
    if (candidates.empty()) {
      for (const std::string& caption : Table_.Captions) {
        bool known = IsFigureCaption(caption);
        for (const KindInfo& k : kKinds) known = known || ColumnOf((*State_).*(k.View), caption) >= 0;
        if (!known) {
          UsageError = "the column " + caption + " is in none of the four tables";
          return false;
        }
      }
      UsageError = "the columns are not those of one table (weapons, corpses and build menus need SName)";
      return false;
    }
    kind_ = candidates.front();
    if (candidates.size() > 1) {
      // The first row that names a file of one of the candidates decides.
      kind_ = nullptr;
      for (const ReadTableRow& row : Table_.Rows) {
        const std::string parent = NameOf(row, parentColumn_), path = NameOf(row, pathColumn_);
        for (const KindInfo* k : candidates)
          if (!kind_ && PathOfKind(path, State_->FilesOf((*State_).*(k->View)), IsLooseParent(parent))) kind_ = k;
        if (kind_) break;
      }
      if (!kind_) {
        UsageError = "cannot tell which table this is: its columns fit several, and no row names a file of one";
        return false;
      }
    }
    Plan_.Kind = kind_->Name;
    view_ = &((*State_).*(kind_->View));
    list_ = &State_->FilesOf(*view_);
    multi_ = State_->MultiSectionOf(*view_);
    sectionColumn_ = multi_ ? CaptionIndex("SName") : -1;
    sizeColumn_ = CaptionIndex("PFileSize");
    viewSection_ = ColumnOf(*view_, "SName");
    // The table's columns that hold keys to apply, by their column in the view:
    // not the file columns, and not a section's name, which says which
    // definition the row is.
    for (size_t c = 0; c < Table_.Captions.size(); ++c) {
      const int column = ColumnOf(*view_, Table_.Captions[c]);
      const bool isKey = column < view_->ColumnCount() - 3 && !(multi_ && column == viewSection_);
      keyColumns_.push_back(isKey ? column : -1);
    }
    return true;
  }
  static int ColumnOf(const RowTable& View, const std::string& Caption) {
    for (int i = 0; i < View.ColumnCount(); ++i)
      if (EqualIgnoringCase(View.ColumnCaption(i), Caption)) return i;
    return -1;
  }
  int CaptionIndex(const std::string& Caption) const {
    for (size_t i = 0; i < Table_.Captions.size(); ++i)
      if (EqualIgnoringCase(Table_.Captions[i], Caption)) return static_cast<int>(i);
    return -1;
  }
  bool HasCaption(const std::string& Caption) const { return CaptionIndex(Caption) >= 0; }

  void BuildBatch(const std::vector<std::pair<FileSource::File*, std::vector<const ReadTableRow*>>>& Files,
                  size_t Start, size_t End) {
    std::map<const UnPacked*, size_t> entryOf;
    for (size_t i = Start; i < End; ++i) {
      const FileSource::File& f = *Files[i].first;
      UnPacked& e = list_->NextSlot();
      e.ParentFile = f.ParentFile;
      e.UnPackedFile = f.StoredPath;
      e.Kind = IsLooseParent(e.ParentFile) ? kKindLoose : kKindArchive;
      e.PFileSize = static_cast<int32_t>(f.Bytes.size());
      e.SetContents(f.Bytes.data(), e.PFileSize);
      list_->CommitSlot();
      entryOf[&e] = i;
    }
    BuildRows(*State_, *view_, *list_, multi_, brAddNew, nullptr);
    std::vector<std::vector<const Row*>> rowsOf(End - Start);
    for (int r = 0; r < view_->RowCount(); ++r) {
      const Row& row = view_->RowAt(r);
      auto at = entryOf.find(row.Data);
      if (at != entryOf.end()) rowsOf[at->second - Start].push_back(&row);
    }
    // Files are planned on every core, each into its own outcome; the plans
    // and messages are then taken in file order.
    std::vector<FileOutcome> outcomes(End - Start);
    hpi::ParallelFor(End - Start, 0, [&](size_t K) {
      PlanFile(*Files[Start + K].first, Files[Start + K].second, rowsOf[K], outcomes[K]);
    });
    for (FileOutcome& o : outcomes) {
      if (o.Plan) Plan_.Files.push_back(std::move(*o.Plan));
      Messages_.insert(Messages_.end(), o.Messages.begin(), o.Messages.end());
      Plan_.Refused += o.Refused;
    }
    BuildRows(*State_, *view_, *list_, multi_, brRemoveAll, nullptr);
    list_->Clear();
  }

  // The changes of one file's rows.
  void PlanFile(FileSource::File& F, const std::vector<const ReadTableRow*>& Rows,
                const std::vector<const Row*>& Current, FileOutcome& Out) const {
    FilePlan plan;
    plan.ParentFile = F.ParentFile;
    plan.UnPackedFile = F.StoredPath;
    plan.Loose = IsLooseParent(plan.ParentFile);
    plan.ArchiveStamp = F.ArchiveStamp;
    plan.Original = std::move(F.Bytes);  // each file is planned once
    std::map<std::string, int> changedBy;  // definition (folded section name) -> row that changes it
    const RowsByName byName(Current, multi_ ? static_cast<size_t>(viewSection_) : 0);
    for (const ReadTableRow* row : Rows) {
      std::string section;
      const Row* current = nullptr;
      for (const std::string& name : multi_ ? NamesOf(*row, sectionColumn_) : std::vector<std::string>{""})
        if (!current) {
          section = name;
          current = multi_ ? byName.Find(section) : Current.empty() ? nullptr : Current.front();
        }
      if (!current) {
        Out.Refuse(row->Number, multi_ ? "there is no definition [" + section + "] in " + Place(plan) + "; nothing applied"
                                   : "there is no unit in " + Place(plan) + "; nothing applied");
        continue;
      }
      DefinitionChange change;
      change.Row = row->Number;
      change.Section = section;
      change.Name = multi_ ? section : std::string(current->Cell(1));
      PlanCells(*row, *current, change, Out);
      if (change.Cells.empty()) continue;
      const std::string size = CellOf(*row, sizeColumn_);
      if (!size.empty() && !SameNumber(size, std::to_string(plan.Original.size()))) {
        Out.Refuse(row->Number, Place(plan) + " changed since the table was written (" + size + " bytes then, " +
                                std::to_string(plan.Original.size()) + " now); nothing applied");
        continue;
      }
      auto [other, first] = changedBy.try_emplace(LowerAscii(section), row->Number);
      if (!first) {
        Out.Refuse(row->Number, "changes the same definition as row " + std::to_string(other->second) +
                                "; nothing applied");
        continue;
      }
      plan.Definitions.push_back(std::move(change));
    }
    if (plan.Definitions.empty()) return;

    const DefinitionFile file = ReadDefinition(plan.Original);
    const DefinitionRecords records(plan.Original, file);
    const std::string captionKey = view_->ColumnCaption(0);
    std::vector<TextEdit> edits;
    std::vector<DefinitionChange> kept;
    for (DefinitionChange& d : plan.Definitions) {
      std::vector<TextEdit> own;
      std::vector<std::string> problems;
      std::vector<size_t> failed;
      if (!PlanDefinitionEdits(records, d.Section, captionKey, d.Cells, own, problems, &failed)) {
        Out.Refuse(d.Row, "the definition [" + d.Section + "] cannot be found in " + Place(plan) + "; nothing applied");
        continue;
      }
      for (const std::string& p : problems) Out.Refuse(d.Row, p + " in " + Place(plan) + "; that cell was not applied");
      if (own.empty()) continue;
      // Only the cells that got an edit count.
      for (auto i = failed.rbegin(); i != failed.rend(); ++i) d.Cells.erase(d.Cells.begin() + static_cast<long>(*i));
      plan.CellCount += static_cast<int>(d.Cells.size());
      edits.insert(edits.end(), own.begin(), own.end());
      kept.push_back(std::move(d));
    }
    if (kept.empty()) return;
    plan.Definitions = std::move(kept);
    plan.Updated = ApplyEdits(plan.Original, std::move(edits));
    if (plan.Updated != plan.Original) Out.Plan = std::move(plan);
  }

  static std::string Place(const FilePlan& P) {
    return P.Loose ? P.UnPackedFile : P.UnPackedFile + " in " + P.ParentFile;
  }

  // The rows the table showed for a file's definitions, by section name:
  // spelled exactly, else ignoring case; the first of a name.
  class RowsByName {
   public:
    RowsByName(const std::vector<const Row*>& Current, size_t Column) {
      for (const Row* r : Current) {
        exact_.emplace(std::string(r->Cell(Column)), r);
        folded_.emplace(LowerAscii(std::string(r->Cell(Column))), r);
      }
    }
    const Row* Find(const std::string& Section) const {
      if (auto at = exact_.find(Section); at != exact_.end()) return at->second;
      auto at = folded_.find(LowerAscii(Section));
      return at == folded_.end() ? nullptr : at->second;
    }

   private:
    std::unordered_map<std::string, const Row*> exact_, folded_;
  };

  // The cells of Row that differ from the table's current values.
  void PlanCells(const ReadTableRow& Row, const ::Row& Current, DefinitionChange& Change, FileOutcome& Out) const {
    std::string latin1;  // the cell being compared, when it had to be converted
    // The current row's cells by view column, taken in one pass.
    std::vector<std::string_view> shown(static_cast<size_t>(view_->ColumnCount()));
    if (!shown.empty()) shown[0] = Current.Caption;
    Current.ForEachFilledSubItem([&](size_t J, std::string_view Text) {
      if (J + 1 < shown.size()) shown[J + 1] = Text;
    });
    for (size_t c = 0; c < Table_.Captions.size() && c < Row.Cells.size(); ++c) {
      const int column = keyColumns_[c];
      if (!Row.Cells[c] || column < 0) continue;
      const std::string& key = view_->ColumnCaption(column);
      // Most cells are plain ASCII, equal to the file's value: those are
      // compared where they lie.
      std::string_view value = *Row.Cells[c];
      if (std::any_of(value.begin(), value.end(), [](char C) { return static_cast<unsigned char>(C) >= 0x80; })) {
        std::string bad;
        std::optional<std::string> text = Utf8ToLatin1(value, &bad);
        if (!text) {
          Out.Refuse(Row.Number, "the cell " + key + " holds the character " + bad +
                                 ", which definition files (Latin-1) cannot hold; that cell was not applied");
          continue;
        }
        latin1 = std::move(*text);
        value = latin1;
      }
      // Blanks around a value mean nothing to the game, and a spreadsheet
      // may drop them: they neither make a change nor get written. The cell
      // as it stands is compared first: a table written without the formula
      // guard, or a JSON table, holds the value itself.
      const std::string_view now = shown[static_cast<size_t>(column)];
      if (SameValue(value, now)) continue;
      if (Table_.MayBeGuarded) {
        value = UnguardFormula(value);
        if (SameValue(value, now)) continue;
      }
      value = TrimBlanks(value);
      if (value.empty()) {
        Out.Note(Row.Number, "the cell " + key + " was emptied; nothing is removed, so it was skipped");
        continue;
      }
      const std::string unsafe = UnsafeValue(value);
      if (!unsafe.empty()) {
        Out.Refuse(Row.Number, "the cell " + key + " holds " + unsafe + "; that cell was not applied");
        continue;
      }
      Change.Cells.push_back({key, std::string(now), std::string(value)});
    }
  }

  const ReadTable& Table_;
  ApplyPlan& Plan_;
  std::ostream& Err_;
  std::string Prefix_;
  CommandLineDialogs Dialogs_;
  std::unique_ptr<TableState> State_;
  FileSource Source_;
  std::vector<Message> Messages_;
  const KindInfo* kind_ = nullptr;
  RowTable* view_ = nullptr;
  AllUnpacked* list_ = nullptr;
  bool multi_ = false;
  int parentColumn_ = -1, pathColumn_ = -1, sectionColumn_ = -1, sizeColumn_ = -1, viewSection_ = -1;
  std::vector<int> keyColumns_;  // per table column: its column in the view, -1 when it holds no key to apply
};

}  // namespace

FileStamp FileStamp::Of(const std::string& Path) {
  FileStamp s;
  struct stat st {};
  if (::stat(Path.c_str(), &st) != 0) return s;
  s.Device = st.st_dev;
  s.Inode = st.st_ino;
  s.Size = static_cast<uint64_t>(st.st_size);
  s.Seconds = st.st_mtim.tv_sec;
  s.Nanoseconds = st.st_mtim.tv_nsec;
  s.Valid = true;
  return s;
}

bool PlanApply(const ReadTable& Table, ApplyPlan& Plan, std::ostream& Err, const std::string& Prefix,
               std::string& UsageError) {
  Plan = ApplyPlan();
  return Planner(Table, Plan, Err, Prefix).Run(UsageError);
}
