#pragma once
// Keeps a report table in step with its file list.
#include "archive/app_state.h"

enum : int {
  brAddNew = 0,
  brReplaceFile = 2,
  brRemoveLoose = 3,
  brRemoveAll = 4,
  brRemoveArchive = 5,
};

void BuildRows(AppState& State, RowTable& View, AllUnpacked& List, bool MultiSection, int Mode,
               UnPacked* Entry);

// Sorts View by its sort column with ItempCompare (the table sort used by the
// header clicks and by row building).
void SortTable(AppState& State, RowTable& View);
