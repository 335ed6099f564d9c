#pragma once
// The edit page's text conversions, kept apart from the widgets: file lines to
// editor text, and editor text back to the bytes stored in the file.
#include <string>
#include <vector>

// The lines joined by '\n', one editor line per line.
std::string JoinEditorLines(const std::vector<std::string>& Lines);

// The editor's text ('\n' between lines) as file bytes: every line followed by
// CR LF, the last one included. An empty editor holds no lines and gives no bytes.
std::string EditorTextToFile(const std::string& Text);
