#include "tools/apply/apply_command.h"

#include <algorithm>
#include <map>
#include <optional>

#include "mod/apply_plan.h"
#include "tools/common/command_line.h"
#include "tools/common/counted.h"
#include "tools/common/shown_path.h"
#include "archive/ascii_case.h"
#include "archive/source_reader.h"
#include "archive/write_whole_file.h"
#include "hpi/archive.h"
#include "hpi/rewrite.h"
#include "definitions/table_format.h"
#include "definitions/table_read.h"
#include "mod/text_edit.h"

namespace {

const std::string kPrefix = "kestrava-apply: ";

// A name or path from a definition or the file system, as the terminal gets it.
std::string Shown(std::string_view Latin1) { return Latin1ToUtf8(hpitool::ShownText(Latin1)); }

// Where a file is, as the terminal gets it; ShownArchive is its archive's
// name so shown.
std::string Place(const FilePlan& F, const std::string& ShownArchive) {
  return F.Loose ? Shown(F.UnPackedFile) : Shown(F.UnPackedFile) + " in " + ShownArchive;
}

// Writes the archive's files in one locked rewrite, after checking that each
// is still what the plan was made from.
bool WriteArchive(const std::string& Path, const std::vector<const FilePlan*>& Files, std::string& Why) {
  const hpi::RewriteEdit edit = [&](const hpi::Archive& Current, hpi::Changes& Changes, std::string* Error) {
    // Under the lock: an archive that is still the very file planned from
    // holds the planned bytes; any other is read and compared.
    const bool same = Files.front()->ArchiveStamp.Same(FileStamp::Of(Path));
    for (const FilePlan* f : Files) {
      std::vector<uint8_t> now;
      const auto changed = [&] {
        const std::optional<uint32_t> index = Current.Find(f->UnPackedFile);
        return !index || !Current.ReadFile(*index, now) ||
               !std::equal(now.begin(), now.end(), f->Original.begin(), f->Original.end());
      };
      if (!same && changed()) {
        *Error = f->UnPackedFile + " changed while the table was being applied";
        return false;
      }
      // The plan outlives the rewrite: its bytes are written from where they are.
      Changes.PutBorrowed(f->UnPackedFile, reinterpret_cast<const uint8_t*>(f->Updated.data()), f->Updated.size());
    }
    return true;
  };
  const hpi::RewriteStatus status = hpi::Rewrite(Path, edit, hpi::RewriteOptions(), &Why);
  // The path is already in the message.
  if (status == hpi::RewriteStatus::ReadOnly) Why = "it is read-only";
  return status == hpi::RewriteStatus::Done;
}

// Replaces the file through a temporary file, and only while it still holds
// the bytes the plan was made from (checked under the writers' lock).
bool WriteLoose(const FilePlan& F, std::string& Why) {
  const std::optional<std::string> original = F.Original;
  try {
    WriteWholeFile(F.UnPackedFile, F.Updated.data(), F.Updated.size(), &original);
  } catch (const WriteFileError& e) {
    Why = e.reason() == WriteFileError::Reason::Changed    ? F.UnPackedFile + " changed while the table was being applied"
          : e.reason() == WriteFileError::Reason::ReadOnly ? "it is read-only"  // the path is already in the message
                                                           : e.what();
    return false;
  }
  return true;
}

// A unified diff as the terminal gets it: each line's bytes through the
// escaping of names and values, but for the tabs that indent definitions and
// the CR of a CR LF line end, so that the diff of an ordinary definition file
// still applies as a patch.
std::string ShownDiff(std::string_view Diff) {
  std::string out;
  out.reserve(Diff.size());
  while (!Diff.empty()) {
    const size_t lf = Diff.find('\n');
    std::string_view line = Diff.substr(0, lf);
    Diff.remove_prefix(lf == std::string_view::npos ? Diff.size() : lf + 1);
    const bool cr = !line.empty() && line.back() == '\r';
    if (cr) line.remove_suffix(1);
    for (size_t tab; (tab = line.find('\t')) != std::string_view::npos; line.remove_prefix(tab + 1))
      hpitool::AppendShownText(out, line.substr(0, tab)), out += '\t';
    hpitool::AppendShownText(out, line);
    if (cr) out += '\r';
    if (lf != std::string_view::npos) out += '\n';
  }
  return out;
}

void PrintDefinitions(std::ostream& Out, const FilePlan& F, const std::string& ShownArchive = "") {
  const std::string place = Place(F, ShownArchive);
  for (const DefinitionChange& d : F.Definitions) {
    Out << place << ": " << Shown(d.Name) << ":";
    for (size_t i = 0; i < d.Cells.size(); ++i) Out << (i ? ", " : " ") << Shown(d.Cells[i].Key);
    Out << "\n";
  }
}

// How many cells each column changes, most first: a column a spreadsheet
// damaged throughout stands out.
void PrintColumnCounts(std::ostream& Out, const ApplyPlan& Plan) {
  std::map<std::string, int> counts;
  for (const FilePlan& f : Plan.Files)
    for (const DefinitionChange& d : f.Definitions)
      for (const CellChange& c : d.Cells) ++counts[c.Key];
  if (counts.empty()) return;
  std::vector<std::pair<std::string, int>> order(counts.begin(), counts.end());
  std::stable_sort(order.begin(), order.end(), [](const auto& A, const auto& B) { return A.second > B.second; });
  Out << "Changed cells per column:\n";
  for (const auto& [key, count] : order) Out << "  " << key << ": " << count << "\n";
}

}  // namespace

