#pragma once
// Every file of the sources a command-line tool is given, read the way the
// game sees them: a source is an archive (.hpi, .ufo, .gp*, .ccx) or a game
// directory, which stands for every archive in it (all ".ufo" first, then
// ".hpi", ".gp*" and ".ccx", each group in name order) followed by the loose
// files below it. Archives are read with our archive library. Nothing here is
// limited to the tables' 2049 entries, and nothing is filtered by kind.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace hpi {
class Archive;
}

struct SourceFile {
  int Source = 0;        // index of the source it came from, in the order given
  std::string Archive;   // the archive's disk path; empty for a loose file
  std::string Path;      // inside the archive, or below the source directory; levels joined by '\'
  std::string DiskPath;  // a loose file's real path; empty in an archive
  uint64_t Size = 0;
};

class GameSources {
 public:
  GameSources();
  ~GameSources();
  GameSources(const GameSources&) = delete;
  GameSources& operator=(const GameSources&) = delete;

  // Lists the files of one more source. False, with the reason in Error and
  // nothing added, when it cannot be read at all (missing, not an archive nor
  // a directory, a damaged archive). Inside a directory an archive that
  // cannot be opened is passed over and noted in Notes().
  bool Add(const std::string& Path, std::string& Error);
  // Lists the loose files below a game directory as one more source, without
  // the archives in it (as the window includes a game directory's files).
  // False, with the reason in Error, when it is no directory that can be listed.
  bool AddLooseFiles(const std::string& Directory, std::string& Error);

  // Files of every source, in the order of the sources; within an archive in
  // its stored order, loose files in name order. Directories are not listed.
  const std::vector<SourceFile>& Files() const { return Files_; }
  // One line for each archive of a directory that could not be opened.
  const std::vector<std::string>& Notes() const { return Notes_; }

  // Reads the files at the given positions of Files() on every core. Visit is
  // called once per file, from any thread, with its bytes, or with an empty
  // text and the reason in Error when it could not be read.
  using Visitor = std::function<void(size_t Index, std::string_view Bytes, const std::string& Error)>;
  void Read(const std::vector<size_t>& Wanted, const Visitor& Visit) const;

 private:
  void AddArchive(const std::string& Path, std::unique_ptr<hpi::Archive> Archive, int Source);
  void AddLooseFiles(const std::string& Directory, const std::string& Below, int Source,
                     const std::vector<std::string>& SkipArchives, int Depth);

  std::vector<SourceFile> Files_;
  std::vector<std::string> Notes_;
  std::vector<std::unique_ptr<hpi::Archive>> Archives_;
  std::vector<int> ArchiveOf_;       // per file: index in Archives_, -1 for a loose file
  std::vector<uint32_t> EntryOf_;    // per file in an archive: its entry
  int Sources_ = 0;
};

// Reads a whole regular file, opened so that a FIFO or a device cannot block.
// False, with the reason in Why, when it cannot be read whole.
bool ReadDiskFile(const std::string& Path, std::string& Data, std::string& Why);
