#include "mod/figure_number.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <utility>

namespace {

// Value written with two decimals, trailing zeros dropped, when that can be
// done with whole numbers: the value times 100 is far enough from a half
// that its rounding error cannot change the rounded digits. Empty otherwise.
std::optional<std::string> TwoDecimals(double Value) {
  const double scaled = Value * 100;
  if (!(std::fabs(scaled) < 1e12)) return std::nullopt;
  const double rounded = std::nearbyint(scaled);
  if (std::fabs(std::fabs(scaled - rounded) - 0.5) < 0.01) return std::nullopt;
  const auto hundredths = static_cast<int64_t>(std::fabs(rounded));
  // Written from the back: the decimals, the whole number, the sign.
  char buffer[24];
  char* p = buffer + sizeof buffer;
  if (const int64_t rest = hundredths % 100; rest != 0) {
    if (rest % 10 != 0) *--p = static_cast<char>('0' + rest % 10);
    *--p = static_cast<char>('0' + rest / 10);
    *--p = '.';
  }
  int64_t whole = hundredths / 100;
  do {
    *--p = static_cast<char>('0' + whole % 10);
    whole /= 10;
  } while (whole != 0);
  if (hundredths != 0 && Value < 0) *--p = '-';
  return std::string(p, buffer + sizeof buffer);
}

}  // namespace

namespace figure_number_detail {

const double kPowersOfTen[16] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};

std::optional<double> ReadFully(const char* Begin, const char* End, bool Negative) {
  double v = 0;
  const auto [last, error] = std::from_chars(Begin, End, v);
  if (error != std::errc() || last != End || !std::isfinite(v)) return std::nullopt;
  return Negative ? -v : v;
}

}  // namespace figure_number_detail

std::string FormatFigure(double Value) {
  if (!std::isfinite(Value)) return "";
  // Decimals: two, or enough for three significant digits below 1.
  int decimals = 2;
  const double magnitude = std::fabs(Value);
  if (magnitude > 0 && magnitude < 1) decimals = std::min(12, 2 - static_cast<int>(std::floor(std::log10(magnitude))));
  if (decimals == 2)
    if (std::optional<std::string> quick = TwoDecimals(Value)) return std::move(*quick);
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
