#include "tools/diff/diff_report.h"

#include <nlohmann/json.hpp>

#include "definitions/formula_guard.h"
#include "tools/common/counted.h"
#include "tools/common/shown_path.h"
#include "definitions/table_format.h"

namespace {

std::string Utf8(std::string_view Latin1) { return Latin1ToUtf8(Latin1); }

// For the text report, read on a terminal: control bytes are escaped.
std::string Shown(std::string_view Latin1) { return Utf8(hpitool::ShownText(Latin1)); }

std::string PlaceText(const std::optional<DefinitionPlace>& P, std::string (*Text)(std::string_view) = Utf8) {
  if (!P) return "";
  return P->Archive.empty() ? Text(P->Path) + ":" + std::to_string(P->Line)
                            : Text(P->Path) + ":" + std::to_string(P->Line) + " in " + Text(P->Archive);
}

// The place of a changed key: its definition's file, at the key's own line
// (the definition's line where the key is not on that side).
std::optional<DefinitionPlace> KeyPlace(const std::optional<DefinitionPlace>& P, int Line) {
  if (!P || Line <= 0) return P;
  DefinitionPlace at = *P;
  at.Line = Line;
  return at;
}

const char* ChangeName(DefinitionDifference::Change C) {
  switch (C) {
    case DefinitionDifference::Change::Added: return "added";
    case DefinitionDifference::Change::Removed: return "removed";
    case DefinitionDifference::Change::Changed: return "changed";
  }
  return "";
}

void WriteText(std::string& Out, const std::vector<DefinitionDifference>& Diffs) {
  int added = 0, removed = 0, changed = 0;
  const std::string* kind = nullptr;
  for (const DefinitionDifference& d : Diffs) {
    if (!kind || *kind != d.Table) {
      kind = &d.Table;
      Out += (Out.empty() ? "" : "\n") + d.Table + "\n";
    }
    Out += "  ";
    Out += ChangeName(d.Kind);
    Out += ' ' + Shown(d.Name);
    switch (d.Kind) {
      case DefinitionDifference::Change::Added: ++added; Out += " (" + PlaceText(d.New, Shown) + ")\n"; break;
      case DefinitionDifference::Change::Removed: ++removed; Out += " (" + PlaceText(d.Old, Shown) + ")\n"; break;
      case DefinitionDifference::Change::Changed:
        ++changed;
        Out += " (" + PlaceText(d.Old, Shown) + " → " + PlaceText(d.New, Shown) + ")\n";
        for (const KeyDifference& k : d.Keys)
          Out += "    " + Shown(k.Key) + ": " + (k.Old ? Shown(*k.Old) : "(none)") + " → " +
                 (k.New ? Shown(*k.New) : "(none)") + "\n";
        break;
    }
  }
  if (!Diffs.empty()) Out += "\n";
  Out += Counted(Diffs.size(), "definition") + (Diffs.size() == 1 ? " differs: " : " differ: ") + std::to_string(added) + " added, " +
         std::to_string(removed) + " removed, " + std::to_string(changed) + " changed\n";
}

void CsvLine(std::string& Out, const std::vector<std::string>& Cells, bool Guard) {
  for (size_t i = 0; i < Cells.size(); ++i) {
    if (i) Out += ',';
    // Cells are UTF-8 already: written as they are, quoted where RFC 4180 says.
    const std::string cell = Guard ? GuardFormula(Cells[i]) : Cells[i];
    if (cell.find_first_of(",\"\r\n") == std::string::npos) {
      Out += cell;
    } else {
      Out += '"';
      for (char c : cell) Out += c == '"' ? std::string("\"\"") : std::string(1, c);
      Out += '"';
    }
  }
  Out += "\r\n";
}

void WriteCsv(std::string& Out, const std::vector<DefinitionDifference>& Diffs, bool Guard) {
  CsvLine(Out, {"kind", "name", "change", "key", "old", "new", "old_place", "new_place"}, false);
  for (const DefinitionDifference& d : Diffs) {
    const std::vector<std::string> head = {d.Table, Utf8(d.Name), ChangeName(d.Kind)};
    if (d.Keys.empty()) {
      CsvLine(Out, {head[0], head[1], head[2], "", "", "", PlaceText(d.Old), PlaceText(d.New)}, Guard);
      continue;
    }
    for (const KeyDifference& k : d.Keys)
      CsvLine(Out, {head[0], head[1], head[2], Utf8(k.Key), k.Old ? Utf8(*k.Old) : "", k.New ? Utf8(*k.New) : "",
                    PlaceText(KeyPlace(d.Old, k.OldLine)), PlaceText(KeyPlace(d.New, k.NewLine))},
              Guard);
  }
}

nlohmann::json PlaceJson(const std::optional<DefinitionPlace>& P) {
  if (!P) return nullptr;
  return {{"archive", P->Archive.empty() ? nlohmann::json(nullptr) : nlohmann::json(Utf8(P->Archive))},
          {"path", Utf8(P->Path)},
          {"line", P->Line}};
}

void WriteJson(std::string& Out, const std::vector<DefinitionDifference>& Diffs) {
  nlohmann::json all = nlohmann::json::array();
  for (const DefinitionDifference& d : Diffs) {
    nlohmann::json keys = nlohmann::json::array();
    for (const KeyDifference& k : d.Keys)
      keys.push_back({{"key", Utf8(k.Key)},
                      {"old", k.Old ? nlohmann::json(Utf8(*k.Old)) : nlohmann::json(nullptr)},
                      {"new", k.New ? nlohmann::json(Utf8(*k.New)) : nlohmann::json(nullptr)},
                      {"old_line", k.OldLine ? nlohmann::json(k.OldLine) : nlohmann::json(nullptr)},
                      {"new_line", k.NewLine ? nlohmann::json(k.NewLine) : nlohmann::json(nullptr)}});
    all.push_back({{"kind", d.Table},
                   {"name", Utf8(d.Name)},
                   {"change", ChangeName(d.Kind)},
                   {"old", PlaceJson(d.Old)},
                   {"new", PlaceJson(d.New)},
                   {"keys", std::move(keys)}});
  }
  Out += all.dump(1);
  Out += '\n';
}

}  // namespace

void WriteDiffReport(std::string& Out, DiffFormat Format, const std::vector<DefinitionDifference>& Differences,
                     bool Guard) {
  switch (Format) {
    case DiffFormat::Text: WriteText(Out, Differences); break;
    case DiffFormat::Csv: WriteCsv(Out, Differences, Guard); break;
    case DiffFormat::Json: WriteJson(Out, Differences); break;
  }
}
