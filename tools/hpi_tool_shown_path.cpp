#include "hpi_tool_shown_path.h"

namespace hpitool {

namespace {

bool IsControl(unsigned char C) { return C < 0x20 || (C >= 0x7F && C <= 0x9F); }

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
  // Runs without a control byte are copied whole.
  size_t from = 0;
  for (size_t i = 0; i < Text.size(); ++i) {
    const auto c = static_cast<unsigned char>(Text[i]);
    if (static_cast<unsigned char>(c - 0x20) < 0x5F || !IsControl(c)) continue;  // printable ASCII first
    Out.append(Text, from, i - from);
    AppendControl(Out, c);
    from = i + 1;
  }
  Out.append(Text, from);
}

}  // namespace hpitool
