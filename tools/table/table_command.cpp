#include "tools/table/table_command.h"

#include <memory>
#include <optional>
#include <unordered_map>

#include "archive/ascii_case.h"
#include "archive/command_line_dialogs.h"
#include "definitions/catalogue.h"
#include "definitions/column_sort.h"
#include "hpi/archive.h"
#include "mod/definition_keys.h"
#include "mod/left_out.h"
#include "state/sources.h"
#include "tools/common/shown_path.h"
#include "tools/common/value_options.h"

const char kTableUsage[] =
    "Usage: kestrava-table KIND [ARCHIVE...] [--ta-dir DIR] [--format csv|tsv|json]\n"
    "                      [--columns KEY,KEY...] [--sort KEY] [--all-keys] [--computed]\n"
    "                      [--no-formula-guard]\n"
    "\n"
    "Prints one of Kestrava's comparison tables: KIND is units, weapons, corpses or\n"
    "download (build menus). The rows and cells are exactly those of the window.\n"
    "\n"
    "  ARCHIVE...        .hpi, .ufo, .gp* or .ccx archives, loaded in the order given,\n"
    "                    as File > Open... loads them\n"
    "  --ta-dir DIR      then also the loose definition files below the game\n"
    "                    directory DIR, as the include switch of the window does;\n"
    "                    at least one ARCHIVE or --ta-dir is needed\n"
    "  --format FORMAT   csv (the default; RFC 4180, lines end in CR LF), tsv (tab,\n"
    "                    CR, LF and backslash in cells written as \\t, \\r, \\n, \\\\)\n"
    "                    or json (an array of objects keyed by column caption)\n"
    "  --columns LIST    only these columns, in this order; captions separated by\n"
    "                    commas, letter case ignored. With ParentFile and\n"
    "                    UnPackedFile, the File CRC-32 column comes last unless\n"
    "                    the list places it\n"
    "  --sort KEY        the order the window shows after a click on that column's\n"
    "                    header (whole numbers by value, other text ignoring case);\n"
    "                    default the first column\n"
    "  --all-keys        also every key the definitions hold that no column of the\n"
    "                    table shows (translations such as FrenchName, a mod's own\n"
    "                    keys), after the table's columns, sorted ignoring case;\n"
    "                    --columns may then name them too\n"
    "  --computed        append the balance figures worked out from the loaded\n"
    "                    definitions (units: DPS, DPS per 100 metal, Hit points per\n"
    "                    100 metal, Range, Built by, Build seconds; weapons: Damage\n"
    "                    per salvo, DPS, Energy per second), captioned \"... (computed)\";\n"
    "                    an empty cell where one cannot be worked out. They can be\n"
    "                    named in --columns and --sort\n"
    "  --no-formula-guard  write CSV and TSV cells exactly as they are. By default a\n"
    "                    cell that a spreadsheet would run as a formula gets a\n"
    "                    leading ': one beginning with =, @, TAB or CR, or with + or\n"
    "                    - without being a plain number (-7 and +3.5 stay numbers)\n"
    "  --help            show this text\n"
    "  --version         show the version\n"
    "\n"
    "The last column, File CRC-32, holds a checksum of each row's file (\"0x\" and\n"
    "8 hex digits of its CRC-32): kestrava-apply refuses a row whose file changed\n"
    "since the export.\n"
    "CSV and TSV start with a line of column captions. Definition files are 8-bit\n"
    "text: every byte is read as Latin-1 and written as UTF-8.\n"
    "Messages go to standard error, one line each; questions are answered No.\n"
    "Definitions that give no row (a unit without UnitNumber, a weapon without ID, a\n"
    "build-menu entry without UnitMenu, a corpse whose [NAME]{ header shares its line,\n"
    "a file whose lines end in LF alone) are counted there by reason, the first few\n"
    "named; this alone does not change the exit status. Any number of files is read.\n"
    "Exit status: 0 when nothing was reported, 1 when something was (an archive\n"
    "or a file in one that cannot be read, a missing DIR, an engine message, output\n"
    "that cannot be written), 2 for bad usage.\n";

