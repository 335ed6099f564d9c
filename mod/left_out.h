#pragma once
// Which definitions the tables give no row, and why: a unit without
// UnitNumber, a weapon without ID, a build-menu entry without UnitMenu (the
// value each table's first column shows); a corpse whose "[NAME]" header
// shares its line with "{", so that the corpses table never reads its name;
// every definition of a file whose lines end in LF alone, as the tables end
// a line only at CR LF. The tables themselves build rows as they always have;
// this only says what they leave out.
#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "archive/file_lists.h"

class RowTable;

enum class TableKind { Units, Weapons, Corpses, Download };

enum class LeftOutReason { NoCaption, HeaderSharesLine, LoneLf };
constexpr size_t kLeftOutReasons = 3;

struct LeftOutReport {
  // How many of the first definitions left out for each reason are named.
  static constexpr size_t kNamed = 3;

  size_t Definitions = 0;  // every definition of the list's files
  size_t LeftOut = 0;      // those that give no row
  struct Reason {
    size_t Count = 0;
    std::vector<std::string> First;  // "NAME (PATH)" of the first kNamed, in list order
  };
  std::array<Reason, kLeftOutReasons> Reasons;
};

// The definitions of the files of List, which the table of Kind shows, that
// give no row. Given the table's rows, a unit file that gave one is known to
// hold no such definition and is not read again: a unit file holds one unit.
LeftOutReport FindLeftOut(const AllUnpacked& List, TableKind Kind, const RowTable* Rows = nullptr);

// What a reason means for a table of Kind, as a phrase: "without UnitNumber",
// "with a [NAME]{ header on one line", "in a file whose lines end in LF alone".
std::string LeftOutPhrase(TableKind Kind, LeftOutReason Reason);
