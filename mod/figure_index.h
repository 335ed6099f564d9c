#pragma once
// Lookups the balance figures make by the thousand: names ignoring letter
// case (as the game matches them) and loaded entries by address. Both are
// open-addressing tables in one array each, so that filling one costs no
// allocation per name. A name index keeps only each name's hash and Id, 8
// bytes a slot; the caller holds the names and gives them back by Id.
#include <cstdint>
#include <string_view>
#include <vector>

#include "archive/ascii_case.h"

struct UnPacked;

class NameIndex {
 public:
  explicit NameIndex(size_t Expected = 0);
  // A hash of Name that names equal ignoring case share.
  static uint32_t HashOf(std::string_view Name);

  // Adds Id for Name, whose hash is Hash, unless a name equal to it ignoring
  // case is there; NameOf(I) gives the name of an Id I added before. Returns
  // the Id the name has now (the first one added wins).
  template <typename N>
  int Add(std::string_view Name, uint32_t Hash, int Id, N NameOf) {
    if ((Used_ + 1) * 2 > Slots_.size()) Grow();
    Slot& slot = Slots_[SlotOf(Name, Hash, NameOf)];
    if (slot.Id >= 0) return slot.Id;
    slot = {Hash, Id};
    ++Used_;
    return Id;
  }
  // The Id of Name (hash Hash), ignoring case; -1 when it was never added.
  template <typename N>
  int Find(std::string_view Name, uint32_t Hash, N NameOf) const {
    return Slots_[SlotOf(Name, Hash, NameOf)].Id;
  }
  template <typename N>
  int Find(std::string_view Name, N NameOf) const {
    return Find(Name, HashOf(Name), NameOf);
  }

 private:
  struct Slot {
    uint32_t Hash = 0;
    int32_t Id = -1;
  };
  // The slot of Name: the one holding it, or the empty one where it would go.
  template <typename N>
  size_t SlotOf(std::string_view Name, uint32_t Hash, N NameOf) const {
    const size_t mask = Slots_.size() - 1;
    for (size_t s = Hash & mask;; s = (s + 1) & mask) {
      const Slot& slot = Slots_[s];
      if (slot.Id < 0 || (slot.Hash == Hash && EqualIgnoringCase(NameOf(slot.Id), Name))) return s;
    }
  }
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
