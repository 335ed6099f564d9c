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

UnPacked& AllUnpacked::NextSlot() {
  if (Count >= kCapacity) throw ListFull();
  auto& slot = Files[Count];
  if (slot)
    *slot = UnPacked{};
  else
    slot = std::make_unique<UnPacked>();
  return *slot;
}

void AllUnpacked::Remove(int Pos) {
  if (Pos < 0 || Pos >= Count) return;
  std::unique_ptr<UnPacked> removed = std::move(Files[Pos]);
  for (int i = Pos; i + 1 < Count; ++i) Files[i] = std::move(Files[i + 1]);
  --Count;
  if (Pos < BuiltCount) --BuiltCount;
  // `removed` releases the entry and its buffer here.
}

void AllUnpacked::Clear() {
  for (int i = 0; i < Count; ++i) Files[i].reset();
  Count = 0;
  BuiltCount = 0;
}
