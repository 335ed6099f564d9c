#include <gtest/gtest.h>

#include <algorithm>

#include "archive/scripted_dialogs.h"
#include "definitions/item_compare.h"

namespace {
Row Cells(const std::string& Caption, std::vector<std::string> Sub = {}) {
  Row r;
  r.Caption = Caption;
  r.SetSubItems(Sub);
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
  const std::pair<const char*, int32_t> numbers[] = {
      {"42", 42}, {"  42", 42}, {" 120", 120}, {"+7", 7}, {"-5", -5}, {"$10", 16}, {"$FFFFFFFF", -1},
      {"$0000000Ab", 0xAB}, {"2147483647", INT32_MAX}, {"-2147483648", INT32_MIN}};
  for (auto [text, value] : numbers) EXPECT_EQ(ParseWholeNumber(text), value) << text;
  for (const char* notNumber : {"", "   ", "-", "+", "$", "1.5", "12 ", "10,5", "2147483648", "-2147483649",
                                "$100000000", "-$10", "9a", "\t1", "99999999999999999999"})
    EXPECT_FALSE(ParseWholeNumber(notNumber).has_value()) << notNumber;
}

TEST(ItempCompare, OrdersNumbersByValueAndTextFolded) {
  const std::pair<const char*, const char*> ascending[] = {
      {"9", "10"}, {"10", "100"}, {"-5", "3"}, {" 120", "1000"}, {"15", "$10"}, {"$10", "17"},
      {"10", "9a"},  // text: '1' < '9'
      {"ab", "a_"}, {"", "a"}, {"", "0"}, {"-2147483648", "2147483647"},
      {"2147483648", "3"},  // out of range: text
      {"abc", "abcd"}, {"z", "\xE4"}};
  for (auto [a, b] : ascending) {
    EXPECT_LT(Cmp(a, b), 0) << a << " < " << b;
    EXPECT_GT(Cmp(b, a), 0) << b << " > " << a;
  }
  EXPECT_EQ(Cmp("abc", "ABC"), 0);
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
  EXPECT_EQ(ItempCompare(d, Cells(std::string(65536, 'z')), Cells("a"), 0), 0);
  EXPECT_LT(ItempCompare(d, Cells(std::string(65535, 'a')), Cells("b"), 0), 0);
  EXPECT_EQ(d.Messages, (std::vector<std::string>(2, "Exception in Function ItempCompare")));
}

TEST(ItempCompare, ACellEndsAtItsFirstZeroByte) {
  using namespace std::string_literals;
  // Short cells and long ones: what follows a zero byte is not compared.
  EXPECT_EQ(Cmp("abc\0zzz"s, "ABC"), 0);
  EXPECT_EQ(Cmp("12\0x"s, "12"), 0);
  EXPECT_GT(Cmp("12\0x"s, "9"), 0);  // the number 12, not the text
  EXPECT_EQ(Cmp("seventeen letters\0tail"s, "SEVENTEEN LETTERS"), 0);
  EXPECT_LT(Cmp("\0z"s, "a"), 0);  // empty
}
