#include "mod/figure_number.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>

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
