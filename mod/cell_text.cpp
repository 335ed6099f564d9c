#include "mod/cell_text.h"

#include <cstdint>

std::optional<std::string> Utf8ToLatin1(std::string_view Utf8, std::string* BadChar) {
  // Text is mostly ASCII, which stands for itself: taken in one piece.
  size_t ascii = 0;
  while (ascii < Utf8.size() && static_cast<unsigned char>(Utf8[ascii]) < 0x80) ++ascii;
  std::string out;
  out.reserve(Utf8.size());
  out.append(Utf8.substr(0, ascii));
  for (size_t i = ascii; i < Utf8.size();) {
    const auto c = static_cast<unsigned char>(Utf8[i]);
    if (c < 0x80) {
      out += static_cast<char>(c);
      ++i;
      continue;
    }
    // The length of the sequence this byte starts, and whether it is whole.
    size_t n = c >= 0xF0 && c < 0xF8 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
    bool whole = n > 1 && i + n <= Utf8.size();
    for (size_t k = 1; whole && k < n; ++k) whole = (static_cast<unsigned char>(Utf8[i + k]) & 0xC0) == 0x80;
    if (!whole) {
      if (BadChar) *BadChar = std::string(Utf8.substr(i, 1));
      return std::nullopt;
    }
    if (n == 2 && c <= 0xC3 && c >= 0xC2) {
      out += static_cast<char>(((c & 0x1F) << 6) | (static_cast<unsigned char>(Utf8[i + 1]) & 0x3F));
      i += 2;
      continue;
    }
    if (BadChar) *BadChar = std::string(Utf8.substr(i, n));
    return std::nullopt;
  }
  return out;
}

namespace {

// A number as its digits without leading or trailing zeros, the power of ten
// of its last digit, and its sign; "0" in any spelling is empty digits.
struct Decimal {
  bool Negative = false;
  std::string Digits;
  int64_t Exponent = 0;
};

bool ParseDecimal(std::string_view S, Decimal& D) {
  S = TrimBlanks(S);
  size_t i = 0;
  if (i < S.size() && (S[i] == '+' || S[i] == '-')) D.Negative = S[i++] == '-';
  bool anyDigit = false, point = false;
  int64_t fraction = 0;
  for (; i < S.size(); ++i) {
    const char c = S[i];
    if (c >= '0' && c <= '9') {
      anyDigit = true;
      if (point) ++fraction;
      if (!(D.Digits.empty() && c == '0')) D.Digits += c;
      else if (point) continue;  // a leading zero after the point only moves the exponent
    } else if (c == '.' && !point) {
      point = true;
    } else {
      break;
    }
  }
  if (!anyDigit) return false;
  int64_t exponent = 0;
  if (i < S.size() && (S[i] == 'e' || S[i] == 'E')) {
    ++i;
    bool negative = false;
    if (i < S.size() && (S[i] == '+' || S[i] == '-')) negative = S[i++] == '-';
    if (i == S.size()) return false;
    for (; i < S.size(); ++i) {
      if (S[i] < '0' || S[i] > '9' || exponent > 100000000) return false;
      exponent = exponent * 10 + (S[i] - '0');
    }
    if (negative) exponent = -exponent;
  }
  if (i != S.size()) return false;
  D.Exponent = exponent - fraction;
  while (!D.Digits.empty() && D.Digits.back() == '0') {
    D.Digits.pop_back();
    ++D.Exponent;
  }
  if (D.Digits.empty()) {  // zero, whatever its sign and spelling
    D.Negative = false;
    D.Exponent = 0;
  }
  return true;
}

}  // namespace

bool SameNumber(std::string_view A, std::string_view B) {
  Decimal a, b;
  if (!ParseDecimal(A, a) || !ParseDecimal(B, b)) return false;
  return a.Negative == b.Negative && a.Digits == b.Digits && a.Exponent == b.Exponent;
}

std::string_view TrimBlanks(std::string_view S) {
  while (!S.empty() && (S.front() == ' ' || S.front() == '\t')) S.remove_prefix(1);
  while (!S.empty() && (S.back() == ' ' || S.back() == '\t')) S.remove_suffix(1);
  return S;
}

namespace {

bool IsDigit(char C) { return C >= '0' && C <= '9'; }

// Sign, digits and at most one point, with a digit somewhere: a number as the
// game's definitions write them.
bool IsPlainNumber(std::string_view S) {
  S = TrimBlanks(S);
  if (!S.empty() && (S.front() == '+' || S.front() == '-')) S.remove_prefix(1);
  bool digit = false, point = false;
  for (char c : S) {
    if (IsDigit(c)) digit = true;
    else if (c == '.' && !point) point = true;
    else return false;
  }
  return digit;
}

// The digits of a number without its sign, point and leading zeros.
std::string DigitsOf(std::string_view S) {
  std::string d;
  for (char c : S)
    if (IsDigit(c) && !(d.empty() && c == '0')) d += c;
  return d;
}

}  // namespace

LocaleDamage FindLocaleDamage(std::string_view Old, std::string_view New) {
  Old = TrimBlanks(Old);
  New = TrimBlanks(New);
  if (!IsPlainNumber(Old) || New.empty()) return LocaleDamage::None;
  const bool oldNegative = Old.front() == '-', newNegative = New.front() == '-';
  std::string_view body = New;
  if (body.front() == '+' || body.front() == '-') body.remove_prefix(1);
  if (!IsPlainNumber(New)) {
    // Digits with commas, blanks (a no-break space too) or several points
    // between them.
    if (body.empty() || !IsDigit(body.front()) || !IsDigit(body.back())) return LocaleDamage::None;
    for (char c : body)
      if (!IsDigit(c) && c != ',' && c != '.' && c != ' ' && c != '\xA0') return LocaleDamage::None;
    return LocaleDamage::Separator;
  }
  const size_t point = Old.find('.');
  if (point == std::string_view::npos || point + 1 == Old.size() || body.find('.') != std::string_view::npos)
    return LocaleDamage::None;
  const std::string digits = DigitsOf(Old);
  return oldNegative == newNegative && !digits.empty() && digits == DigitsOf(body) ? LocaleDamage::PointDropped
                                                                                    : LocaleDamage::None;
}
