#pragma once
// The table comparison: whole numbers by value, everything else as text with
// a to z folded to capitals. A failure shows "Exception in Function ItempCompare"
// and counts the rows as equal.
#include <cstdint>

#include "archive/dialogs.h"
#include "definitions/row_table.h"

int ItempCompare(Dialogs& D, const Row& First, const Row& Second, uint16_t Column);