namespace {

std::vector<std::string> SplitCommas(const std::string& List) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    const size_t comma = List.find(',', start);
    parts.push_back(List.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
    if (comma == std::string::npos) return parts;
    start = comma + 1;
  }
}

// Position of the column captioned Caption, ignoring case; -1 when none is.
int FindColumn(const RowTable& View, const std::string& Caption) {
  for (int i = 0; i < View.ColumnCount(); ++i)
    if (EqualIgnoringCase(View.ColumnCaption(i), Caption)) return i;
  return -1;
}

TableKind KindOf(const std::string& Kind) {
  if (Kind == "weapons") return TableKind::Weapons;
  if (Kind == "corpses") return TableKind::Corpses;
  if (Kind == "download") return TableKind::Download;
  return TableKind::Units;
}

// Says on Err how many definitions of the table's files give no row, for
// each reason, naming the first few.
void ReportLeftOut(const AllUnpacked& List, const RowTable& Rows, const std::string& Kind, std::ostream& Err,
                   const std::string& Prefix) {
  const TableKind kind = KindOf(Kind);
  const LeftOutReport report = FindLeftOut(List, kind, &Rows);
  const std::string what = Kind == "download" ? "build-menu entries" : Kind;
  for (size_t r = 0; r < kLeftOutReasons; ++r) {
    const LeftOutReport::Reason& reason = report.Reasons[r];
    if (reason.Count == 0) continue;
    std::string line = Prefix + std::to_string(reason.Count) + " of " + std::to_string(report.Definitions) + " " +
                       what + (reason.Count == 1 ? " gives" : " give") + " no row, " + LeftOutPhrase(kind, static_cast<LeftOutReason>(r)) + ": ";
    for (size_t i = 0; i < reason.First.size(); ++i) {
      if (i > 0) line += ", ";
      hpitool::AppendShownText(line, reason.First[i]);
    }
    if (reason.Count > reason.First.size()) line += " and " + std::to_string(reason.Count - reason.First.size()) + " more";
    Err << line << "\n";
  }
}

RowTable* ViewOfKind(AppState& State, const std::string& Kind) {
  if (Kind == "units") return &State.UnitView;
  if (Kind == "weapons") return &State.WeaponView;
  if (Kind == "corpses") return &State.CorpseView;
  if (Kind == "download") return &State.DownloadView;
  return nullptr;
}

}  // namespace

std::string ParseTableArguments(const std::vector<std::string>& Args, TableRequest& Request) {
  CLI::App app("Prints one of Kestrava's comparison tables", "kestrava-table");
  std::vector<std::string> positional;
  std::optional<std::string> taDir, format, columns, sort;
  bool noFormulaGuard = false, computed = false;
  app.add_option("words", positional);
  ValueOptions values;
  values.Add(app, "--ta-dir", taDir, "--ta-dir needs a directory");
  values.Add(app, "--format", format, "--format needs csv, tsv or json");
  values.Add(app, "--columns", columns, "--columns needs a list of column captions");
  values.Add(app, "--sort", sort, "--sort needs a column caption");
  app.add_flag("--no-formula-guard", noFormulaGuard);
  app.set_version_flag("--version", "");
  app.add_flag("--all-keys", Request.AllKeys);
  app.add_flag("--computed", computed);
  std::vector<std::string> reversed(Args.rbegin(), Args.rend());  // the order CLI11 takes
  try {
    app.parse(reversed);
  } catch (const CLI::CallForHelp&) {
    Request.Help = true;
    return "";
  } catch (const CLI::CallForVersion&) {
    Request.Version = true;
    return "";
  } catch (const CLI::ParseError& e) {
    return values.Message(e);
  }
  if (taDir) {
    if (taDir->empty()) return "--ta-dir needs a directory";
    Request.IncludeTaDir = true;
    Request.TaDir = *taDir;
  }
  if (format) {
    if (*format == "csv") Request.Format = TableFormat::Csv;
    else if (*format == "tsv") Request.Format = TableFormat::Tsv;
    else if (*format == "json") Request.Format = TableFormat::Json;
    else if (format->empty()) return "--format needs csv, tsv or json";
    else return "unknown format " + *format + " (csv, tsv or json)";
  }
  if (columns) {
    if (columns->empty()) return "--columns needs a list of column captions";
    Request.Columns = SplitCommas(*columns);
    for (const std::string& c : Request.Columns)
      if (c.empty()) return "--columns holds an empty column caption";
  }
  if (sort) {
    if (sort->empty()) return "--sort needs a column caption";
    Request.Sort = *sort;
  }
  Request.FormulaGuard = !noFormulaGuard;
  Request.Computed = computed;
  if (positional.empty()) return "missing KIND (units, weapons, corpses or download)";
  Request.Kind = positional.front();
  if (Request.Kind != "units" && Request.Kind != "weapons" && Request.Kind != "corpses" &&
      Request.Kind != "download")
    return "unknown kind " + Request.Kind + " (units, weapons, corpses or download)";
  Request.Archives.assign(positional.begin() + 1, positional.end());
  if (Request.Archives.empty() && !Request.IncludeTaDir) return "nothing to load: give an ARCHIVE or --ta-dir DIR";
  return "";
}

