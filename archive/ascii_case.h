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
