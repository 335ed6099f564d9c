#pragma once
// Keeps a report table in step with its file list.
#include <vector>

#include "definitions/table_state.h"

enum : int {
  brAddNew = 0,
  brReplaceFile = 2,
  brRemoveLoose = 3,
  brRemoveAll = 4,
  brRemoveArchive = 5,
};

void BuildRows(TableState& State, RowTable& View, AllUnpacked& List, bool MultiSection, int Mode,
               UnPacked* Entry);

// BuildRows in mode brAddNew for several tables at once, in their order, with
// the rows of all of them built in one pass split over two threads: small
// tables are built beside a large one rather than after it.
struct NewRowsOfTable {
  RowTable* View;
  AllUnpacked* List;
  bool MultiSection;
};
void BuildNewRowsOfTables(TableState& State, const std::vector<NewRowsOfTable>& Tables);

// Sorts View by its sort column with ItempCompare (the table sort used by the
// header clicks and by row building), ascending; when the table's descending
// flag is set, the ascending order is then turned round.
void SortTable(TableState& State, RowTable& View);

#include <string>
#include <vector>

// Sets R's caption to the value of Keys[0] in Lines and appends one cell per
// further key, in order. A value is everything after the first "=" of the
// first line whose text before that "=" equals the key, ignoring case; a key
// that no line holds gives an empty cell.
void FillRow(Row& R, const std::vector<std::string>& Lines, const std::vector<std::string>& Keys);

// The text between "[" and "]" of the first line that starts with "[" and ends
// with "]"; empty when no line does.
std::string FirstSectionName(const std::vector<std::string>& Lines);
