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

// What the table comparison reads of one row's cell, worked out once so that a
// sort parses each row once rather than once per comparison. Failed: reading
// the cell failed, and every comparison with this row fails.
struct ItempKey {
  bool Failed = false;
  std::optional<int32_t> Number;
  std::string_view Text;  // a view into the row
};
ItempKey ItempKeyOf(const Row& R, uint16_t Column);
// ItempCompare on two prepared keys: the same answer, and the same message
// when either key failed.
int ItempCompareKeys(Dialogs& D, const ItempKey& First, const ItempKey& Second);

// The whole-number rule of the table sort: leading blanks, then a sign and
// decimal digits in the signed 32-bit range, or '$' and at most 8 significant
// hexadecimal digits (two's complement); nothing may follow the digits.
std::optional<int32_t> ParseWholeNumber(std::string_view Text);

// Byte-wise comparison with a to z taken as A to Z; the difference of the first
// differing (folded) bytes, a prefix sorting first. Inline: a sort calls it
// for most of its comparisons.
// A byte as the table comparison sees it: a to z as A to Z.
inline unsigned char FoldedByte(char C) {
  const auto u = static_cast<unsigned char>(C);
  return static_cast<unsigned char>((u >= 'a' && u <= 'z') ? u - ('a' - 'A') : u);
}

inline int CompareTextFoldingLower(std::string_view A, std::string_view B) {
  auto fold = [](char C) -> int { return FoldedByte(C); };
  const size_t n = A.size() < B.size() ? A.size() : B.size();
  for (size_t i = 0; i < n; ++i) {
    if (A[i] == B[i]) continue;
    const int d = fold(A[i]) - fold(B[i]);
    if (d != 0) return d;
  }
  if (A.size() == B.size()) return 0;
  return A.size() < B.size() ? -fold(B[n]) : fold(A[n]);
}

// ItempCompareKeys on two keys that were read without failing.
inline int ItempCompareReadKeys(const ItempKey& First, const ItempKey& Second) {
  if (First.Number && Second.Number) return (*First.Number > *Second.Number) - (*First.Number < *Second.Number);
  return CompareTextFoldingLower(First.Text, Second.Text);
}
