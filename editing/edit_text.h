#pragma once
// The edit page's text conversions, kept apart from the widgets: file lines to
// editor text, and the editor's text back to the bytes stored in the file.
//
// Every byte the user did not change must come back exactly. Each byte shows
// as its Latin-1 character, except a CR or an LF inside a line: the editor
// would take either as a line break and split the line, so they show as the
// visible symbols U+21B5 (the return key's arrow) and U+2193 (an arrow down)
// instead, which the common fonts have, and turn back into their bytes on the
// way out. A no-break space (0xA0) stays itself; the editor's raw text
// keeps it, where its plain text would give a blank.
#include <QString>
#include <string>
#include <vector>

// Stand-ins for a CR and an LF inside a line.
inline constexpr char16_t kLoneCrSymbol = u'\u21B5';
inline constexpr char16_t kLoneLfSymbol = u'\u2193';

// The lines as editor text, one editor line per line, joined by '\n'.
QString FileLinesToEditor(const std::vector<std::string>& Lines);

// The editor document's raw text (QTextDocument::toRawText: lines separated
// by U+2029 or U+2028, no-break spaces kept) as file bytes: every line
// followed by CR LF, the last one included. An empty editor holds no lines and
// gives no bytes. A character that is no byte at all becomes '?'.
std::string EditorTextToFile(const QString& RawText);
