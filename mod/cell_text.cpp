#include "mod/cell_text.h"

#include <cstdint>

std::optional<std::string> Utf8ToLatin1(std::string_view Utf8, std::string* BadChar) {
  std::string out;
  out.reserve(Utf8.size());
  for (size_t i = 0; i < Utf8.size();) {
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
