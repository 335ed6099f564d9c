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

// Reads the lines of a text one at a time: the same lines GetUnpackedLines
// gives, without copying them. A line is a view into the text itself when the
// reading only dropped characters before or after it (the usual case) and into
// the reader's own buffer otherwise; either way it stays valid until the next
// call of Next. Lines longer than any limit come through whole.
class LineReader {
 public:
  LineReader(const char* Text, size_t Size, bool Clean);
  // The next line; false at the end of the text.
  bool Next(std::string_view& Line);
  // Whether the line Next gave last lies in the text itself.
  bool InText() const { return !InScratch_; }

 private:
  void AddSpan(size_t From, size_t Count);
  size_t AppendRun(size_t I, size_t Last);
  int PlainLine(std::string_view& Line);
  void Append(size_t I);
  bool Empty() const { return InScratch_ ? Scratch_.empty() : Length_ == 0; }
  std::string_view Current() const {
    return InScratch_ ? std::string_view(Scratch_) : std::string_view(Text_ + Begin_, Length_);
  }
  bool EndLine(std::string_view& Line);
  bool Finish(std::string_view& Line);

  const char* Text_;
  size_t Size_;
  bool Clean_;
  size_t I_ = 0;
  bool BeforeEquals_ = true;
  bool Done_ = false;
  bool Cut_ = false;  // a zero byte came on this line
  size_t Begin_ = 0, Length_ = 0;
  bool InScratch_ = false;
  std::string Scratch_;
};

// The same lines as GetUnpackedLines, into Out (emptied first).
void GetUnpackedLines(const UnPacked& Entry, bool Clean, LineArena& Out);
