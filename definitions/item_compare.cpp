#include "definitions/item_compare.h"

#include <cstring>
#include <optional>
#include <stdexcept>
#include <string_view>

namespace {

constexpr size_t kMaxCellLength = 65535;

int HexDigit(char C) {
  if (C >= '0' && C <= '9') return C - '0';
  if (C >= 'a' && C <= 'f') return C - 'a' + 10;
  if (C >= 'A' && C <= 'F') return C - 'A' + 10;
  return -1;
}

// The text ends at its first zero byte, as a cell copied into a C buffer does.
std::string_view CellText(std::string_view S) {
  if (S.size() > kMaxCellLength) throw std::length_error("cell too long");
  if (S.size() > 16) return S.substr(0, S.find('\0'));
  for (size_t i = 0; i < S.size(); ++i)  // most cells: shorter than a call to search them
    if (S[i] == '\0') return S.substr(0, i);
  return S;
}

}  // namespace

std::optional<int32_t> ParseWholeNumber(std::string_view Text) {
  size_t i = 0;
  while (i < Text.size() && Text[i] == ' ') ++i;
  if (i == Text.size()) return std::nullopt;
  if (Text[i] == '$') {
    ++i;
    if (i == Text.size()) return std::nullopt;
    uint32_t value = 0;
    int significant = 0;
    for (; i < Text.size(); ++i) {
      int d = HexDigit(Text[i]);
      if (d < 0) return std::nullopt;
      if (significant > 0 || d != 0) ++significant;
      if (significant > 8) return std::nullopt;
      value = (value << 4) | static_cast<uint32_t>(d);
    }
    return static_cast<int32_t>(value);
  }
  bool negative = false;
  if (Text[i] == '-' || Text[i] == '+') {
    negative = Text[i] == '-';
    ++i;
  }
  if (i == Text.size()) return std::nullopt;
  int64_t value = 0;
  for (; i < Text.size(); ++i) {
    char c = Text[i];
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
    if (value > 2147483648LL) return std::nullopt;
  }
  if (negative) value = -value;
  if (value > 2147483647LL) return std::nullopt;
  return static_cast<int32_t>(value);
}

ItempKey ItempKeyOf(const Row& R, uint16_t Column) {
  ItempKey key;
  try {
    key.Text = CellText(Column == 0 ? std::string_view(R.Caption) : R.SubItem(Column - 1u));
    key.Number = ParseWholeNumber(key.Text);
  } catch (const std::exception&) {
    key = ItempKey{};
    key.Failed = true;
  }
  return key;
}

int ItempCompareKeys(Dialogs& D, const ItempKey& First, const ItempKey& Second) {
  if (First.Failed || Second.Failed) {
    D.ShowMessage("Exception in Function ItempCompare");
    return 0;
  }
  return ItempCompareReadKeys(First, Second);
}

int ItempCompare(Dialogs& D, const Row& First, const Row& Second, uint16_t Column) {
  return ItempCompareKeys(D, ItempKeyOf(First, Column), ItempKeyOf(Second, Column));
}
