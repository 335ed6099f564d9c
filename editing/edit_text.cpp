// Editor text to file bytes and back.
#include "editing/edit_text.h"

QString FileLinesToEditor(const std::vector<std::string>& Lines) {
  qsizetype size = 0;
  for (const auto& line : Lines) size += static_cast<qsizetype>(line.size()) + 1;
  QString text;
  text.reserve(size);
  for (size_t i = 0; i < Lines.size(); ++i) {
    if (i > 0) text += u'\n';
    for (const char c : Lines[i]) {
      if (c == '\r')
        text += QChar(kLoneCrSymbol);
      else if (c == '\n')
        text += QChar(kLoneLfSymbol);
      else
        text += QChar(static_cast<char16_t>(static_cast<unsigned char>(c)));
    }
  }
  return text;
}

std::string EditorTextToFile(const QString& RawText) {
  std::string bytes;
  if (RawText.isEmpty()) return bytes;
  bytes.reserve(static_cast<size_t>(RawText.size()) + static_cast<size_t>(RawText.size()) / 16 + 2);
  for (const QChar q : RawText) {
    const char16_t c = q.unicode();
    if (c == QChar::ParagraphSeparator || c == QChar::LineSeparator || c == u'\n')
      bytes += "\r\n";
    else if (c == kLoneCrSymbol)
      bytes += '\r';
    else if (c == kLoneLfSymbol)
      bytes += '\n';
    else
      bytes += c <= 0xFF ? static_cast<char>(c) : '?';
  }
  bytes += "\r\n";
  return bytes;
}
