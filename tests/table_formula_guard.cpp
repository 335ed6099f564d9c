// The spreadsheet formula guard of the CSV and TSV writers and its inverse.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "definitions/formula_guard.h"

namespace {

TEST(FormulaGuard, QuotesWhatASpreadsheetWouldRunAndGivesItBack) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"=1+1", "'=1+1"}, {"=HYPERLINK(\"x\")", "'=HYPERLINK(\"x\")"}, {"@SUM(A1)", "'@SUM(A1)"},
      {"\tx", "'\tx"}, {"\rx", "'\rx"}, {"-2+3", "'-2+3"}, {"+A1", "'+A1"}, {"-", "'-"}, {"+", "'+"},
      {"-.", "'-."}, {"-1.2.3", "'-1.2.3"}, {"-1e", "'-1e"}, {"- 7", "'- 7"}, {"'=x", "''=x"},
      {"''-cmd", "'''-cmd"},
      // Plain numbers and ordinary text stay as they are.
      {"-7", "-7"}, {"+3.5", "+3.5"}, {"-.5", "-.5"}, {"-2.", "-2."}, {"+1e5", "+1e5"}, {"-4E-3", "-4E-3"},
      {"42", "42"}, {"ARM=CORE", "ARM=CORE"}, {"a@b", "a@b"}, {"", ""}, {"'", "'"}, {"'quoted", "'quoted"},
      {" =x", " =x"}, {"\n=x", "\n=x"}};
  for (const auto& [cell, guarded] : cases) {
    EXPECT_EQ(GuardFormula(cell), guarded) << cell;
    EXPECT_EQ(UnguardFormula(guarded), cell) << guarded;
  }
}

}  // namespace
