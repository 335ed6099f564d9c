#pragma once
// The table comparison: whole numbers by value, everything else as text with
// a to z folded to capitals. A failure shows "Exception in Function ItempCompare"
// and counts the rows as equal.
#include <cstdint>

#include "archive/dialogs.h"
#include "definitions/row_table.h"

int ItempCompare(Dialogs& D, const Row& First, const Row& Second, uint16_t Column);

#include <optional>
#include <string_view>

// The whole-number rule of the table sort: leading blanks, then a sign and
// decimal digits in the signed 32-bit range, or '$' and at most 8 significant
// hexadecimal digits (two's complement); nothing may follow the digits.
std::optional<int32_t> ParseWholeNumber(std::string_view Text);

// Byte-wise comparison with a to z taken as A to Z; the difference of the first
// differing (folded) bytes, a prefix sorting first.
int CompareTextFoldingLower(std::string_view A, std::string_view B);