namespace {

// The state with the dialogs it reports through, so that both can outlive a run.
struct LoadedState {
  LoadedState(std::ostream& Err, const std::string& Prefix) : Dialogs(Err, Prefix), State(Dialogs) {}
  CommandLineDialogs Dialogs;
  AppState State;
};

}  // namespace

int RunTable(const TableRequest& Request, std::ostream& Out, std::ostream& Err, std::shared_ptr<void>* Loaded) {
  const std::string prefix = "kestrava-table: ";
  // The state is large (five lists of 2049 slots): keep it off the stack.
  const auto loaded = std::make_shared<LoadedState>(Err, prefix);
  CommandLineDialogs& dialogs = loaded->Dialogs;
  AppState* const state = &loaded->State;
  SetUpColumns(*state);
  state->AutosizeSetting = [] { return false; };  // no widths to fit
  RowTable* view = ViewOfKind(*state, Request.Kind);
  if (!view) {
    Err << prefix << "unknown kind " << Request.Kind << "\n";
    return 2;
  }
  // The figure columns follow the rows from here on, as in the window.
  if (Request.Computed) state->Figures.Show(true);

  // Every caption is checked before anything is loaded, but those that can
  // only name a key of a table of every key, which is known once loaded.
  const int viewColumns = view->ColumnCount();
  // Placeholders until the extra columns are known.
  constexpr int kChecksumPlace = -3, kKeyPlace = -2;
  std::vector<int> columns;
  std::vector<std::string> keyCaptions;  // --all-keys: the captions of no column, by position in columns
  for (const std::string& caption : Request.Columns) {
    int col = EqualIgnoringCase(caption, kChecksumCaption) ? kChecksumPlace : FindColumn(*view, caption);
    if (col == -1) {
      if (!Request.AllKeys) {
        Err << prefix << "unknown column " << caption << " in the " << Request.Kind << " table\n";
        return 2;
      }
      col = kKeyPlace;
    }
    for (size_t k = 0; k < columns.size(); ++k)
      if (columns[k] == col && (col != kKeyPlace || EqualIgnoringCase(keyCaptions[k], caption))) {
        Err << prefix << "column " << caption << " given twice\n";
        return 2;
      }
    columns.push_back(col);
    keyCaptions.push_back(col == kKeyPlace ? caption : "");
  }
  int sortColumn = 0;
  if (!Request.Sort.empty()) {
    sortColumn = FindColumn(*view, Request.Sort);
    if (sortColumn < 0) {
      Err << prefix << "unknown sort column " << Request.Sort << " in the " << Request.Kind << " table\n";
      return 2;
    }
  }

  // The window's lists hold at most 2049 files; the tool reads them all.
  for (AllUnpacked* list : {&state->UnitFiles, &state->WeaponFiles, &state->DownloadFiles, &state->CorpseFiles})
    list->Capacity = AllUnpacked::kUnbounded;

  int problems = 0;
  OpenArchiveFiles(*state, Request.Archives);
  // The window's open dialog only offers existing archive files, and the
  // engine passes over an archive it cannot open without a word. Here the
  // user named each archive, so one that gave no entry to any list is opened
  // once more to tell a damaged or missing archive (reported) from one that
  // holds no definitions (not reported).
  for (const std::string& path : Request.Archives) {
    bool gaveEntries = false;
    for (const AllUnpacked* list :
         {&state->UnitFiles, &state->WeaponFiles, &state->DownloadFiles, &state->CorpseFiles})
      for (int i = 0; i < list->Count && !gaveEntries; ++i)
        gaveEntries = EqualIgnoringCase((*list)[i].ParentFile, path);
    std::string why;
    if (!gaveEntries && !hpi::Archive::Open(path, &why)) {
      Err << prefix << "cannot read archive " << path << ": " << why << "\n";
      ++problems;
    }
  }
  if (Request.IncludeTaDir) {
    state->TaDir = Request.TaDir;
    if (!IncludeLooseFiles(*state)) {
      Err << prefix << "The ta-dir " << Request.TaDir << " path does not exist.\n";
      ++problems;
    }
  }
  SortByColumn(*state, *view, sortColumn);
  ReportLeftOut(state->FilesOf(*view), *view, Request.Kind, Err, prefix);

  // The columns after the view's own: every other key (--all-keys), then the
  // checksum of each row's file.
  std::unique_ptr<DefinitionKeyColumns> keys;
  if (Request.AllKeys) keys = std::make_unique<DefinitionKeyColumns>(*view, state->MultiSectionOf(*view));
  ExtraColumns extra;
  if (keys) extra.Captions = keys->Captions();
  const int checksumAt = viewColumns + static_cast<int>(extra.Captions.size());
  extra.Captions.push_back(kChecksumCaption);
  std::unordered_map<const UnPacked*, std::string> checksums;
  extra.Cells = [&](int Row, std::vector<std::string>& Texts) {
    if (keys) keys->Cells(Row, Texts);
    const UnPacked* entry = view->RowAt(Row).Data;
    if (!entry) return;
    auto [at, added] = checksums.try_emplace(entry);
    if (added)
      at->second = FileChecksum(std::string_view(entry->Contents.get(),
                                                 entry->Contents ? static_cast<size_t>(entry->PFileSize) : 0));
    Texts.back() = at->second;
  };
  bool namesFile = false, namesPath = false, namesChecksum = false;
  for (size_t k = 0; k < columns.size(); ++k) {
    if (columns[k] == kChecksumPlace) columns[k] = checksumAt;
    if (columns[k] == kKeyPlace) {
      for (size_t e = 0; e + 1 < extra.Captions.size() && columns[k] == kKeyPlace; ++e)
        if (EqualIgnoringCase(extra.Captions[e], keyCaptions[k])) columns[k] = viewColumns + static_cast<int>(e);
      if (columns[k] == kKeyPlace) {
        Err << prefix << "unknown column " << keyCaptions[k] << ": no " << Request.Kind
            << " definition holds such a key\n";
        return 2;
      }
    }
    namesFile = namesFile || (columns[k] < viewColumns && EqualIgnoringCase(view->ColumnCaption(columns[k]), "ParentFile"));
    namesPath = namesPath || (columns[k] < viewColumns && EqualIgnoringCase(view->ColumnCaption(columns[k]), "UnPackedFile"));
    namesChecksum = namesChecksum || columns[k] == checksumAt;
  }
  if (columns.empty()) {
    for (int i = 0; i < checksumAt + 1; ++i) columns.push_back(i);
  } else if (namesFile && namesPath && !namesChecksum) {
    // A table that can go back through kestrava-apply tells which files
    // changed since it was written.
    columns.push_back(checksumAt);
  }

  WriteTable(Out, Request.Format, *view, columns, Request.FormulaGuard, &extra);
  Out.flush();
  if (Loaded) *Loaded = loaded;
  if (!Out) {
    Err << prefix << "cannot write the table\n";
    return 1;
  }
  return problems > 0 || dialogs.Reported > 0 ? 1 : 0;
}