int RunApply(const std::vector<std::string>& Args, std::ostream& Out, std::ostream& Err,
             const std::function<void()>& BeforeWriting) {
  CLI::App app("Writes the cells changed in a table of kestrava-table (edited in a spreadsheet) back into the "
               "definitions they came from.",
               "kestrava-apply");
  std::string tablePath, formatName;
  bool dryRun = false;
  ApplyOptions options;
  app.add_option("TABLE", tablePath, "the table: CSV, TSV or JSON as kestrava-table writes it")->required();
  app.add_flag("--dry-run", dryRun, "write nothing; print a unified diff of every file that would change");
  app.add_flag("--accept-locale-changes", options.AcceptLocaleChanges,
               "apply numbers whose new value is the old one with its decimal point dropped (2.175 -> 2175), "
               "which are refused by default as a spreadsheet's locale misreading them");
  app.add_option("--format", formatName, "the table's format; by default its file name's extension")
      ->option_text("csv|tsv|json")
      ->check(CLI::IsMember({"csv", "tsv", "json"}));
  app.footer(
      "Exit status: 0 when everything was applied, 1 when anything was refused (what could be applied was,\n"
      "archive by archive), 2 for bad usage or a table that cannot be read.");
  if (const int status = ParseCommandLine(app, Args, Out, Err); status >= 0) return status;

  std::optional<TableFormat> format = FormatOfFileName(tablePath);
  if (formatName == "csv") format = TableFormat::Csv;
  if (formatName == "tsv") format = TableFormat::Tsv;
  if (formatName == "json") format = TableFormat::Json;
  if (!format) {
    Err << kPrefix << "cannot tell the format of " << tablePath << " from its name; give --format csv, tsv or json\n";
    return 2;
  }
  // Opened so that a FIFO or a device is refused at once instead of blocking.
  std::string text, why;
  if (!ReadDiskFile(tablePath, text, why)) {
    Err << kPrefix << "cannot read " << tablePath << ": " << why << "\n";
    return 2;
  }
  ReadTable table;
  if (!ParseTable(std::move(text), *format, table, why)) {
    Err << kPrefix << tablePath << ": " << why << "\n";
    return 2;
  }
  for (const std::string& note : table.Notes) Err << kPrefix << tablePath << ": " << note << "\n";
  ApplyPlan plan;
  if (!PlanApply(table, plan, Err, kPrefix, why, options)) {
    Err << kPrefix << tablePath << ": " << why << "\n";
    return 2;
  }
  int refused = plan.Refused;
  if (BeforeWriting) BeforeWriting();

  if (dryRun) {
    for (const FilePlan& f : plan.Files) {
      const std::string name = f.Loose ? f.UnPackedFile : f.ParentFile + ":" + f.UnPackedFile;
      Out << ShownDiff(UnifiedDiff(f.Original, f.Updated, name, name));
    }
    PrintColumnCounts(Out, plan);
  } else {
    // Each archive is rewritten once with all of its changes; loose files are
    // written one by one.
    std::map<std::string, std::vector<const FilePlan*>> archives;
    std::vector<std::string> order;
    for (const FilePlan& f : plan.Files) {
      if (f.Loose) continue;
      auto& files = archives[f.ParentFile];  // one spelling for each archive
      if (files.empty()) order.push_back(f.ParentFile);
      files.push_back(&f);
    }
    int cells = 0, fileCount = 0, archiveCount = 0;
    for (const std::string& key : order) {
      const std::vector<const FilePlan*>& files = archives[key];
      if (!WriteArchive(files.front()->ParentFile, files, why)) {
        Err << kPrefix << "cannot write " << files.front()->ParentFile << ": " << why << "; it was not changed\n";
        ++refused;
        continue;
      }
      ++archiveCount;
      const std::string shownArchive = Shown(files.front()->ParentFile);
      for (const FilePlan* f : files) {
        PrintDefinitions(Out, *f, shownArchive);
        cells += f->CellCount;
        ++fileCount;
      }
    }
    for (const FilePlan& f : plan.Files) {
      if (!f.Loose) continue;
      if (!WriteLoose(f, why)) {
        Err << kPrefix << "cannot write " << f.UnPackedFile << ": " << why << "\n";
        ++refused;
        continue;
      }
      PrintDefinitions(Out, f);
      cells += f.CellCount;
      ++fileCount;
    }
    Out << Counted(cells, "cell") << " in " << Counted(fileCount, "file") << " of " << Counted(archiveCount, "archive")
        << "\n";
  }
  Out.flush();
  if (!Out) {
    Err << kPrefix << "cannot write to standard output\n";
    return 1;
  }
  return refused > 0 ? 1 : 0;
}
