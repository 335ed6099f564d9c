#pragma once
// Texts are 8-bit bytes throughout the program; windows show them with
// Latin-1 conversion and turn edited text back into bytes the same way.
#include <QString>
#include <string>
#include <string_view>

inline QString Latin1(std::string_view Text) {
  return QString::fromLatin1(Text.data(), static_cast<qsizetype>(Text.size()));
}

inline std::string Bytes(const QString& Text) { return Text.toLatin1().toStdString(); }
