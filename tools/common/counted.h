#pragma once
// "1 cell", "2 cells": a count with its noun in the right number.
#include <string>
#include <string_view>

inline std::string Counted(size_t N, std::string_view Singular, std::string_view Plural = {}) {
  std::string out = std::to_string(N) + " ";
  if (N == 1) out += Singular;
  else if (!Plural.empty()) out += Plural;
  else out.append(Singular).append("s");
  return out;
}
