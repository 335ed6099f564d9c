#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mod/figure_index.h"

// Names of every length from 0 to 20 (the hash reads them in words and in
// tails of one to seven bytes), each again in other letter cases and with
// bytes whose case bit differs but which are no letters ("@" and "`", "["
// and "{"): the index grows from room for a few to thousands of names.
TEST(NameIndex, NamesEqualIgnoringCaseAndNoOthers) {
  std::vector<std::string> names;
  for (int n = 0; n < 300; ++n)
    for (size_t length = 0; length <= 20; ++length) {
      std::string name;
      for (size_t i = 0; i < length; ++i) name += static_cast<char>("abcdefghijklmnopqrstuvwxyz@[0123456789"[(n * 7 + i * 13 + n / 38 * i) % 38]);
      names.push_back(name);
    }
  // Some again in capitals: they must find the Id of their first spelling.
  for (size_t i = 0; i < names.size(); i += 5) {
    std::string upper = names[i];
    for (char& c : upper) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    names.push_back(upper);
  }
  NameIndex index(4);
  std::vector<std::string> held, heldFolded;  // the first of each name ignoring case, by Id
  auto nameOf = [&](int Id) { return std::string_view(held[static_cast<size_t>(Id)]); };
  auto folded = [](std::string S) {
    for (char& c : S) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    return S;
  };
  std::vector<int> idOf(names.size());
  for (size_t i = 0; i < names.size(); ++i) {
    // Independent answer: the first earlier name equal ignoring case.
    int want = -1;
    const std::string f = folded(names[i]);
    for (size_t k = 0; k < held.size() && want < 0; ++k)
      if (heldFolded[k] == f) want = static_cast<int>(k);
    const int id = index.Add(names[i], NameIndex::HashOf(names[i]), static_cast<int>(held.size()), nameOf);
    if (want < 0) {
      ASSERT_EQ(id, static_cast<int>(held.size())) << names[i];
      held.push_back(names[i]);
      heldFolded.push_back(f);
    } else {
      ASSERT_EQ(id, want) << names[i];
    }
    idOf[i] = id;
  }
  for (size_t i = 0; i < names.size(); ++i) {
    std::string upper = names[i], swapped = names[i];
    for (char& c : upper) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    // "@" and "[" hash as "`" and "{" do, but are other names.
    for (char& c : swapped) c = c == '@' ? '`' : c == '[' ? '{' : c;
    EXPECT_EQ(index.Find(upper, nameOf), idOf[i]) << upper;
    if (swapped != names[i]) {
      EXPECT_EQ(index.Find(swapped, nameOf), -1) << swapped;
    }
  }
  EXPECT_EQ(index.Find("not added", nameOf), -1);
}
