#include "archive/disk_search.h"

#include <dirent.h>
#include <sys/stat.h>

#include <memory>

#include "archive/ascii_case.h"

namespace {

bool Exists(const std::string& Path) {
  struct stat st;
  return ::stat(Path.c_str(), &st) == 0;
}

// Calls Visit(name) for every entry of Directory except "." and "..", in the
// order the platform lists them. Visit returns false to stop. False when the
// directory cannot be read.
template <typename F>
bool ForEachEntry(const std::string& Directory, F Visit) {
  std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(Directory.empty() ? "." : Directory.c_str()),
                                          ::closedir);
  if (!dir) return false;
  while (dirent* e = ::readdir(dir.get())) {
    std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    if (!Visit(name)) break;
  }
  return true;
}

std::string Join(const std::string& Dir, const std::string& Name) {
  if (Dir.empty()) return Name;
  if (Dir.back() == '/') return Dir + Name;
  return Dir + "/" + Name;
}

}  // namespace

bool WildcardMatchIgnoringCase(const std::string& Name, const std::string& Pattern) {
  // Iterative match with one back-tracking point for the last '*'.
  size_t n = 0, p = 0, starP = std::string::npos, starN = 0;
  while (n < Name.size()) {
    if (p < Pattern.size() && Pattern[p] == '*') {
      starP = p++;
      starN = n;
    } else if (p < Pattern.size() && (Pattern[p] == '?' || FoldAscii(Pattern[p]) == FoldAscii(Name[n]))) {
      ++p;
      ++n;
    } else if (starP != std::string::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < Pattern.size() && Pattern[p] == '*') ++p;
  return p == Pattern.size();
}

std::string ResolvePathIgnoringCase(const std::string& Path) {
  if (Path.empty()) return "";
  std::string resolved = Path[0] == '/' ? "/" : "";
  size_t pos = 0;
  while (pos <= Path.size()) {
    size_t slash = Path.find('/', pos);
    if (slash == std::string::npos) slash = Path.size();
    std::string level = Path.substr(pos, slash - pos);
    pos = slash + 1;
    if (level.empty()) continue;
    if (level == "." || level == "..") {
      resolved = Join(resolved, level);
      continue;
    }
    std::string exact = Join(resolved, level);
    if (Exists(exact)) {
      resolved = exact;
      continue;
    }
    std::string found;
    ForEachEntry(resolved, [&](const std::string& Name) {
      if (!EqualIgnoringCase(Name, level)) return true;
      found = Name;
      return false;
    });
    if (found.empty()) return "";
    resolved = Join(resolved, found);
  }
  if (resolved.empty()) return "";
  return Exists(resolved) ? resolved : "";
}

bool DirectoryExistsIgnoringCase(const std::string& Path) {
  std::string real = ResolvePathIgnoringCase(Path);
  if (real.empty()) return false;
  struct stat st;
  return ::stat(real.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::vector<std::string> ListMatchingIgnoringCase(const std::string& Directory,
                                                  const std::string& Pattern) {
  std::vector<std::string> names;
  std::string real = ResolvePathIgnoringCase(Directory);
  if (real.empty()) return names;
  ForEachEntry(real, [&](const std::string& Name) {
    if (WildcardMatchIgnoringCase(Name, Pattern)) names.push_back(Name);
    return true;
  });
  return names;
}
