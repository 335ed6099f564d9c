#include "archive/file_lists.h"

#include <cstring>

void UnPacked::SetContents(const char* Data, int32_t Size) {
  Contents.reset();
  PFileSize = Size;
  if (Size > 0) {
    Contents = std::make_unique_for_overwrite<char[]>(static_cast<size_t>(Size));
    std::memcpy(Contents.get(), Data, static_cast<size_t>(Size));
  }
}

AllUnpacked::AllUnpacked(int Capacity) : Capacity(Capacity) {
  if (Capacity <= kCapacity) Files.reserve(static_cast<size_t>(Capacity));
}

UnPacked& AllUnpacked::NextSlot() {
  if (Count >= Capacity) throw ListFull();
  if (static_cast<size_t>(Count) == Files.size()) Files.emplace_back();
  auto& slot = Files[static_cast<size_t>(Count)];
  if (slot)
    *slot = UnPacked{};
  else
    slot = std::make_unique<UnPacked>();
  return *slot;
}

void AllUnpacked::Remove(int Pos) {
  if (Pos < 0 || Pos >= Count) return;
  // Erasing releases the entry and its buffer; later entries move down by one
  // position and keep their addresses.
  Files.erase(Files.begin() + Pos);
  --Count;
  if (Pos < BuiltCount) --BuiltCount;
}

void AllUnpacked::Clear() {
  Files.clear();
  Count = 0;
  BuiltCount = 0;
}
