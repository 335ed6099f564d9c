#include "mod/row_values.h"

#include <algorithm>
#include <cstring>

#include "archive/ascii_case.h"
#include "definitions/definition_reader.h"

namespace {

bool Blank(char C) { return C == ' ' || C == '\t'; }

// Whether every block comment of Text ends on the line it starts on: the
// tables' reading takes what follows a ";" on a line as a comment, so a
// block comment opened there and closed on a later line would hide lines
// from one reading and not the other.
bool BlockCommentsEndOnTheirLine(std::string_view Text) {
  for (size_t at = Text.find("/*"); at != std::string_view::npos; at = Text.find("/*", at + 2)) {
    const size_t close = Text.find("*/", at + 1);
    if (close == std::string_view::npos) return false;
    if (std::memchr(Text.data() + at, '\n', close - at)) return false;
  }
  return true;
}

// A to Z as a to z, without a branch.
uint32_t Folded(char C) {
  const auto c = static_cast<unsigned char>(C);
  return c | (static_cast<uint32_t>(static_cast<unsigned char>(c - 'A') < 26) << 5);
}

// A name's hash, letter case aside: its length and its first two and last
// bytes tell the columns' keys apart well enough, and cost a few steps.
size_t FoldedHash(std::string_view Name) {
  if (Name.empty()) return 0;
  const uint64_t v = Name.size() | Folded(Name.front()) << 8 | Folded(Name[Name.size() > 1 ? 1 : 0]) << 16 |
                     uint64_t{Folded(Name.back())} << 24;
  const uint64_t h = v * 0x9E3779B97F4A7C15ULL;
  return static_cast<size_t>(h >> 32);
}

// Whether Name, letter case aside, is the folded key Key.
bool SameFolded(std::string_view Key, std::string_view Name) {
  if (Key.size() != Name.size()) return false;
  unsigned differ = 0;
  for (size_t i = 0; i < Name.size(); ++i) differ |= Folded(Name[i]) ^ static_cast<unsigned char>(Key[i]);
  return differ == 0;
}

}  // namespace

RowValues::RowValues(const std::vector<std::string>& Keys) : spelled_(Keys), next_(Keys.size(), -1) {
  size_t slots = 16;
  while (slots < Keys.size() * 4) slots *= 2;
  slots_.assign(slots, -1);
  mask_ = slots - 1;
  for (size_t c = 0; c < Keys.size(); ++c) {
    keys_.push_back(LowerAscii(Keys[c]));
    // The tables read a key without its blanks: a column of a key holding
    // one is never filled.
    if (std::any_of(Keys[c].begin(), Keys[c].end(), Blank)) continue;
    if (const int first = ColumnOf(keys_.back()); first >= 0) {
      int last = first;  // columns of one key are chained in column order
      while (next_[static_cast<size_t>(last)] >= 0) last = next_[static_cast<size_t>(last)];
      next_[static_cast<size_t>(last)] = static_cast<int>(c);
      continue;
    }
    size_t h = FoldedHash(keys_.back()) & mask_;
    while (slots_[h] >= 0) h = (h + 1) & mask_;
    slots_[h] = static_cast<int>(c);
  }
}

int RowValues::ColumnOf(std::string_view Name) const {
  for (size_t h = FoldedHash(Name) & mask_; slots_[h] >= 0; h = (h + 1) & mask_) {
    const auto k = static_cast<size_t>(slots_[h]);
    // Files mostly spell a key as the column does.
    if (spelled_[k].size() == Name.size() &&
        (std::memcmp(spelled_[k].data(), Name.data(), Name.size()) == 0 || SameFolded(keys_[k], Name)))
      return slots_[h];
  }
  return -1;
}

bool RowValues::Find(std::string_view Text, const DefinitionView& File, std::vector<std::string_view>& Shown) const {
  // Lines end in CR LF alone, and nothing is cut at a zero byte.
  if (!File.Problems.empty() || File.LoneLfLine != 0) return false;
  if (std::memchr(Text.data(), '\0', Text.size())) return false;
  for (const char* cr = Text.data(); (cr = static_cast<const char*>(std::memchr(cr, '\r', Text.data() + Text.size() - cr)));
       ++cr)
    if (cr + 1 == Text.data() + Text.size() || cr[1] != '\n') return false;
  if (!BlockCommentsEndOnTheirLine(Text)) return false;
  Shown.assign(keys_.size(), std::string_view());
  thread_local std::vector<char> foundOnThread;  // reused from file to file
  std::vector<char>& found = foundOnThread;
  found.assign(keys_.size(), 0);
  for (const DefinitionKeyView& k : File.Keys) {
    // A statement that starts its line (so the only one on it), with no
    // blank after its key...
    if (!k.StartsLine) return false;
    const size_t eq = k.KeyOffset + k.Name.size();
    if (eq >= Text.size() || Text[eq] != '=') return false;
    // A column's key holds no blank; another key must not either, lest the
    // tables read it without its blanks as a column's.
    const int first = ColumnOf(k.Name);
    if (first < 0)
      for (const char c : k.Name)
        if (Blank(c)) return false;
    // ...ended by ";", a "//" comment or its line's end, which the last line
    // has (the tables read on after a block comment).
    size_t end = k.ValueOffset + k.Value.size();
    while (end < Text.size() && Blank(Text[end])) ++end;
    if (end >= Text.size() || (Text[end] != ';' && Text[end] != '\r' && Text[end] != '/')) return false;
    if (Text[end] == '/' && (end + 1 == Text.size() || Text[end + 1] != '/')) return false;
    for (int column = first; column >= 0; column = next_[static_cast<size_t>(column)]) {
      const auto c = static_cast<size_t>(column);
      if (found[c]) continue;
      found[c] = 1;
      Shown[c] = Text.substr(eq + 1, end - eq - 1);
    }
  }
  return true;
}
