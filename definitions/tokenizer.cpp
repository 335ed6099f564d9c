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

}  // namespace

LineReader::LineReader(const char* Text, size_t Size, bool Clean)
    : Text_(Text), Size_(Text ? Size : 0), Clean_(Clean) {}

// Adds Text[From, From + Count) to the line: it stays a view into the text as
// long as the pieces follow each other there, and is copied out at the first gap.
void LineReader::AddSpan(size_t From, size_t Count) {
  if (Count == 0) return;
  if (InScratch_) {
    Scratch_.append(Text_ + From, Count);
  } else if (Length_ == 0) {
    Begin_ = From;
    Length_ = Count;
  } else if (Begin_ + Length_ == From) {
    Length_ += Count;
  } else {
    Scratch_.assign(Text_ + Begin_, Length_);
    Scratch_.append(Text_ + From, Count);
    InScratch_ = true;
  }
}

// Takes ordinary characters from I on until one that Stop marks or until Last,
// and returns the position reached. Such runs hold no zero byte.
size_t LineReader::AppendRun(size_t I, size_t Last, const bool* Stop) {
  const size_t from = I;
  while (I < Last && !Stop[static_cast<unsigned char>(Text_[I])]) ++I;
  if (!Cut_) AddSpan(from, I - from);
  return I;
}

// A single character; a zero byte ends the line's text: what follows it on
// that line is dropped.
void LineReader::Append(size_t I) {
  if (Text_[I] == '\0')
    Cut_ = true;
  else if (!Cut_)
    AddSpan(I, 1);
}

// A CR LF: the text so far becomes a line; raw reading keeps empty lines too.
bool LineReader::EndLine(std::string_view& Line) {
  Cut_ = false;
  if (Clean_ && Empty()) return false;
  Line = Current();
  return true;
}

// End of text: text holding at least one character becomes the last line.
bool LineReader::Finish(std::string_view& Line) {
  Done_ = true;
  if (Empty() && !(!Clean_ && Cut_)) return false;
  Line = Current();
  return true;
}

bool LineReader::Next(std::string_view& Line) {
  // The line given last is done with.
  Length_ = 0;
  InScratch_ = false;
  Scratch_.clear();
  const char* text = Text_;
  const size_t size = Size_;
  const size_t last = size - 1;
  while (!Done_) {
    if (I_ >= size) return Finish(Line);
    // Ordinary characters are taken a run at a time.
    I_ = AppendRun(I_, last,
                   (!Clean_ ? kStops.Raw : BeforeEquals_ ? kStops.BeforeEquals : kStops.AfterEquals).data());
    const char c = text[I_];
    // The last character of the text ends the scan.
    if (I_ == last) {
      if (!(Clean_ && (c == ';' || c == ' ' || c == '\t'))) Append(I_);
      return Finish(Line);
    }
    const char next = text[I_ + 1];
    if (Clean_) {
      if (c == '=') BeforeEquals_ = false;
      if ((c == ' ' || c == '\t') && BeforeEquals_) {
        ++I_;
        continue;
      }
      if ((c == '/' && next == '/') || c == ';') {
        // Line comment: skip to the CR LF, which still ends the line.
        I_ = FindLineEnd(text, I_, size);
        continue;
      }
      if (c == '/' && next == '*') {
        // Block comment; the search for "*/" starts at the '*', so "/*/" is empty.
        const size_t end = FindBlockEnd(text, I_ + 1, size);
        if (end == size) return Finish(Line);
        I_ = end + 2;
        continue;
      }
    }
    if (c == '\r' && next == '\n') {
      BeforeEquals_ = true;
      I_ += 2;
      if (EndLine(Line)) return true;
      continue;
    }
    Append(I_);
    ++I_;
  }
  return false;
}

void GetUnpackedLines(const UnPacked& Entry, bool Clean, LineArena& Out) {
  Out.Clear();
  if (!Entry.Contents || Entry.PFileSize <= 0) return;
  Out.Text.reserve(static_cast<size_t>(Entry.PFileSize));
  LineReader reader(Entry.Contents.get(), static_cast<size_t>(Entry.PFileSize), Clean);
  std::string_view line;
  while (reader.Next(line)) {
    Out.Text.append(line);
    Out.Starts.push_back(Out.Text.size());
  }
}

std::vector<std::string> GetUnpackedLines(const UnPacked& Entry, bool Clean) {
  std::vector<std::string> lines;
  if (!Entry.Contents || Entry.PFileSize <= 0) return lines;
  LineReader reader(Entry.Contents.get(), static_cast<size_t>(Entry.PFileSize), Clean);
  std::string_view line;
  while (reader.Next(line)) lines.emplace_back(line);
  return lines;
}
