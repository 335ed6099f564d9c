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

namespace {

// Length of the valid UTF-8 sequence at the start of Text (2 to 4 bytes, no
// overlong forms, no surrogates, nothing above U+10FFFF), or 0.
size_t Utf8Length(std::string_view Text, uint32_t& Code) {
  const auto b = [&](size_t i) { return static_cast<unsigned char>(Text[i]); };
  const unsigned char lead = b(0);
  size_t length;
  if (lead >= 0xC2 && lead <= 0xDF) length = 2, Code = lead & 0x1F;
  else if (lead >= 0xE0 && lead <= 0xEF) length = 3, Code = lead & 0x0F;
  else if (lead >= 0xF0 && lead <= 0xF4) length = 4, Code = lead & 0x07;
  else return 0;
  if (Text.size() < length) return 0;
  for (size_t i = 1; i < length; ++i) {
    if ((b(i) & 0xC0) != 0x80) return 0;
    Code = (Code << 6) | (b(i) & 0x3F);
  }
  if ((length == 3 && (Code < 0x800 || (Code >= 0xD800 && Code <= 0xDFFF))) ||
      (length == 4 && (Code < 0x10000 || Code > 0x10FFFF)))
    return 0;
  return length;
}

}  // namespace

void AppendShownMessage(std::string& Out, std::string_view Text) {
  static const char kHex[] = "0123456789abcdef";
  for (size_t i = 0; i < Text.size();) {
    const auto c = static_cast<unsigned char>(Text[i]);
    if (c < 0x80) {
      if (c >= 0x20 && c != 0x7F) Out += static_cast<char>(c);
      else AppendControl(Out, c);
      ++i;
      continue;
    }
    uint32_t code = 0;
    const size_t length = Utf8Length(Text.substr(i), code);
    if (length == 0) {
      AppendControl(Out, c);  // \xHH for a byte that is not UTF-8
      ++i;
    } else if (code <= 0x9F) {
      Out += "\\u00";
      Out += kHex[code >> 4];
      Out += kHex[code & 0xF];
      i += length;
    } else {
      Out.append(Text, i, length);
      i += length;
    }
  }
}

bool ShownStreamBuffer::WriteLine(bool WithEnd) {
  std::string shown;
  shown.reserve(Line_.size() + 1);
  AppendShownMessage(shown, Line_);
  if (WithEnd) shown += '\n';
  Line_.clear();
  const auto size = static_cast<std::streamsize>(shown.size());
  if (Target_->sputn(shown.data(), size) != size) Failed_ = true;
  return !Failed_;
}

ShownStreamBuffer::int_type ShownStreamBuffer::overflow(int_type C) {
  if (traits_type::eq_int_type(C, traits_type::eof())) return traits_type::not_eof(C);
  const char c = traits_type::to_char_type(C);
  if (c == '\n') return WriteLine(true) ? C : traits_type::eof();
  Line_ += c;
  return C;
}

std::streamsize ShownStreamBuffer::xsputn(const char* Text, std::streamsize Count) {
  std::string_view rest(Text, static_cast<size_t>(Count));
  for (size_t end; (end = rest.find('\n')) != std::string_view::npos; rest.remove_prefix(end + 1)) {
    Line_.append(rest.substr(0, end));
    if (!WriteLine(true)) return 0;
  }
  Line_.append(rest);
  return Count;
}

int ShownStreamBuffer::sync() {
  if (!Line_.empty() && !WriteLine(false)) return -1;
  return Target_->pubsync() == 0 && !Failed_ ? 0 : -1;
}

}  // namespace hpitool
