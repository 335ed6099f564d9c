#pragma once
// Byte edits of one file's text, and the unified diff they make.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Replace Length bytes at Offset by Text (Length 0: insert).
struct TextEdit {
  size_t Offset = 0;
  size_t Length = 0;
  std::string Text;
};

// Text with Edits made; insertions at one offset keep their order in Edits.
// Nullopt, with nothing made, when two edits overlap (one starts inside the
// bytes another replaces, or two replace from one offset) or one reaches past
// the text: making them would write some bytes twice or not at all.
std::optional<std::string> ApplyEdits(std::string_view Text, std::vector<TextEdit> Edits);

// A unified diff (three lines of context) between Old and New, with OldName
// and NewName in its header; empty when they are equal. Lines end at LF and
// keep their bytes as they are (CR included), so the diff applies as a patch
// to the very file.
std::string UnifiedDiff(std::string_view Old, std::string_view New, const std::string& OldName,
                        const std::string& NewName);
