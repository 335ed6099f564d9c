#include "tools/common/shown_path.h"

#include <cstdint>
#include <cstring>

namespace hpitool {

namespace {

bool IsControl(unsigned char C) { return C < 0x20 || (C >= 0x7F && C <= 0x9F); }

// Whether each of the eight bytes of Eight lies in 0x20 to 0x7E: no byte is
// below 0x20 (subtracting 0x20 borrows into its top bit) and none above 0x7E
// (adding 1 carries into its top bit, or the top bit is set already).
bool PrintableAscii(uint64_t Eight) {
  constexpr uint64_t kOnes = 0x0101010101010101ull, kTops = 0x8080808080808080ull;
  const uint64_t below = (Eight - kOnes * 0x20) & ~Eight & kTops;
  const uint64_t above = ((Eight + kOnes) | Eight) & kTops;
  return (below | above) == 0;
}

void AppendControl(std::string& Out, unsigned char C) {
  static const char kHex[] = "0123456789abcdef";
  switch (C) {
    case '\n': Out += "\\n"; break;
    case '\t': Out += "\\t"; break;
    case '\r': Out += "\\r"; break;
    default:
      Out += "\\x";
      Out += kHex[C >> 4];
      Out += kHex[C & 0xF];
  }
}

}  // namespace

std::string ShownPath(std::string_view Path) {
  bool plain = Path.substr(0, 2) != "$'";
  for (char c : Path) plain = plain && !IsControl(static_cast<unsigned char>(c));
  if (plain) return std::string(Path);
  std::string shown = "$'";
  for (char c : Path) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '\\' || c == '\'') {
      shown += '\\';
      shown += c;
    } else if (IsControl(u)) {
      AppendControl(shown, u);
    } else {
      shown += c;
    }
  }
  shown += '\'';
  return shown;
}

std::string ShownText(std::string_view Text) {
  std::string shown;
  shown.reserve(Text.size());
  AppendShownText(shown, Text);
  return shown;
}

void AppendShownText(std::string& Out, std::string_view Text) {
  // Runs without a control byte are copied whole; they are passed over eight
  // bytes at a time while all eight are printable ASCII.
  size_t from = 0, i = 0;
  while (i < Text.size()) {
    if (i + 8 <= Text.size()) {
      uint64_t eight;
      std::memcpy(&eight, Text.data() + i, 8);
      if (PrintableAscii(eight)) {
        i += 8;
        continue;
      }
    }
    const auto c = static_cast<unsigned char>(Text[i]);
    if (IsControl(c)) {
      Out.append(Text, from, i - from);
      AppendControl(Out, c);
      from = i + 1;
    }
    ++i;
  }
  Out.append(Text, from);
}

}  // namespace hpitool
