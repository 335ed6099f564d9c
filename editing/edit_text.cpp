// Editor text to file bytes and back.
#include "editing/edit_text.h"

std::string JoinEditorLines(const std::vector<std::string>& Lines) {
  std::string text;
  size_t size = 0;
  for (const auto& line : Lines) size += line.size() + 1;
  text.reserve(size);
  for (size_t i = 0; i < Lines.size(); ++i) {
    if (i > 0) text += '\n';
    text += Lines[i];
  }
  return text;
}

std::string EditorTextToFile(const std::string& Text) {
  std::string bytes;
  if (Text.empty()) return bytes;
  bytes.reserve(Text.size() + Text.size() / 16 + 2);
  for (char c : Text) {
    if (c == '\n')
      bytes += "\r\n";
    else
      bytes += c;
  }
  bytes += "\r\n";
  return bytes;
}
