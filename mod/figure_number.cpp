#include "mod/figure_number.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdint>

namespace {

constexpr double kPowersOfTen[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};

// Most values are a few digits with perhaps a point among them. With at most
// 15 digits both the digits as a whole number and the power of ten are exact
// doubles, so one division rounds as reading the text exactly does; empty
// for anything else (an exponent, more digits, no digit), which the full
// reader takes.
std::optional<double> PlainDecimal(std::string_view Text) {
  uint64_t digits = 0;
  int count = 0, decimals = 0;
  bool point = false;
  for (char c : Text) {
    if (c >= '0' && c <= '9') {
      if (++count > 15) return std::nullopt;
      digits = digits * 10 + static_cast<uint64_t>(c - '0');
      decimals += point;
    } else if (c == '.' && !point) {
      point = true;
    } else {
      return std::nullopt;
    }
  }
  if (count == 0) return std::nullopt;
  return static_cast<double>(digits) / kPowersOfTen[decimals];
}

// Value written with two decimals, trailing zeros dropped, when that can be
// done with whole numbers: the value times 100 is far enough from a half
// that its rounding error cannot change the rounded digits. Empty otherwise.
std::optional<std::string> TwoDecimals(double Value) {
  const double scaled = Value * 100;
  if (!(std::fabs(scaled) < 1e12)) return std::nullopt;
  const double rounded = std::nearbyint(scaled);
  if (std::fabs(std::fabs(scaled - rounded) - 0.5) < 0.01) return std::nullopt;
  const auto hundredths = static_cast<int64_t>(std::fabs(rounded));
  std::string text = hundredths != 0 && Value < 0 ? "-" : "";
  text += std::to_string(hundredths / 100);
  if (const int64_t rest = hundredths % 100; rest != 0) {
    text += '.';
    text += static_cast<char>('0' + rest / 10);
    if (rest % 10 != 0) text += static_cast<char>('0' + rest % 10);
  }
  return text;
}

}  // namespace

std::optional<double> ParseFigureNumber(std::string_view Value) {
  auto blank = [](char C) { return C == ' ' || C == '\t'; };
  while (!Value.empty() && blank(Value.front())) Value.remove_prefix(1);
  while (!Value.empty() && blank(Value.back())) Value.remove_suffix(1);
  bool negative = false;
  if (!Value.empty() && (Value.front() == '+' || Value.front() == '-')) {
    negative = Value.front() == '-';
    Value.remove_prefix(1);
  }
  // from_chars also reads "inf" and "nan": only digits or a point may start.
  if (Value.empty() || !(std::isdigit(static_cast<unsigned char>(Value.front())) || Value.front() == '.'))
    return std::nullopt;
  if (const std::optional<double> plain = PlainDecimal(Value)) return negative ? -*plain : *plain;
  double v = 0;
  const auto [end, error] = std::from_chars(Value.data(), Value.data() + Value.size(), v);
  if (error != std::errc() || end != Value.data() + Value.size() || !std::isfinite(v)) return std::nullopt;
  return negative ? -v : v;
}

std::string FormatFigure(double Value) {
  if (!std::isfinite(Value)) return "";
  // Decimals: two, or enough for three significant digits below 1.
  int decimals = 2;
  const double magnitude = std::fabs(Value);
  if (magnitude > 0 && magnitude < 1) decimals = std::min(12, 2 - static_cast<int>(std::floor(std::log10(magnitude))));
  if (decimals == 2)
    if (std::optional<std::string> quick = TwoDecimals(Value)) return *quick;
  char buffer[400];
  const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, Value, std::chars_format::fixed, decimals);
  if (error != std::errc()) return "";
  std::string text(buffer, end);
  if (text.find('.') != std::string::npos) {
    while (text.back() == '0') text.pop_back();
    if (text.back() == '.') text.pop_back();
  }
  if (text == "-0") text = "0";
  return text;
}
