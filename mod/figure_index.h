#pragma once
// Lookups the balance figures make by the thousand: names ignoring letter
// case (as the game matches them) and loaded entries by address. Both are
// open-addressing tables in one array each, so that filling one costs no
// allocation per name; the names are viewed, not copied, and must outlive
// the index.
#include <cstdint>
#include <string_view>
#include <vector>

struct UnPacked;

class NameIndex {
 public:
  explicit NameIndex(size_t Expected = 0);
  // Adds Name with Id unless a name equal to it ignoring case is there;
  // returns the Id the name has now (the first one added wins).
  int Add(std::string_view Name, int Id);
  // The Id of Name, ignoring case; -1 when it was never added.
  int Find(std::string_view Name) const;

 private:
  struct Slot {
    std::string_view Name;
    uint64_t Hash = 0;
    int Id = -1;
  };
  static uint64_t HashOf(std::string_view Name);
  size_t SlotOf(std::string_view Name, uint64_t Hash) const;
  void Grow();

  std::vector<Slot> Slots_;
  size_t Used_ = 0;
};

class EntryIndex {
 public:
  explicit EntryIndex(size_t Expected = 0);
  // Adds Entry with Id, or gives an entry added before the Id again.
  void Set(const UnPacked* Entry, int Id);
  // The Id of Entry; -1 when it was never added.
  int Find(const UnPacked* Entry) const;

 private:
  struct Slot {
    const UnPacked* Entry = nullptr;
    int Id = -1;
  };
  size_t SlotOf(const UnPacked* Entry) const;
  void Grow();

  std::vector<Slot> Slots_;
  size_t Used_ = 0;
};
