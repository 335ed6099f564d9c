#pragma once
// Case-insensitive comparisons of names and paths fold only the letters A to Z;
// every other byte must be equal as it is (texts are 8-bit, no code page).
#include <string>
#include <string_view>

inline char FoldAscii(char C) { return (C >= 'A' && C <= 'Z') ? static_cast<char>(C - 'A' + 'a') : C; }

inline bool EqualIgnoringCase(std::string_view A, std::string_view B) {
  if (A.size() != B.size()) return false;
  for (size_t i = 0; i < A.size(); ++i)
    if (FoldAscii(A[i]) != FoldAscii(B[i])) return false;
  return true;
}

inline std::string LowerAscii(std::string S) {
  for (char& c : S) c = FoldAscii(c);
  return S;
}

// Whether Text holds Part somewhere, ignoring case; Part is given in lower case.
inline bool ContainsIgnoringCase(std::string_view Text, std::string_view LowerPart) {
  if (LowerPart.size() > Text.size()) return false;
  for (size_t at = 0; at + LowerPart.size() <= Text.size(); ++at) {
    size_t i = 0;
    while (i < LowerPart.size() && FoldAscii(Text[at + i]) == LowerPart[i]) ++i;
    if (i == LowerPart.size()) return true;
  }
  return false;
}
