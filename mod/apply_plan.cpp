#include "mod/apply_plan.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <thread>
#include <unordered_map>

#include "archive/ascii_case.h"
#include "archive/command_line_dialogs.h"
#include "archive/source_reader.h"
#include "mod/balance_figures.h"
#include "mod/cell_text.h"
#include "mod/definition_edit.h"
#include "mod/row_values.h"
#include "definitions/build_rows.h"
#include "definitions/catalogue.h"
#include "definitions/definition_reader.h"
#include "definitions/formula_guard.h"
#include "definitions/table_format.h"
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

  // The file a row names. Rows that name one file in other spellings get
  // the same: in an archive, '\' and '/' are one separator and letter case
  // does not count; an archive or a loose file is one file under any path
  // that leads to it.
  File& Get(const std::string& ParentFile, const std::string& Path) {
    const bool loose = IsLooseParent(ParentFile);
    const std::string key = loose ? "\n" + DiskIdentity(Path)
                                  : DiskIdentity(ParentFile) + "\n" + FoldedArchivePath(Path);
    auto [it, added] = Files_.try_emplace(key);
    if (added) {
      it->second.ParentFile = ParentFile;
      Load(ParentFile, Path, it->second);
    }
    return it->second;
  }

 private:
  // The path's canonical form, found once for each spelling.
  const std::string& DiskIdentity(const std::string& Path) {
    auto [at, added] = Identities_.try_emplace(Path);
    if (added) {
      std::error_code ec;
      const std::filesystem::path canonical = std::filesystem::weakly_canonical(Path, ec);
      at->second = ec ? Path : canonical.string();
    }
    return at->second;
  }
  std::unordered_map<std::string, std::string> Identities_;
  static std::string FoldedArchivePath(const std::string& Path) {
    std::string folded = LowerAscii(Path);
    std::replace(folded.begin(), folded.end(), '\\', '/');
    return folded;
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
    auto [at, opened] = Archives_.try_emplace(DiskIdentity(ParentFile));
    if (opened) {
      at->second.Spelling = ParentFile;
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
    F.ParentFile = at->second.Spelling;  // one archive is written once, however rows name it
    F.ArchiveStamp = at->second.Stamp;
    F.Ok = true;
    Unread_.push_back({&F, a, *index, Path, ParentFile});
  }

 public:
  // Reads the archived files found since the last call, on every core. A
  // file that cannot be read is no longer Ok; true when all could be.
  bool ReadFound() {
    std::vector<std::string> errors(Unread_.size());
    // Each thread reads a run of files that follow each other, so that the
    // blocks of the archive it reads are read once, by it alone.
    const size_t runs = std::min<size_t>(Unread_.size(), std::max(1u, std::thread::hardware_concurrency()));
    hpi::ParallelFor(runs, 0, [&](size_t Run) {
      for (size_t k = Unread_.size() * Run / runs; k < Unread_.size() * (Run + 1) / runs; ++k) Read(k, errors[k]);
    });
    bool all = true;
    for (const Pending& p : Unread_) all = all && p.Target->Ok;
    Unread_.clear();
    return all;
  }

 private:
  // Reads the K-th file found; one that cannot be read is no longer Ok.
  void Read(size_t K, std::string& Error) {
    Pending& p = Unread_[K];
    const bool ok = p.Archive->ReadFileTo(
        p.Index,
        [&](size_t Size) {
          p.Target->Bytes.resize(Size);
          return reinterpret_cast<uint8_t*>(p.Target->Bytes.data());
        },
        &Error);
    if (!ok) {
      p.Target->Ok = false;
      p.Target->Bytes.clear();
      p.Target->Why = "cannot read " + p.Path + " in " + p.ParentFile + ": " + Error;
    }
  }

  struct Pending {
    File* Target;
    const hpi::Archive* Archive;
    uint32_t Index;
    std::string Path, ParentFile;  // as the row names them
  };
  std::vector<Pending> Unread_;

  struct OpenArchive {
    std::string Spelling;  // as the first row that names it does
    std::unique_ptr<hpi::Archive> Archive;
    std::string Why;
    FileStamp Stamp;
  };
  std::map<std::string, OpenArchive> Archives_;
  std::unordered_map<std::string, File> Files_;  // node-based: a File stays where it is
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

// Whether a caption can name a key of a definition: keys hold no blank, and
// none of the bytes that end a key or a statement. Other captions (the
// file's checksum, figures computed from the keys) are never applied.
bool CanBeKey(std::string_view Caption) {
  if (Caption.empty()) return false;
  for (size_t i = 0; i < Caption.size(); ++i) {
    const auto c = static_cast<unsigned char>(Caption[i]);
    if (c <= ' ' || c == 0x7F || c == '=' || c == ';' || c == '[' || c == ']' || c == '{' || c == '}') return false;
    if (c == '/' && i + 1 < Caption.size() && (Caption[i + 1] == '/' || Caption[i + 1] == '*')) return false;
  }
  return true;
}

class Planner {
 public:
  Planner(const ReadTable& Table, ApplyPlan& Plan, std::ostream& Err, const std::string& Prefix,
          const ApplyOptions& Options)
      : Table_(Table), Plan_(Plan), Err_(Err), Prefix_(Prefix), Options_(Options), Dialogs_(Err, Prefix),
        State_(std::make_unique<TableState>(Dialogs_)) {
    SetUpColumns(*State_);
    State_->AutosizeSetting = [] { return false; };
  }

  bool Run(std::string& UsageError) {
    if (!ChooseKind(UsageError)) return false;
    if (checksumColumn_ < 0 && sizeColumn_ < 0)
      Err_ << Prefix_ << "the table has neither a " << kChecksumCaption
           << " nor a PFileSize column: changes made since the export cannot be detected\n";
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
    ReadTableCellViews cells;
    // Rows are grouped by the cells that name their files.
    for (const ReadTableRow& row : Table_.Rows) {
      Table_.CellsOf(row, cells);
      // The names as they stand first, then without a formula guard.
      const std::vector<std::string> parents = NamesOf(cells, parentColumn_), paths = NamesOf(cells, pathColumn_);
      if (parents.front().empty() || paths.front().empty()) {
        // The table has no row of empty cells only.
        Refuse(row.Number, "names no file (its ParentFile or UnPackedFile cell is empty); nothing applied");
        continue;
      }
      FileSource::File* file = nullptr;
      std::string why;
      for (const std::string& parent : parents)
        for (const std::string& path : paths) {
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
    PlanFiles(files);
    std::stable_sort(Messages_.begin(), Messages_.end(),
                     [](const Message& A, const Message& B) { return A.Row < B.Row; });
    for (const Message& m : Messages_) Err_ << Prefix_ << "row " << m.Row << ": " << m.Text << "\n";
    return true;
  }

 private:
  static std::string CellOf(const ReadTableCellViews& Cells, int Column) {
    if (Column < 0 || static_cast<size_t>(Column) >= Cells.size() || !Cells[static_cast<size_t>(Column)]) return "";
    return std::string(*Cells[static_cast<size_t>(Column)]);
  }
  // A cell that names a file or a section, as the 8-bit name the table's
  // UTF-8 stands for.
  static std::string NameOf(const ReadTableCellViews& Cells, int Column) {
    std::string cell = CellOf(Cells, Column);
    std::optional<std::string> name = Utf8ToLatin1(cell);
    return name ? *name : cell;
  }
  // The names a cell may stand for: the cell as it is, then, in a table
  // that may hold formula guards, the cell without one.
  std::vector<std::string> NamesOf(const ReadTableCellViews& Cells, int Column) const {
    std::vector<std::string> names{NameOf(Cells, Column)};
    if (Table_.MayBeGuarded && UnguardFormula(names.front()).size() != names.front().size())
      names.emplace_back(UnguardFormula(names.front()));
    return names;
  }
  static bool SameValue(std::string_view Cell, std::string_view Now) {
    return TrimBlanks(Cell) == TrimBlanks(Now) || SameNumber(TrimBlanks(Cell), Now);
  }
  void Refuse(int Row, std::string Text) {
    Messages_.push_back({Row, std::move(Text)});
    ++Plan_.Refused;
  }
  static bool IsFileColumn(std::string_view Caption) {
    return EqualIgnoringCase(Caption, "ParentFile") || EqualIgnoringCase(Caption, "UnPackedFile") ||
           EqualIgnoringCase(Caption, "PFileSize") || EqualIgnoringCase(Caption, "SName");
  }

  // The table's kind: of those whose columns hold most of its captions, the
  // one whose files the rows name. Captions no column holds are keys of a
  // table of every key.
  bool ChooseKind(std::string& UsageError) {
    // A caption given twice would change one value twice.
    std::map<std::string, size_t> firstOf;
    for (size_t c = 0; c < Table_.Captions.size(); ++c) {
      auto [at, added] = firstOf.try_emplace(LowerAscii(Table_.Captions[c]), c);
      if (!added) {
        UsageError = "the caption " + Table_.Captions[c] + " is given twice, in columns " +
                     std::to_string(at->second + 1) + " and " + std::to_string(c + 1);
        return false;
      }
    }
    parentColumn_ = CaptionIndex("ParentFile");
    pathColumn_ = CaptionIndex("UnPackedFile");
    if (parentColumn_ < 0 || pathColumn_ < 0) {
      UsageError = "the table has no ParentFile and UnPackedFile columns, which name each row's file";
      return false;
    }
    std::vector<const KindInfo*> candidates;
    int most = -1;
    for (const KindInfo& k : kKinds) {
      const RowTable& view = (*State_).*(k.View);
      if (State_->MultiSectionOf(view) && !HasCaption("SName")) continue;
      int held = 0;
      for (const std::string& caption : Table_.Captions) held += ColumnOf(view, caption) >= 0;
      if (held > most) candidates.clear();
      if (held >= most) {
        candidates.push_back(&k);
        most = held;
      }
    }
    if (candidates.empty()) {
      UsageError = "the columns are not those of one table (weapons, corpses and build menus need SName)";
      return false;
    }
    kind_ = candidates.front();
    if (candidates.size() > 1) {
      // The first row that names a file of one of the candidates decides.
      kind_ = nullptr;
      ReadTableCellViews cells;
      for (const ReadTableRow& row : Table_.Rows) {
        Table_.CellsOf(row, cells);
        const std::string parent = NameOf(cells, parentColumn_), path = NameOf(cells, pathColumn_);
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
    checksumColumn_ = CaptionIndex(kChecksumCaption);
    viewSection_ = ColumnOf(*view_, "SName");
    // The table's columns that hold keys to apply, by their column in the view:
    // not the file columns, and not a section's name, which says which
    // definition the row is. A caption of no column names a key of the
    // definition's own section; one that cannot be a key is left alone.
    for (size_t c = 0; c < Table_.Captions.size(); ++c) {
      const std::string& caption = Table_.Captions[c];
      const int column = ColumnOf(*view_, caption);
      const bool isKey = column >= 0 && column < view_->ColumnCount() - 3 && !(multi_ && column == viewSection_);
      keyColumns_.push_back(isKey ? column : -1);
      ownKeyColumns_.push_back(column < 0 && !IsFileColumn(caption) && CanBeKey(caption));
    }
    rowValues_.emplace(list_->KeyList);
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

  using RowsOfFile = std::pair<FileSource::File*, std::vector<const ReadTableRow*>>;

  // Plans every file, on every core; the plans and messages are then taken
  // in file order. A unit file the tables read as the definition reader does
  // is compared with its keys where they lie; the others with the rows the
  // table tool builds, a list's worth of files at a time.
  void PlanFiles(const std::vector<RowsOfFile>& Files) {
    std::vector<FileOutcome> outcomes(Files.size());
    std::vector<char> planned(Files.size(), 0);
    if (!multi_)
      hpi::ParallelFor(Files.size(), 0, [&](size_t K) {
        planned[K] = PlanFromKeys(*Files[K].first, Files[K].second, outcomes[K]);
      });
    std::vector<size_t> rest;
    for (size_t k = 0; k < Files.size(); ++k)
      if (!planned[k]) rest.push_back(k);
    for (size_t start = 0; start < rest.size(); start += static_cast<size_t>(list_->Capacity)) {
      const size_t end = std::min(rest.size(), start + static_cast<size_t>(list_->Capacity));
      BuildBatch(Files, std::vector<size_t>(rest.begin() + static_cast<long>(start), rest.begin() + static_cast<long>(end)),
                 outcomes);
    }
    for (FileOutcome& o : outcomes) {
      if (o.Plan) Plan_.Files.push_back(std::move(*o.Plan));
      Messages_.insert(Messages_.end(), o.Messages.begin(), o.Messages.end());
      Plan_.Refused += o.Refused;
    }
  }

  // Plans a unit file from its keys when the tables read it as the
  // definition reader does, without building its row. False when they may
  // read it otherwise; then nothing is planned and the file keeps its bytes.
  bool PlanFromKeys(FileSource::File& F, const std::vector<const ReadTableRow*>& Rows, FileOutcome& Out) const {
    thread_local DefinitionView reading;
    thread_local std::vector<std::string_view> shown;
    FilePlan plan = StartPlan(F);
    ReadDefinitionView(plan.Original, reading);
    if (!rowValues_->Find(plan.Original, reading, shown)) {
      F.Bytes = std::move(plan.Original);
      return false;
    }
    FileDefinitions definitions{plan.Original, reading, std::nullopt};
    definitions.Records.emplace(plan.Original, reading);
    // The table tool builds no row for an empty file, nor for one without a
    // caption.
    const bool hasRow = !plan.Original.empty() && !shown.empty() && !shown[0].empty();
    PlanFile(plan, definitions, Rows,
             [&](const std::string&, std::vector<std::string_view>& Shown) {
               if (hasRow) Shown = shown;
               return hasRow;
             },
             Out);
    return true;
  }

  void BuildBatch(const std::vector<RowsOfFile>& Files, const std::vector<size_t>& Batch,
                  std::vector<FileOutcome>& Outcomes) {
    std::map<const UnPacked*, size_t> entryOf;
    for (size_t i = 0; i < Batch.size(); ++i) {
      const FileSource::File& f = *Files[Batch[i]].first;
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
    std::vector<std::vector<const Row*>> rowsOf(Batch.size());
    for (int r = 0; r < view_->RowCount(); ++r) {
      const Row& row = view_->RowAt(r);
      auto at = entryOf.find(row.Data);
      if (at != entryOf.end()) rowsOf[at->second].push_back(&row);
    }
    hpi::ParallelFor(Batch.size(), 0, [&](size_t K) {
      const std::vector<const Row*>& current = rowsOf[K];
      const RowsByName byName(current, multi_ ? static_cast<size_t>(viewSection_) : 0);
      thread_local DefinitionView reading;
      FilePlan plan = StartPlan(*Files[Batch[K]].first);
      FileDefinitions definitions{plan.Original, reading, std::nullopt};
      PlanFile(plan, definitions, Files[Batch[K]].second,
               [&](const std::string& Section, std::vector<std::string_view>& Shown) {
                 const Row* row = multi_ ? byName.Find(Section) : current.empty() ? nullptr : current.front();
                 if (!row) return false;
                 // The row's cells by view column, taken in one pass.
                 Shown.assign(static_cast<size_t>(view_->ColumnCount()), std::string_view());
                 if (!Shown.empty()) Shown[0] = row->Caption;
                 row->ForEachFilledSubItem([&](size_t J, std::string_view Text) {
                   if (J + 1 < Shown.size()) Shown[J + 1] = Text;
                 });
                 return true;
               },
               Outcomes[Batch[K]]);
    });
    BuildRows(*State_, *view_, *list_, multi_, brRemoveAll, nullptr);
    list_->Clear();
  }

  // A file's definitions as the definition reader finds them, read once
  // when first needed.
  // The keys view the text; the storage of the reading is the thread's own,
  // reused from file to file.
  struct FileDefinitions {
    std::string_view Text;
    DefinitionView& File;
    std::optional<DefinitionRecords> Records;
    const DefinitionRecords& Get() {
      if (!Records) {
        ReadDefinitionView(Text, File);
        Records.emplace(Text, File);
      }
      return *Records;
    }
  };

  // A file's plan, its bytes taken from F (each file is planned once).
  static FilePlan StartPlan(FileSource::File& F) {
    FilePlan plan;
    plan.ParentFile = F.ParentFile;
    plan.UnPackedFile = F.StoredPath;
    plan.Loose = IsLooseParent(plan.ParentFile);
    plan.ArchiveStamp = F.ArchiveStamp;
    plan.Original = std::move(F.Bytes);
    return plan;
  }

  // The values the table shows now for the definition a row names (by its
  // section name; "" for a unit), by view column, into Shown; false when the
  // table has no row for it.
  using CurrentOf = std::function<bool(const std::string& Section, std::vector<std::string_view>& Shown)>;

  // The changes of one file's rows, into Out (Plan moved there when it
  // changes the file). Definitions views Plan's bytes.
  void PlanFile(FilePlan& Plan, FileDefinitions& Definitions, const std::vector<const ReadTableRow*>& Rows,
                const CurrentOf& Current, FileOutcome& Out) const {
    const std::string captionKey = view_->ColumnCaption(0);
    std::string checksum;  // of the file now, once a row asks
    std::map<std::string, int> changedBy;  // definition (folded section name) -> row that changes it
    // Reused from file to file: the row's cells, and the current values.
    thread_local ReadTableCellViews cellsOnThread;
    thread_local std::vector<std::string_view> shownOnThread;
    ReadTableCellViews& cells = cellsOnThread;
    std::vector<std::string_view>& shown = shownOnThread;
    for (const ReadTableRow* row : Rows) {
      Table_.CellsOf(*row, cells);
      std::string section;
      bool current = false;
      // A unit's row names no section.
      const std::vector<std::string> names = multi_ ? NamesOf(cells, sectionColumn_) : std::vector<std::string>(1);
      for (const std::string& name : names)
        if (!current) {
          section = name;
          current = Current(section, shown);
        }
      if (!current) {
        Out.Refuse(row->Number, multi_ ? "there is no definition [" + section + "] in " + Place(Plan) + "; nothing applied"
                                   : "there is no unit in " + Place(Plan) + "; nothing applied");
        continue;
      }
      DefinitionChange change;
      change.Row = row->Number;
      change.Section = section;
      change.Name = multi_ ? section : shown.size() > 1 ? std::string(shown[1]) : std::string();
      PlanCells(*row, cells, shown, Definitions, captionKey, change, Out);
      if (change.Cells.empty()) continue;
      const std::string size = CellOf(cells, sizeColumn_);
      if (!size.empty() && !SameNumber(size, std::to_string(Plan.Original.size()))) {
        Out.Refuse(row->Number, Place(Plan) + " changed since the table was written (" + size + " bytes then, " +
                                std::to_string(Plan.Original.size()) + " now); nothing applied");
        continue;
      }
      const std::string then = CellOf(cells, checksumColumn_);
      if (!then.empty()) {
        if (checksum.empty()) checksum = FileChecksum(Plan.Original);
        if (!SameChecksum(then, checksum)) {
          Out.Refuse(row->Number, Place(Plan) + " changed since the table was written (its " + kChecksumCaption +
                                  " was " + then + ", it is " + checksum + " now); nothing applied");
          continue;
        }
      }
      // One definition, however the row spells its name.
      auto [other, first] = changedBy.try_emplace(LowerAscii(section), row->Number);
      if (!first) {
        Out.Refuse(row->Number, "changes the same definition as row " + std::to_string(other->second) +
                                "; nothing applied");
        continue;
      }
      Plan.Definitions.push_back(std::move(change));
    }
    if (Plan.Definitions.empty()) return;

    const DefinitionRecords& records = Definitions.Get();
    std::vector<TextEdit> edits;
    std::vector<DefinitionChange> kept;
    for (DefinitionChange& d : Plan.Definitions) {
      std::vector<TextEdit> own;
      std::vector<std::string> problems;
      std::vector<size_t> failed;
      if (!PlanDefinitionEdits(records, d.Section, captionKey, d.Cells, own, problems, &failed)) {
        Out.Refuse(d.Row, "the definition [" + d.Section + "] cannot be found in " + Place(Plan) + "; nothing applied");
        continue;
      }
      for (const std::string& p : problems) Out.Refuse(d.Row, p + " in " + Place(Plan) + "; that cell was not applied");
      if (own.empty()) continue;
      // Only the cells that got an edit count.
      for (auto i = failed.rbegin(); i != failed.rend(); ++i) d.Cells.erase(d.Cells.begin() + static_cast<long>(*i));
      Plan.CellCount += static_cast<int>(d.Cells.size());
      edits.insert(edits.end(), own.begin(), own.end());
      kept.push_back(std::move(d));
    }
    if (kept.empty()) return;
    std::optional<std::string> updated = ApplyEdits(Plan.Original, std::move(edits));
    if (!updated) {
      // Two edits of one place: written, they would corrupt the file.
      for (const DefinitionChange& d : kept)
        Out.Refuse(d.Row, "its changes of " + Place(Plan) + " overlap another's; nothing applied");
      return;
    }
    Plan.Definitions = std::move(kept);
    Plan.Updated = std::move(*updated);
    if (Plan.Updated != Plan.Original) Out.Plan = std::move(Plan);
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

  // The cells of Row that differ from the definition's current values.
  void PlanCells(const ReadTableRow& Row, const ReadTableCellViews& Cells, const std::vector<std::string_view>& Shown,
                 FileDefinitions& Definitions, const std::string& CaptionKey, DefinitionChange& Change,
                 FileOutcome& Out) const {
    std::string latin1;  // the cell being compared, when it had to be converted
    std::optional<DefinitionRecord> record;  // for keys no column shows, once one is asked for
    for (size_t c = 0; c < Table_.Captions.size() && c < Cells.size(); ++c) {
      const int column = keyColumns_[c];
      const bool ownKey = ownKeyColumns_[c];
      if (!Cells[c] || (column < 0 && !ownKey)) continue;
      const std::string& key = ownKey ? Table_.Captions[c] : view_->ColumnCaption(column);
      std::string_view now;
      if (ownKey) {
        const DefinitionRecords& records = Definitions.Get();
        if (!record) {
          record.emplace();
          if (!records.Find(Change.Section, CaptionKey, *record)) record->Section = -1;
        }
        if (const DefinitionKeyView* k = records.OwnKey(*record, key)) now = k->Value;
      } else {
        now = Shown[static_cast<size_t>(column)];
      }
      // Most cells are plain ASCII, equal to the file's value: those are
      // compared where they lie.
      std::string_view value = *Cells[c];
      const auto isAscii = [](std::string_view Text) {
        return std::none_of(Text.begin(), Text.end(), [](char C) { return static_cast<unsigned char>(C) >= 0x80; });
      };
      // The usual cell: unchanged, byte for byte.
      if (value == now && isAscii(value)) continue;
      if (!isAscii(value)) {
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
      // A spreadsheet in a locale that writes numbers otherwise damages them.
      const LocaleDamage damage = FindLocaleDamage(now, value);
      if (damage == LocaleDamage::Separator) {
        Out.Refuse(Row.Number, "the cell " + key + " holds " + std::string(value) + " where the file has " +
                               std::string(TrimBlanks(now)) +
                               ", which the game does not read as a number (a spreadsheet's decimal comma or "
                               "thousands separator?); that cell was not applied");
        continue;
      }
      if (damage == LocaleDamage::PointDropped && !Options_.AcceptLocaleChanges) {
        Out.Refuse(Row.Number, "the cell " + key + " holds " + std::string(value) + " where the file has " +
                               std::string(TrimBlanks(now)) +
                               ": its decimal point dropped, as by a spreadsheet that reads \".\" as a thousands "
                               "separator; that cell was not applied (--accept-locale-changes applies it)");
        continue;
      }
      Change.Cells.push_back({key, std::string(now), std::string(value), ownKey});
    }
  }

  const ReadTable& Table_;
  ApplyPlan& Plan_;
  std::ostream& Err_;
  std::string Prefix_;
  ApplyOptions Options_;
  CommandLineDialogs Dialogs_;
  std::unique_ptr<TableState> State_;
  FileSource Source_;
  std::vector<Message> Messages_;
  const KindInfo* kind_ = nullptr;
  RowTable* view_ = nullptr;
  AllUnpacked* list_ = nullptr;
  bool multi_ = false;
  int parentColumn_ = -1, pathColumn_ = -1, sectionColumn_ = -1, sizeColumn_ = -1, checksumColumn_ = -1,
      viewSection_ = -1;
  std::vector<int> keyColumns_;  // per table column: its column in the view, -1 when it holds no key to apply
  std::vector<char> ownKeyColumns_;  // per table column: a key no column of the view shows
  std::optional<RowValues> rowValues_;  // a unit file's row cells from its keys
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
               std::string& UsageError, const ApplyOptions& Options) {
  Plan = ApplyPlan();
  return Planner(Table, Plan, Err, Prefix, Options).Run(UsageError);
}
