#include "mod/figure_index.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace {

// Slots for Expected names, at most half of them in use.
size_t SlotsFor(size_t Expected) { return std::bit_ceil(std::max<size_t>(16, Expected * 2)); }

}  // namespace

NameIndex::NameIndex(size_t Expected) : Slots_(SlotsFor(Expected)) {}

uint32_t NameIndex::HashOf(std::string_view Name) {
  // Eight bytes at a time, each with its 0x20 bit set: a letter hashes the
  // same in either case (some other bytes do too, which the comparison of
  // the names tells apart).
  constexpr uint64_t kCase = 0x2020202020202020ull;
  auto mix = [](uint64_t H, uint64_t W) {
    H = (H ^ W) * 0xBF58476D1CE4E5B9ull;
    return H ^ (H >> 29);
  };
  const char* p = Name.data();
  const size_t n = Name.size();
  uint64_t h = (n + 1) * 0x9E3779B97F4A7C15ull;
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    uint64_t w;
    std::memcpy(&w, p + i, 8);
    h = mix(h, w | kCase);
  }
  // The last one to seven bytes without a copy of variable length: four and
  // four that may overlap, or the first, middle and last of up to three (the
  // length, mixed in above, tells the cases apart).
  if (const size_t rest = n - i; rest >= 4) {
    uint32_t first, last;
    std::memcpy(&first, p + i, 4);
    std::memcpy(&last, p + n - 4, 4);
    h = mix(h, (first | uint64_t{last} << 32) | kCase);
  } else if (rest > 0) {
    const uint64_t w = static_cast<unsigned char>(p[i]) | uint64_t{static_cast<unsigned char>(p[i + rest / 2])} << 8 |
                       uint64_t{static_cast<unsigned char>(p[n - 1])} << 16;
    h = mix(h, w | kCase);
  }
  // Every bit of the name reaches the low bits, which place the slot.
  h ^= h >> 33;
  h *= 0xFF51AFD7ED558CCDull;
  h ^= h >> 33;
  return static_cast<uint32_t>(h);
}

void NameIndex::Grow() {
  // Only the hashes move: a slot's place follows from its hash alone, and
  // no two slots hold names equal ignoring case.
  std::vector<Slot> old(Slots_.size() * 2);
  old.swap(Slots_);
  const size_t mask = Slots_.size() - 1;
  for (const Slot& s : old) {
    if (s.Id < 0) continue;
    size_t at = s.Hash & mask;
    while (Slots_[at].Id >= 0) at = (at + 1) & mask;
    Slots_[at] = s;
  }
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
