#pragma once
// What a spreadsheet's cell means against a definition's 8-bit value: the
// cell's UTF-8 turned back into Latin-1 bytes, and numbers a spreadsheet
// rewrote (1.50 for 1.5, 010 for 10) taken as the same value.
#include <optional>
#include <string>
#include <string_view>

// The Latin-1 bytes of UTF-8 text; nullopt when it is not valid UTF-8 or holds
// a character above U+00FF (BadChar then holds that character's UTF-8, or the
// first invalid byte).
std::optional<std::string> Utf8ToLatin1(std::string_view Utf8, std::string* BadChar = nullptr);

// S without the blanks and tabs around it.
std::string_view TrimBlanks(std::string_view S);

// Whether A and B are both plain decimal numbers (sign, digits, a point,
// an exponent; blanks and tabs around them allowed) of exactly the same value.
bool SameNumber(std::string_view A, std::string_view B);

// What a spreadsheet's locale may have done to a number: Old is the value a
// definition holds, New what the table brings back.
enum class LocaleDamage {
  None,
  // Old is a plain number and New one written with a decimal comma or a
  // thousands separator (1,1  1,172  1 172  1.172.000), which the game does
  // not read as that number.
  Separator,
  // New is Old with its decimal point dropped (2.175 -> 2175, 0.015 -> 15):
  // read where "." separates thousands.
  PointDropped,
};
LocaleDamage FindLocaleDamage(std::string_view Old, std::string_view New);
