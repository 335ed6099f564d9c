#include <gtest/gtest.h>

#include <algorithm>

#include "archive/scripted_dialogs.h"
#include "definitions/item_compare.h"

namespace {
Row Cells(const std::string& Caption, std::vector<std::string> Sub = {}) {
  Row r;
  r.Caption = Caption;
  r.SubItems = std::move(Sub);
  return r;
}
int Cmp(const std::string& A, const std::string& B) {
  ScriptedDialogs d;
  int r = ItempCompare(d, Cells(A), Cells(B), 0);
  EXPECT_TRUE(d.Messages.empty());
  return r;
}
}  // namespace

TEST(ItempCompare, WholeNumberRule) {
  EXPECT_EQ(ParseWholeNumber("42"), 42);
  EXPECT_EQ(ParseWholeNumber("  42"), 42);
  EXPECT_EQ(ParseWholeNumber(" 120"), 120);
  EXPECT_EQ(ParseWholeNumber("+7"), 7);
  EXPECT_EQ(ParseWholeNumber("-5"), -5);
  EXPECT_EQ(ParseWholeNumber("$10"), 16);
  EXPECT_EQ(ParseWholeNumber("$FFFFFFFF"), -1);
  EXPECT_EQ(ParseWholeNumber("$0000000Ab"), 0xAB);
  EXPECT_EQ(ParseWholeNumber("2147483647"), 2147483647);
  EXPECT_EQ(ParseWholeNumber("-2147483648"), INT32_MIN);
  for (const char* notNumber : {"", "   ", "-", "+", "$", "1.5", "12 ", "42 ", "10,5", "2147483648",
                                "-2147483649", "$100000000", "-$10", "9a", "\t1", "99999999999999999999"})
    EXPECT_FALSE(ParseWholeNumber(notNumber).has_value()) << notNumber;
}

TEST(ItempCompare, OrdersNumbersByValueAndTextFolded) {
  EXPECT_LT(Cmp("9", "10"), 0);
  EXPECT_LT(Cmp("10", "100"), 0);
  EXPECT_LT(Cmp("-5", "3"), 0);
  EXPECT_LT(Cmp(" 120", "1000"), 0);
  EXPECT_GT(Cmp("$10", "15"), 0);
  EXPECT_LT(Cmp("$10", "17"), 0);
  EXPECT_LT(Cmp("10", "9a"), 0);  // text: '1' < '9'
  EXPECT_EQ(Cmp("abc", "ABC"), 0);
  EXPECT_LT(Cmp("ab", "a_"), 0);
  EXPECT_LT(Cmp("", "a"), 0);
  EXPECT_LT(Cmp("", "0"), 0);
  EXPECT_GT(Cmp("2147483647", "-2147483648"), 0);
  EXPECT_LT(Cmp("-2147483648", "2147483647"), 0);
  EXPECT_LT(Cmp("2147483648", "3"), 0);  // text: '2' < '3'
  EXPECT_LT(Cmp("abc", "abcd"), 0);
  EXPECT_GT(Cmp("\xE4", "z"), 0);  // bytes above 127 after all ASCII
  EXPECT_EQ(Cmp("A", "b"), 'A' - 'B');

  std::vector<std::string> column = {"100", "9", "B", "10", "a", ""};
  std::stable_sort(column.begin(), column.end(), [](auto& a, auto& b) { return Cmp(a, b) < 0; });
  EXPECT_EQ(column, (std::vector<std::string>{"", "9", "10", "100", "a", "B"}));
}

TEST(ItempCompare, SubItemsAndFailures) {
  ScriptedDialogs d;
  Row a = Cells("x", {"5", "b"}), b = Cells("y", {"40", "A"});
  EXPECT_LT(ItempCompare(d, a, b, 1), 0);
  EXPECT_GT(ItempCompare(d, a, b, 2), 0);
  EXPECT_TRUE(d.Messages.empty());

  EXPECT_EQ(ItempCompare(d, a, Cells("y"), 1), 0);  // missing sub-item
  Row huge = Cells(std::string(65536, 'z'));
  EXPECT_EQ(ItempCompare(d, huge, Cells("a"), 0), 0);
  EXPECT_LT(ItempCompare(d, Cells(std::string(65535, 'a')), Cells("b"), 0), 0);
  EXPECT_EQ(d.Messages, (std::vector<std::string>(2, "Exception in Function ItempCompare")));
}
