#include "definitions/tokenizer.h"

#include <cstring>
#include <string_view>

namespace {

// Position of the next CR LF pair at or after From; Size when there is none.
size_t FindLineEnd(const char* Text, size_t From, size_t Size) {
  for (size_t i = From; i + 1 < Size; ++i) {
    const void* cr = std::memchr(Text + i, '\r', Size - 1 - i);
    if (!cr) return Size;
    i = static_cast<size_t>(static_cast<const char*>(cr) - Text);
    if (Text[i + 1] == '\n') return i;
  }
  return Size;
}

// Position of the next "*/" starting the search at From; npos when there is none.
size_t FindBlockEnd(const char* Text, size_t From, size_t Size) {
  std::string_view rest(Text + From, Size - From);
  size_t p = rest.find("*/");
  return p == std::string_view::npos ? std::string_view::npos : From + p;
}

class LineCollector {
 public:
  LineCollector(std::vector<std::string>& Lines, bool Clean) : Lines_(Lines), Clean_(Clean) {
    Buffer_.reserve(256);
  }
  void Append(char C) { Buffer_.push_back(C); }
  bool Empty() const { return Buffer_.empty(); }
  // A CR LF: the buffer becomes a line (raw mode keeps empty lines too).
  void EndLine() {
    if (!Buffer_.empty())
      Emit();
    else if (!Clean_)
      Lines_.emplace_back();
    Buffer_.clear();
  }
  // End of text: what the buffer holds becomes the last line.
  void Finish() {
    if (!Buffer_.empty()) Emit();
    Buffer_.clear();
  }

 private:
  // A zero byte ends the line's text; the rest of that line is lost.
  void Emit() {
    size_t len = std::strlen(Buffer_.c_str());
    if (len == 0 && Clean_) return;  // clean lines are never empty
    Lines_.emplace_back(Buffer_.data(), len);
  }

  std::vector<std::string>& Lines_;
  bool Clean_;
  std::string Buffer_;  // grows as needed: no line is ever cut
};

}  // namespace

std::vector<std::string> GetUnpackedLines(const UnPacked& Entry, bool Clean) {
  std::vector<std::string> lines;
  if (!Entry.Contents || Entry.PFileSize <= 0) return lines;
  const char* text = Entry.Contents.get();
  const size_t size = static_cast<size_t>(Entry.PFileSize);
  LineCollector out(lines, Clean);
  bool beforeEquals = true;

  size_t i = 0;
  while (i < size) {
    const char c = text[i];
    // The last character of the text ends the scan.
    if (i == size - 1) {
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
        size_t end = FindBlockEnd(text, i + 1, size);
        if (end == std::string_view::npos) break;
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
  return lines;
}
