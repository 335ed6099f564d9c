#pragma once
// Numbers of the balance figures: reading a definition's value as a number,
// and writing a figure the same way every time.
#include <optional>
#include <string>
#include <string_view>

// The value as a finite number: blanks and tabs around it, one leading "+"
// or "-", decimal digits with an optional point and exponent; nothing else
// may follow. Empty when the value is not such a number.
std::optional<double> ParseFigureNumber(std::string_view Value);

// A figure as the tables show it, independent of the locale: plain decimal
// notation (never an exponent), rounded to two decimals, or to three
// significant digits when the value is below 1, trailing zeros and a trailing
// point dropped, and no "-0". 80 -> "80", 100/3 -> "33.33", 1/400 -> "0.0025".
std::string FormatFigure(double Value);
