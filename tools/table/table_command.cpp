#include "tools/table/table_command.h"

#include <memory>
#include <optional>

#include "archive/ascii_case.h"
#include "archive/command_line_dialogs.h"
#include "definitions/catalogue.h"
#include "definitions/column_sort.h"
#include "hpi/archive.h"
#include "state/sources.h"
#include "tools/common/value_options.h"

const char kTableUsage[] =
    "Usage: kestrava-table KIND [ARCHIVE...] [--ta-dir DIR] [--format csv|tsv|json]\n"
    "                      [--columns KEY,KEY...] [--sort KEY] [--computed]\n"
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
    "                    commas, letter case ignored\n"
    "  --sort KEY        the order the window shows after a click on that column's\n"
    "                    header (whole numbers by value, other text ignoring case);\n"
    "                    default the first column\n"
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
    "\n"
    "CSV and TSV start with a line of column captions. Definition files are 8-bit\n"
    "text: every byte is read as Latin-1 and written as UTF-8.\n"
    "Messages go to standard error, one line each; questions are answered No.\n"
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
  app.add_flag("--computed", computed);
  std::vector<std::string> reversed(Args.rbegin(), Args.rend());  // the order CLI11 takes
  try {
    app.parse(reversed);
  } catch (const CLI::CallForHelp&) {
    Request.Help = true;
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

int RunTable(const TableRequest& Request, std::ostream& Out, std::ostream& Err) {
  const std::string prefix = "kestrava-table: ";
  CommandLineDialogs dialogs(Err, prefix);
  // The state is large (five lists of 2049 slots): keep it off the stack.
  auto state = std::make_unique<AppState>(dialogs);
  SetUpColumns(*state);
  state->AutosizeSetting = [] { return false; };  // no widths to fit
  RowTable* view = ViewOfKind(*state, Request.Kind);
  if (!view) {
    Err << prefix << "unknown kind " << Request.Kind << "\n";
    return 2;
  }
  // The figure columns follow the rows from here on, as in the window.
  if (Request.Computed) state->Figures.Show(true);

  // Every caption is checked before anything is loaded.
  std::vector<int> columns;
  for (const std::string& caption : Request.Columns) {
    const int col = FindColumn(*view, caption);
    if (col < 0) {
      Err << prefix << "unknown column " << caption << " in the " << Request.Kind << " table\n";
      return 2;
    }
    for (int taken : columns)
      if (taken == col) {
        Err << prefix << "column " << caption << " given twice\n";
        return 2;
      }
    columns.push_back(col);
  }
  if (columns.empty())
    for (int i = 0; i < view->ColumnCount(); ++i) columns.push_back(i);
  int sortColumn = 0;
  if (!Request.Sort.empty()) {
    sortColumn = FindColumn(*view, Request.Sort);
    if (sortColumn < 0) {
      Err << prefix << "unknown sort column " << Request.Sort << " in the " << Request.Kind << " table\n";
      return 2;
    }
  }

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

  WriteTable(Out, Request.Format, *view, columns, Request.FormulaGuard);
  Out.flush();
  if (!Out) {
    Err << prefix << "cannot write the table\n";
    return 1;
  }
  return problems > 0 || dialogs.Reported > 0 ? 1 : 0;
}
