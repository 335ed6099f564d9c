#include <gtest/gtest.h>

#include "archive/file_lists.h"

TEST(FileLists, RemoveKeepsOrderAddressesAndBuiltCount) {
  AllUnpacked list;
  std::vector<UnPacked*> added;
  for (int i = 0; i < 5; ++i) {
    UnPacked& e = list.NextSlot();
    e.UnPackedFile = "f" + std::to_string(i);
    e.SetContents("abc", 3);
    list.CommitSlot();
    added.push_back(&e);
  }
  list.BuiltCount = 3;
  list.Remove(1);
  ASSERT_EQ(list.Count, 4);
  EXPECT_EQ(list.BuiltCount, 2);
  EXPECT_EQ(&list[1], added[2]);  // moved down, same entry
  EXPECT_EQ(list[3].UnPackedFile, "f4");
  list.Remove(3);  // above BuiltCount
  EXPECT_EQ(list.BuiltCount, 2);
  list.Clear();
  EXPECT_EQ(list.Count, 0);
  EXPECT_EQ(list.BuiltCount, 0);
}

TEST(FileLists, RefusesEntryBeyondCapacity) {
  AllUnpacked list;
  for (int i = 0; i < AllUnpacked::kCapacity; ++i) {
    list.NextSlot();
    list.CommitSlot();
  }
  EXPECT_EQ(list.Count, 2049);
  EXPECT_THROW(list.NextSlot(), ListFull);
}
