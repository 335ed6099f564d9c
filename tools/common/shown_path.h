#pragma once
// How `hpi list` prints a path from an archive, which may hold any byte, and
// how the tools' messages quote names and values.
#include <string>
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

}  // namespace hpitool
