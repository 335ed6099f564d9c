#include "hpi_tool_shown_path.h"

namespace hpitool {

namespace {

bool IsControl(unsigned char C) { return C < 0x20 || (C >= 0x7F && C <= 0x9F); }

}  // namespace

std::string ShownPath(std::string_view Path) {
  bool plain = Path.substr(0, 2) != "$'";
  for (char c : Path) plain = plain && !IsControl(static_cast<unsigned char>(c));
  if (plain) return std::string(Path);
  static const char kHex[] = "0123456789abcdef";
  std::string shown = "$'";
  for (char c : Path) {
    const auto u = static_cast<unsigned char>(c);
    switch (c) {
      case '\n': shown += "\\n"; break;
      case '\t': shown += "\\t"; break;
      case '\r': shown += "\\r"; break;
      case '\\': shown += "\\\\"; break;
      case '\'': shown += "\\'"; break;
      default:
        if (IsControl(u)) {
          shown += "\\x";
          shown += kHex[u >> 4];
          shown += kHex[u & 0xF];
        } else {
          shown += c;
        }
    }
  }
  shown += '\'';
  return shown;
}

}  // namespace hpitool
