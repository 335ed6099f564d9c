#include "mod/left_out.h"

#include <algorithm>
#include <string_view>
#include <unordered_set>

#include "archive/ascii_case.h"
#include "definitions/definition_reader.h"
#include "definitions/row_table.h"
#include "hpi/parallel.h"

namespace {

// The key whose value is a table's first column, the caption of its rows;
// none for corpses, whose caption is the section's name.
const char* CaptionKey(TableKind Kind) {
  switch (Kind) {
    case TableKind::Units: return "UnitNumber";
    case TableKind::Weapons: return "ID";
    case TableKind::Download: return "UnitMenu";
    case TableKind::Corpses: break;
  }
  return nullptr;
}

bool Blank(char C) { return C == ' ' || C == '\t'; }

// Whether the header of section S is followed on its line by its "{".
bool HeaderSharesLine(std::string_view Text, const DefinitionSection& S) {
  size_t i = Text.find(']', S.HeaderOffset);
  if (i == std::string_view::npos) return false;
  for (++i; i < Text.size() && Blank(Text[i]); ++i) {
  }
  return i < Text.size() && Text[i] == '{';
}

// The top-level section a section lies in.
int TopOf(const DefinitionView& D, int S) {
  while (D.Sections[static_cast<size_t>(S)].Parent >= 0) S = D.Sections[static_cast<size_t>(S)].Parent;
  return S;
}

void Note(LeftOutReport& Report, LeftOutReason Reason, const std::string& Name, const std::string& Path) {
  ++Report.LeftOut;
  LeftOutReport::Reason& r = Report.Reasons[static_cast<size_t>(Reason)];
  if (r.Count++ < LeftOutReport::kNamed) r.First.push_back(Name.empty() ? Path : Name + " (" + Path + ")");
}

}  // namespace

std::string LeftOutPhrase(TableKind Kind, LeftOutReason Reason) {
  switch (Reason) {
    case LeftOutReason::NoCaption: return std::string("without ") + (CaptionKey(Kind) ? CaptionKey(Kind) : "a name");
    case LeftOutReason::HeaderSharesLine: return "with a [NAME]{ header on one line";
    case LeftOutReason::LoneLf: break;
  }
  return "in a file whose lines end in LF alone";
}

namespace {

using Entries = std::unordered_set<const UnPacked*>;

// FindLeftOut over the files [Begin, End) of List; the units of WithRow gave a row.
LeftOutReport FindLeftOutIn(const AllUnpacked& List, TableKind Kind, const Entries& WithRow, int Begin, int End) {
  LeftOutReport report;
  DefinitionView d;
  const char* caption = CaptionKey(Kind);
  for (int i = Begin; i < End; ++i) {
    const UnPacked& e = List[i];
    if (e.Kind == kKindDirectory) continue;
    if (Kind == TableKind::Units && WithRow.count(&e)) {
      ++report.Definitions;
      continue;
    }
    const std::string_view text(e.Contents.get(), e.Contents ? static_cast<size_t>(e.PFileSize) : 0);
    ReadDefinitionView(text, d);
    const bool lf = d.LineEnds == LineEndStyle::Lf;
    if (Kind == TableKind::Units) {
      // One unit a file; its caption is the first UnitNumber anywhere in it.
      ++report.Definitions;
      std::string_view number, name;
      bool found = false;
      for (const DefinitionKeyView& k : d.Keys) {
        if (!found && EqualIgnoringCase(k.Name, caption)) {
          number = k.Value;
          found = true;
        }
        if (name.empty() && EqualIgnoringCase(k.Name, "UnitName")) name = k.Value;
      }
      if (lf)
        Note(report, LeftOutReason::LoneLf, std::string(name), e.UnPackedFile);
      else if (number.empty())
        Note(report, LeftOutReason::NoCaption, std::string(name), e.UnPackedFile);
      continue;
    }
    // Every top-level section is a definition; its caption the first such
    // key anywhere in it.
    std::vector<bool> captioned(d.Sections.size(), false);
    if (caption)
      for (const DefinitionKeyView& k : d.Keys)
        if (k.Section >= 0 && !k.Value.empty() && EqualIgnoringCase(k.Name, caption))
          captioned[static_cast<size_t>(TopOf(d, k.Section))] = true;
    for (size_t s = 0; s < d.Sections.size(); ++s) {
      const DefinitionSection& section = d.Sections[s];
      if (section.Depth != 0) continue;
      ++report.Definitions;
      if (lf)
        Note(report, LeftOutReason::LoneLf, section.Name, e.UnPackedFile);
      else if (caption && !captioned[s])
        Note(report, LeftOutReason::NoCaption, section.Name, e.UnPackedFile);
      else if (!caption && HeaderSharesLine(text, section))
        Note(report, LeftOutReason::HeaderSharesLine, section.Name, e.UnPackedFile);
    }
  }
  return report;
}

}  // namespace

LeftOutReport FindLeftOut(const AllUnpacked& List, TableKind Kind, const RowTable* Rows) {
  Entries withRow;
  if (Rows && Kind == TableKind::Units) {
    withRow.reserve(static_cast<size_t>(Rows->RowCount()));
    for (int r = 0; r < Rows->RowCount(); ++r) withRow.insert(Rows->RowAt(r).Data);
  }
  // Files are read in blocks on every core; the blocks' reports, taken in
  // list order, name the same first definitions as one pass would.
  constexpr int kBlock = 64;
  const size_t blocks = static_cast<size_t>((List.Count + kBlock - 1) / kBlock);
  std::vector<LeftOutReport> parts(blocks);
  hpi::ParallelFor(blocks, 0, [&](size_t B) {
    const int begin = static_cast<int>(B) * kBlock;
    parts[B] = FindLeftOutIn(List, Kind, withRow, begin, std::min(List.Count, begin + kBlock));
  });
  LeftOutReport report;
  for (LeftOutReport& part : parts) {
    report.Definitions += part.Definitions;
    report.LeftOut += part.LeftOut;
    for (size_t r = 0; r < kLeftOutReasons; ++r) {
      LeftOutReport::Reason& into = report.Reasons[r];
      into.Count += part.Reasons[r].Count;
      for (std::string& name : part.Reasons[r].First)
        if (into.First.size() < LeftOutReport::kNamed) into.First.push_back(std::move(name));
    }
  }
  return report;
}
