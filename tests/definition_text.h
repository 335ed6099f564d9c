#pragma once
// Definition files as the game writes them, for the tests: lines ending in CR LF.
#include <string>
#include <vector>

inline std::string Crlf(const std::vector<std::string>& Lines) {
  std::string s;
  for (const std::string& l : Lines) s += l + "\r\n";
  return s;
}
