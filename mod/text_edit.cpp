#include "mod/text_edit.h"

#include <algorithm>
#include <cstdint>

std::optional<std::string> ApplyEdits(std::string_view Text, std::vector<TextEdit> Edits) {
  std::stable_sort(Edits.begin(), Edits.end(),
                   [](const TextEdit& A, const TextEdit& B) { return A.Offset < B.Offset; });
  size_t end = 0;  // where the bytes replaced so far end
  size_t size = Text.size();
  for (const TextEdit& e : Edits) {
    if (e.Offset < end || e.Offset > Text.size() || e.Length > Text.size() - e.Offset) return std::nullopt;
    end = e.Offset + e.Length;
    size += e.Text.size() - e.Length;
  }
  // Allocated once, at its size.
  std::string out;
  out.reserve(size);
  size_t at = 0;
  for (const TextEdit& e : Edits) {
    out.append(Text.substr(at, e.Offset - at));
    out += e.Text;
    at = e.Offset + e.Length;
  }
  out.append(Text.substr(at));
  return out;
}

namespace {

std::vector<std::string_view> SplitLines(std::string_view Text) {
  std::vector<std::string_view> lines;
  size_t start = 0;
  while (start < Text.size()) {
    const size_t lf = Text.find('\n', start);
    const size_t end = lf == std::string_view::npos ? Text.size() : lf + 1;
    lines.push_back(Text.substr(start, end - start));
    start = end;
  }
  return lines;
}

void AddLine(std::string& Out, char Mark, std::string_view Line) {
  Out += Mark;
  Out.append(Line);
  if (Line.empty() || Line.back() != '\n') Out += "\n\\ No newline at end of file\n";
}

std::string Range(size_t Start, size_t Count) {
  // A range of no lines names the line before it.
  const size_t first = Count == 0 ? Start : Start + 1;
  return Count == 1 ? std::to_string(first) : std::to_string(first) + "," + std::to_string(Count);
}

}  // namespace

std::string UnifiedDiff(std::string_view Old, std::string_view New, const std::string& OldName,
                        const std::string& NewName) {
  if (Old == New) return "";
  const std::vector<std::string_view> a = SplitLines(Old), b = SplitLines(New);
  // Changes are few and small, so the lines that differ are found as blocks
  // between a common prefix and a common suffix, refined by a longest common
  // subsequence over that middle part.
  size_t prefix = 0;
  while (prefix < a.size() && prefix < b.size() && a[prefix] == b[prefix]) ++prefix;
  size_t suffix = 0;
  while (suffix < a.size() - prefix && suffix < b.size() - prefix &&
         a[a.size() - 1 - suffix] == b[b.size() - 1 - suffix])
    ++suffix;
  const size_t n = a.size() - prefix - suffix, m = b.size() - prefix - suffix;
  // ops: ' ' keep, '-' old only, '+' new only, over the whole files.
  std::vector<char> ops(prefix, ' ');
  std::vector<std::pair<size_t, size_t>> lineOf(prefix);  // old and new line of each op
  for (size_t i = 0; i < prefix; ++i) lineOf[i] = {i, i};
  if (n * m <= 4000000) {
    std::vector<std::vector<uint32_t>> l(n + 1, std::vector<uint32_t>(m + 1, 0));
    for (size_t i = n; i-- > 0;)
      for (size_t j = m; j-- > 0;)
        l[i][j] = a[prefix + i] == b[prefix + j] ? l[i + 1][j + 1] + 1 : std::max(l[i + 1][j], l[i][j + 1]);
    size_t i = 0, j = 0;
    while (i < n || j < m) {
      if (i < n && j < m && a[prefix + i] == b[prefix + j]) {
        ops.push_back(' ');
        lineOf.push_back({prefix + i++, prefix + j++});
      } else if (i < n && (j == m || l[i + 1][j] >= l[i][j + 1])) {
        ops.push_back('-');
        lineOf.push_back({prefix + i++, prefix + j});
      } else {
        ops.push_back('+');
        lineOf.push_back({prefix + i, prefix + j++});
      }
    }
  } else {
    for (size_t i = 0; i < n; ++i) {
      ops.push_back('-');
      lineOf.push_back({prefix + i, prefix});
    }
    for (size_t j = 0; j < m; ++j) {
      ops.push_back('+');
      lineOf.push_back({prefix + n, prefix + j});
    }
  }
  for (size_t k = 0; k < suffix; ++k) {
    ops.push_back(' ');
    lineOf.push_back({a.size() - suffix + k, b.size() - suffix + k});
  }

  std::string out = "--- " + OldName + "\n+++ " + NewName + "\n";
  constexpr size_t kContext = 3;
  size_t k = 0;
  while (k < ops.size()) {
    if (ops[k] == ' ') {
      ++k;
      continue;
    }
    // A hunk: from kContext lines before this change to kContext lines after
    // the last change that lies within 2 * kContext kept lines of the one before.
    const size_t begin = k >= kContext ? k - kContext : 0;
    size_t lastChange = k;
    for (size_t x = k; x < ops.size(); ++x) {
      if (ops[x] != ' ') lastChange = x;
      else if (x - lastChange > 2 * kContext) break;
    }
    const size_t end = std::min(ops.size(), lastChange + 1 + kContext);
    size_t oldCount = 0, newCount = 0;
    for (size_t x = begin; x < end; ++x) {
      if (ops[x] != '+') ++oldCount;
      if (ops[x] != '-') ++newCount;
    }
    out += "@@ -" + Range(lineOf[begin].first, oldCount) + " +" + Range(lineOf[begin].second, newCount) + " @@\n";
    for (size_t x = begin; x < end; ++x)
      AddLine(out, ops[x], ops[x] == '+' ? b[lineOf[x].second] : a[lineOf[x].first]);
    k = end;
  }
  return out;
}
