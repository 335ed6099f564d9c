#include "definitions/formula_guard.h"

namespace {

bool IsDigit(char C) { return C >= '0' && C <= '9'; }

// A sign, digits with at most one decimal point, then an optional exponent.
bool IsSignedNumber(std::string_view Text) {
  size_t i = 1;  // past the sign
  size_t digits = 0;
  bool point = false;
  for (; i < Text.size(); ++i) {
    if (IsDigit(Text[i])) ++digits;
    else if (Text[i] == '.' && !point) point = true;
    else break;
  }
  if (digits == 0) return false;
  if (i < Text.size() && (Text[i] == 'e' || Text[i] == 'E')) {
    ++i;
    if (i < Text.size() && (Text[i] == '+' || Text[i] == '-')) ++i;
    const size_t start = i;
    while (i < Text.size() && IsDigit(Text[i])) ++i;
    if (i == start) return false;
  }
  return i == Text.size();
}

}  // namespace

bool NeedsFormulaGuard(std::string_view Cell) {
  const size_t start = Cell.find_first_not_of('\'');
  if (start == std::string_view::npos) return false;
  const std::string_view rest = Cell.substr(start);
  switch (rest.front()) {
    case '=':
    case '@':
    case '\t':
    case '\r':
      return true;
    case '+':
    case '-':
      return !IsSignedNumber(rest);
    default:
      return false;
  }
}

std::string GuardFormula(std::string_view Cell) {
  if (!NeedsFormulaGuard(Cell)) return std::string(Cell);
  std::string guarded;
  guarded.reserve(Cell.size() + 1);
  guarded += '\'';
  guarded += Cell;
  return guarded;
}

std::string_view UnguardFormula(std::string_view Cell) {
  if (!Cell.empty() && Cell.front() == '\'' && NeedsFormulaGuard(Cell)) return Cell.substr(1);
  return Cell;
}
