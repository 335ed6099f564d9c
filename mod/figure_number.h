#pragma once
// Numbers of the balance figures: reading a definition's value as a number,
// and writing a figure the same way every time.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace figure_number_detail {
extern const double kPowersOfTen[16];
// The number in [Begin, End) as the C library reads it, negated when asked:
// empty unless all of it is read and finite.
std::optional<double> ReadFully(const char* Begin, const char* End, bool Negative);
}  // namespace figure_number_detail

// The value as a finite number: blanks and tabs around it, one leading "+"
// or "-", decimal digits with an optional point and exponent; nothing else
// may follow. Empty when the value is not such a number. Read by the
// thousand when the figures are worked out, so the usual case is inline.
inline std::optional<double> ParseFigureNumber(std::string_view Value) {
  const char* p = Value.data();
  const char* end = p + Value.size();
  while (p != end && (*p == ' ' || *p == '\t')) ++p;
  while (end != p && (end[-1] == ' ' || end[-1] == '\t')) --end;
  bool negative = false;
  if (p != end && (*p == '+' || *p == '-')) {
    negative = *p == '-';
    ++p;
  }
  // The C library also reads "inf" and "nan": only digits or a point may start.
  if (p == end || !((*p >= '0' && *p <= '9') || *p == '.')) return std::nullopt;
  // Most values are a few digits with perhaps a point among them. With at
  // most 15 digits both the digits as a whole number and the power of ten
  // are exact doubles, so one division rounds as reading the text exactly
  // does. Anything else (an exponent, more digits, no digit) is read in full.
  uint64_t digits = 0;  // wraps harmlessly past 19 digits: more than 15 are read in full
  int count = 0;
  const char* point = nullptr;
  const char* q = p;
  for (; q != end; ++q) {
    const unsigned d = static_cast<unsigned>(static_cast<unsigned char>(*q)) - '0';
    if (d <= 9) {
      digits = digits * 10 + d;
      ++count;
    } else if (*q == '.' && !point) {
      point = q;
    } else {
      break;
    }
  }
  if (q != end || count == 0 || count > 15) return figure_number_detail::ReadFully(p, end, negative);
  const double v = static_cast<double>(digits) / figure_number_detail::kPowersOfTen[point ? end - point - 1 : 0];
  return negative ? -v : v;
}

// A figure as the tables show it, independent of the locale: plain decimal
// notation (never an exponent), rounded to two decimals, or to three
// significant digits when the value is below 1, trailing zeros and a trailing
// point dropped, and no "-0". 80 -> "80", 100/3 -> "33.33", 1/400 -> "0.0025".
std::string FormatFigure(double Value);
