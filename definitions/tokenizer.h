#pragma once
// Splits a definition file into lines: clean (indentation, comments and
// statement terminators removed, empty lines dropped) for row building, or raw
// (the lines as stored) for the editor.
#include <string>
#include <string_view>
#include <vector>

#include "archive/file_lists.h"

std::vector<std::string> GetUnpackedLines(const UnPacked& Entry, bool Clean);

// The lines of one file held in one reusable buffer: line k is
// Text[Starts[k], Starts[k + 1]) with Starts.back() == Text.size(). Row building
// splits thousands of files this way without one allocation per line.
struct LineArena {
  std::string Text;
  std::vector<size_t> Starts{0};
  size_t Count() const { return Starts.size() - 1; }
  std::string_view Line(size_t K) const {
    return std::string_view(Text).substr(Starts[K], Starts[K + 1] - Starts[K]);
  }
  void Clear() {
    Text.clear();
    Starts.assign(1, 0);
  }
};

// The same lines as GetUnpackedLines, into Out (emptied first).
void GetUnpackedLines(const UnPacked& Entry, bool Clean, LineArena& Out);
