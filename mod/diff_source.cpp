#include "mod/diff_source.h"

#include <algorithm>
#include <mutex>

#include "archive/source_reader.h"
#include "mod/diff_compare.h"

bool ReadSourceFiles(const std::string& Source, std::vector<DiffFile>& Files, std::string& Why) {
  GameSources sources;
  if (!sources.Add(Source, Why)) return false;
  if (!sources.Notes().empty()) {
    Why = sources.Notes().front();
    return false;
  }
  std::vector<size_t> wanted;
  for (size_t i = 0; i < sources.Files().size(); ++i)
    if (IsDefinitionPath(sources.Files()[i].Path)) wanted.push_back(i);
  std::vector<DiffFile> read(sources.Files().size());
  std::mutex failed;
  sources.Read(wanted, [&](size_t Index, std::string_view Bytes, const std::string& Error) {
    const SourceFile& f = sources.Files()[Index];
    if (!Error.empty()) {
      std::lock_guard<std::mutex> lock(failed);
      if (Why.empty()) Why = (f.Archive.empty() ? f.DiskPath : f.Path + " in " + f.Archive) + ": " + Error;
      return;
    }
    read[Index] = {f.Archive, f.Path, std::string(Bytes)};
  });
  if (!Why.empty()) return false;
  for (size_t i : wanted) Files.push_back(std::move(read[i]));
  return true;
}
