#pragma once
// How `hpi list` prints a path from an archive, which may hold any byte, and
// how the tools' messages quote names and values.
#include <string>
#include <ostream>
#include <streambuf>
#include <string_view>

namespace hpitool {

// Path as it is, unless it holds a control byte (below 0x20, 0x7F, or 0x80 to
// 0x9F, which some terminals take as commands) or begins with "$'". Such a
// path is shown in the shell's $'...' quoting: \n, \t, \r, \xHH for the other
// control bytes, and \\ and \' for a backslash and a quote. One entry then
// stays on one line, no escape code reaches the terminal, and the shown text
// can be pasted into a shell as the exact path.
std::string ShownPath(std::string_view Path);

// Text as it is, with each control byte written as \n, \t, \r or \xHH, for
// messages that quote a name or a value: they stay on one line and no escape
// code reaches the terminal.
std::string ShownText(std::string_view Text);
// ShownText(Text) appended to Out.
void AppendShownText(std::string& Out, std::string_view Text);

// A message line that is UTF-8 text already (8-bit names converted from
// Latin-1, or raw bytes of a disk path), appended to Out as a terminal gets
// it: printable ASCII and UTF-8 characters stay; control characters (below
// 0x20, DEL, and U+0080 to U+009F) are written as \n, \t, \r, \xHH or
// \u00HH, and each byte that is not part of valid UTF-8 as \xHH.
void AppendShownMessage(std::string& Out, std::string_view Text);

// An output stream buffer that writes what it is given to Target line by
// line through AppendShownMessage, so that no text reaching it (a name from
// an archive in a message) can carry an escape code to the terminal. Line
// ends pass; an unfinished line is written on sync or destruction.
class ShownStreamBuffer : public std::streambuf {
 public:
  explicit ShownStreamBuffer(std::streambuf* Target) : Target_(Target) {}
  ~ShownStreamBuffer() override { sync(); }
  std::streambuf* Target() const { return Target_; }

 protected:
  int_type overflow(int_type C) override;
  std::streamsize xsputn(const char* Text, std::streamsize Count) override;
  int sync() override;

 private:
  bool WriteLine(bool WithEnd);
  std::streambuf* Target_;
  std::string Line_;
  bool Failed_ = false;
};

// For the life of the object, Stream (standard error) writes through a
// ShownStreamBuffer; its own buffer comes back afterwards.
class ShownStream {
 public:
  explicit ShownStream(std::ostream& Stream) : Stream_(Stream), Buffer_(Stream.rdbuf()) {
    Stream_.rdbuf(&Buffer_);
  }
  ~ShownStream() {
    Stream_.flush();
    Stream_.rdbuf(Buffer_.Target());
  }
  ShownStream(const ShownStream&) = delete;
  ShownStream& operator=(const ShownStream&) = delete;

 private:
  std::ostream& Stream_;
  ShownStreamBuffer Buffer_;
};

}  // namespace hpitool
