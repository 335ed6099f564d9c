#include "definitions/tokenizer.h"

#include <array>
#include <cstring>

namespace {

// Position of the next CR LF pair at or after From; Size when there is none.
// A plain loop: the comments it skips are mostly a few bytes long.
size_t FindLineEnd(const char* Text, size_t From, size_t Size) {
  for (size_t i = From; i + 1 < Size; ++i)
    if (Text[i] == '\r' && Text[i + 1] == '\n') return i;
  return Size;
}

// Position of the next "*/" starting the search at From; Size when there is none.
size_t FindBlockEnd(const char* Text, size_t From, size_t Size) {
  std::string_view rest(Text + From, Size - From);
  size_t p = rest.find("*/");
  return p == std::string_view::npos ? Size : From + p;
}

// Characters that may start a rule other than "append": in clean mode before
// the first "=" of a line, after it, and in raw mode.
struct Stops {
  std::array<bool, 256> BeforeEquals{}, AfterEquals{}, Raw{};
  Stops() {
    for (unsigned char c : {'=', ' ', '\t', '/', ';', '\r', '\0'}) BeforeEquals[c] = true;
    for (unsigned char c : {'/', ';', '\r', '\0'}) AfterEquals[c] = true;
    Raw['\r'] = Raw['\0'] = true;
  }
};
const Stops kStops;

// Writes lines into the arena's buffer, which is sized for the whole text up
// front (lines are never longer than the text). A zero byte ends the line's
// text: what follows it on that line is dropped.
class ArenaWriter {
 public:
  ArenaWriter(LineArena& Out, size_t Size, bool Clean) : Out_(Out), Clean_(Clean) {
    Out_.Text.resize(Size);
    Data_ = Out_.Text.data();
  }
  ~ArenaWriter() { Out_.Text.resize(W_); }
  ArenaWriter(const ArenaWriter&) = delete;
  ArenaWriter& operator=(const ArenaWriter&) = delete;

  // Appends ordinary characters from Text[I] on until one that Stop marks or
  // until Last, and returns the position reached. Such runs hold no zero byte.
  size_t AppendRun(const char* Text, size_t I, size_t Last, const std::array<bool, 256>& Stop) {
    if (Cut_) {
      while (I < Last && !Stop[static_cast<unsigned char>(Text[I])]) ++I;
      return I;
    }
    char* out = Data_ + W_;
    const char* from = Text + I;
    while (I < Last && !Stop[static_cast<unsigned char>(Text[I])]) ++I;
    const size_t n = static_cast<size_t>(Text + I - from);
    std::memcpy(out, from, n);
    W_ += n;
    return I;
  }
  void Append(char C) {
    if (C == '\0')
      Cut_ = true;
    else if (!Cut_)
      Data_[W_++] = C;
  }
  // A CR LF: the buffer becomes a line; raw mode keeps empty lines too.
  void EndLine() {
    if (!Clean_ || !Empty()) Out_.Starts.push_back(W_);
    Cut_ = false;
  }
  // End of text: a buffer that holds at least one character becomes the last
  // line. A line cut to nothing by a zero byte is no extra line, in either mode.
  void Finish() {
    if (!Empty()) Out_.Starts.push_back(W_);
  }

 private:
  bool Empty() const { return W_ == Out_.Starts.back(); }

  LineArena& Out_;
  bool Clean_;
  char* Data_ = nullptr;
  size_t W_ = 0;
  bool Cut_ = false;  // a zero byte came on this line
};

}  // namespace

void GetUnpackedLines(const UnPacked& Entry, bool Clean, LineArena& Out) {
  Out.Clear();
  if (!Entry.Contents || Entry.PFileSize <= 0) return;
  const char* text = Entry.Contents.get();
  const size_t size = static_cast<size_t>(Entry.PFileSize);
  const size_t last = size - 1;
  ArenaWriter out(Out, size, Clean);
  bool beforeEquals = true;

  size_t i = 0;
  while (i < size) {
    // Ordinary characters are copied a run at a time.
    i = out.AppendRun(text, i, last,
                      !Clean ? kStops.Raw : beforeEquals ? kStops.BeforeEquals : kStops.AfterEquals);
    const char c = text[i];
    // The last character of the text ends the scan.
    if (i == last) {
      if (!(Clean && (c == ';' || c == ' ' || c == '\t'))) out.Append(c);
      break;
    }
    const char next = text[i + 1];
    if (Clean) {
      if (c == '=') beforeEquals = false;
      if ((c == ' ' || c == '\t') && beforeEquals) {
        ++i;
        continue;
      }
      if ((c == '/' && next == '/') || c == ';') {
        // Line comment: skip to the CR LF, which still ends the line.
        i = FindLineEnd(text, i, size);
        continue;
      }
      if (c == '/' && next == '*') {
        // Block comment; the search for "*/" starts at the '*', so "/*/" is empty.
        const size_t end = FindBlockEnd(text, i + 1, size);
        if (end == size) break;
        i = end + 2;
        continue;
      }
    }
    if (c == '\r' && next == '\n') {
      out.EndLine();
      beforeEquals = true;
      i += 2;
      continue;
    }
    out.Append(c);
    ++i;
  }
  out.Finish();
}

std::vector<std::string> GetUnpackedLines(const UnPacked& Entry, bool Clean) {
  LineArena arena;
  GetUnpackedLines(Entry, Clean, arena);
  std::vector<std::string> lines;
  lines.reserve(arena.Count());
  for (size_t k = 0; k < arena.Count(); ++k) lines.emplace_back(arena.Line(k));
  return lines;
}
