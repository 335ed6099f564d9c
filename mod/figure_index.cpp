#include "mod/figure_index.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "archive/ascii_case.h"

namespace {

// Slots for Expected names, at most half of them in use.
size_t SlotsFor(size_t Expected) { return std::bit_ceil(std::max<size_t>(16, Expected * 2)); }

}  // namespace

NameIndex::NameIndex(size_t Expected) : Slots_(SlotsFor(Expected)) {}

uint64_t NameIndex::HashOf(std::string_view Name) {
  // Eight bytes at a time, each with its 0x20 bit set: a letter hashes the
  // same in either case (some other bytes do too, which the comparison of
  // the names tells apart).
  constexpr uint64_t kCase = 0x2020202020202020ull;
  auto mix = [](uint64_t H, uint64_t W) {
    H = (H ^ W) * 0xBF58476D1CE4E5B9ull;
    return H ^ (H >> 29);
  };
  uint64_t h = (Name.size() + 1) * 0x9E3779B97F4A7C15ull;
  size_t i = 0;
  for (; i + 8 <= Name.size(); i += 8) {
    uint64_t w;
    std::memcpy(&w, Name.data() + i, 8);
    h = mix(h, w | kCase);
  }
  if (i < Name.size()) {
    uint64_t w = 0;
    std::memcpy(&w, Name.data() + i, Name.size() - i);
    h = mix(h, w | kCase);
  }
  return h ^ (h >> 32);
}

size_t NameIndex::SlotOf(std::string_view Name, uint64_t Hash) const {
  const size_t mask = Slots_.size() - 1;
  for (size_t s = Hash & mask;; s = (s + 1) & mask) {
    const Slot& slot = Slots_[s];
    if (slot.Id < 0 || (slot.Hash == Hash && EqualIgnoringCase(slot.Name, Name))) return s;
  }
}

int NameIndex::Add(std::string_view Name, int Id) {
  if ((Used_ + 1) * 2 > Slots_.size()) Grow();
  const uint64_t h = HashOf(Name);
  Slot& slot = Slots_[SlotOf(Name, h)];
  if (slot.Id >= 0) return slot.Id;
  slot = {Name, h, Id};
  ++Used_;
  return Id;
}

int NameIndex::Find(std::string_view Name) const { return Slots_[SlotOf(Name, HashOf(Name))].Id; }

void NameIndex::Grow() {
  std::vector<Slot> old(Slots_.size() * 2);
  old.swap(Slots_);
  for (const Slot& s : old)
    if (s.Id >= 0) Slots_[SlotOf(s.Name, s.Hash)] = s;
}

EntryIndex::EntryIndex(size_t Expected) : Slots_(SlotsFor(Expected)) {}

size_t EntryIndex::SlotOf(const UnPacked* Entry) const {
  const size_t mask = Slots_.size() - 1;
  // Entries are heap objects: the low bits say little, a multiply spreads the rest.
  const auto h = static_cast<size_t>((reinterpret_cast<uintptr_t>(Entry) >> 4) * 0x9E3779B97F4A7C15ull >> 17);
  for (size_t s = h & mask;; s = (s + 1) & mask)
    if (Slots_[s].Entry == Entry || Slots_[s].Entry == nullptr) return s;
}

void EntryIndex::Set(const UnPacked* Entry, int Id) {
  if (!Entry) return;
  if ((Used_ + 1) * 2 > Slots_.size()) Grow();
  Slot& slot = Slots_[SlotOf(Entry)];
  if (!slot.Entry) ++Used_;
  slot = {Entry, Id};
}

int EntryIndex::Find(const UnPacked* Entry) const {
  if (!Entry) return -1;
  return Slots_[SlotOf(Entry)].Id;
}

void EntryIndex::Grow() {
  std::vector<Slot> old(Slots_.size() * 2);
  old.swap(Slots_);
  for (const Slot& s : old)
    if (s.Entry) Slots_[SlotOf(s.Entry)] = s;
}
