#pragma once
// Archives, loose files and tables for the kestrava-apply and kestrava-diff tests.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tools/apply/apply_command.h"
#include "tools/diff/diff_command.h"
#include "hpi/archive.h"
#include "hpi/hpi.h"
#include "tools/table/table_command.h"

namespace applytest {

namespace fs = std::filesystem;

inline void WriteDisk(const std::string& P, const std::string& Data) {
  fs::create_directories(fs::path(P).parent_path());
  std::ofstream(P, std::ios::binary) << Data;
}

inline std::string ReadDisk(const std::string& P) {
  std::ifstream in(P, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void MakeArchive(const std::string& Path, const std::map<std::string, std::string>& Content) {
  HPIHANDLE pack = HPICreate(Path.c_str(), nullptr);
  for (const auto& [name, data] : Content)
    ASSERT_NE(HPIAddFileFromMemory(pack, name.c_str(), data.data(), static_cast<int32_t>(data.size())), 0);
  ASSERT_NE(HPIPackArchive(pack, 1), 0);
}

// Every file of an archive by its stored path.
inline std::map<std::string, std::string> ArchiveFiles(const std::string& Path) {
  std::map<std::string, std::string> files;
  auto a = hpi::Archive::Open(Path);
  EXPECT_TRUE(a) << Path;
  if (!a) return files;
  for (size_t i = 0; i < a->size(); ++i) {
    if (a->at(i).isDirectory) continue;
    std::vector<uint8_t> data;
    EXPECT_TRUE(a->ReadFile(uint32_t(i), data));
    files[a->PathOf(i)] = std::string(data.begin(), data.end());
  }
  return files;
}

struct ToolRun {
  int Status = 0;
  std::string Out, Err;
};

inline ToolRun Apply(const std::vector<std::string>& Args) {
  std::ostringstream out, err;
  ToolRun r;
  r.Status = RunApply(Args, out, err);
  r.Out = out.str();
  r.Err = err.str();
  return r;
}

inline ToolRun Diff(const std::vector<std::string>& Args) {
  std::ostringstream out, err;
  ToolRun r;
  r.Status = RunDiff(Args, out, err);
  r.Out = out.str();
  r.Err = err.str();
  return r;
}

// kestrava-table's output for Kind over Archives (and the loose files below TaDir).
inline std::string Export(const std::string& Kind, const std::vector<std::string>& Archives,
                          const std::string& TaDir = "", TableFormat Format = TableFormat::Csv) {
  TableRequest request;
  request.Kind = Kind;
  request.Archives = Archives;
  request.Format = Format;
  if (!TaDir.empty()) {
    request.IncludeTaDir = true;
    request.TaDir = TaDir;
  }
  std::ostringstream out, err;
  EXPECT_EQ(RunTable(request, out, err), 0) << err.str();
  return out.str();
}

// Replaces the first occurrence of From in Text by To; fails the test when there is none.
inline std::string Replace(std::string Text, const std::string& From, const std::string& To) {
  const size_t at = Text.find(From);
  EXPECT_NE(at, std::string::npos) << From;
  if (at != std::string::npos) Text.replace(at, From.size(), To);
  return Text;
}

struct TempDir {
  fs::path Path;
  TempDir() {
    const ::testing::TestInfo* t = ::testing::UnitTest::GetInstance()->current_test_info();
    Path = fs::temp_directory_path() /
           ("kestrava_apply_" + std::string(t->test_suite_name()) + "_" + t->name() + "_" + std::to_string(::getpid()));
    fs::remove_all(Path);
    fs::create_directories(Path);
  }
  ~TempDir() { fs::remove_all(Path); }
  std::string operator/(const std::string& Name) const { return (Path / Name).string(); }
};

inline struct timespec ModificationTime(const std::string& P) {
  struct stat st {};
  EXPECT_EQ(::stat(P.c_str(), &st), 0);
  return st.st_mtim;
}

}  // namespace applytest
