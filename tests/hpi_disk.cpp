// Where the library meets the disk: extraction below a target directory that
// never leaves it, archives that are not regular files, and names that differ
// in letter case only.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "hpi/disk_writer.h"
#include "hpi/hpi.h"
#include "hpi_test_util.h"
#include "ui_save_support.h"

namespace fs = std::filesystem;

namespace {

std::string Read(const std::string& Path) {
  const std::vector<uint8_t> b = hpitest::ReadBytes(Path);
  return std::string(b.begin(), b.end());
}
void Write(const std::string& Path, const std::string& Text) {
  hpitest::WriteBytes(Path, std::vector<uint8_t>(Text.begin(), Text.end()));
}
std::vector<std::string> Names(const std::string& Dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(Dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// A file read through the library, or "<none>".
std::string OpenAndRead(HPIHANDLE H, const char* Path) {
  HPIHANDLE f = HPIOpenFile(H, Path);
  if (!f) return "<none>";
  std::string out;
  char piece[7];
  for (int32_t n; (n = HPIGet(piece, f, int32_t(out.size()), sizeof piece)) > 0;) out.append(piece, size_t(n));
  HPICloseFile(f);
  return out;
}

}  // namespace

TEST(DiskWriter, NothingOutsideTheTargetIsCreatedOrChanged) {
  hpitest::ScratchDir dir;
  const std::string target = dir / "target", outside = dir / "outside";
  fs::create_directories(target + "/units");
  fs::create_directories(outside);
  Write(outside + "/x", "outside x");
  Write(outside + "/h", "outside h");
  fs::create_symlink(outside + "/new", target + "/units/NEW.FBI");  // dangling
  fs::create_symlink(outside + "/x", target + "/units/OLD.FBI");
  fs::create_directory_symlink(outside, target + "/linkdir");
  fs::create_symlink(outside + "/nothing", target + "/dangling");
  fs::create_hard_link(outside + "/h", target + "/hard.txt");
  Write(target + "/plain.txt", "old");

  int error = 0;
  std::unique_ptr<hpi::DiskWriter> disk = hpi::DiskWriter::Open(target, &error);
  ASSERT_TRUE(disk) << std::strerror(error);
  auto file = [&](const std::string& Path, const std::string& Data = "new") {
    return disk->WriteFile(Path, Data.data(), Data.size()).status;
  };
  using S = hpi::DiskStatus;
  EXPECT_EQ(file("units\\NEW.FBI"), S::SymbolicLink);
  EXPECT_EQ(file("units\\OLD.FBI"), S::SymbolicLink);
  EXPECT_EQ(file("linkdir\\a.txt"), S::SymbolicLink);
  EXPECT_EQ(file("dangling\\a.txt"), S::SymbolicLink);
  EXPECT_EQ(disk->MakeDirectory("linkdir\\sub").status, S::SymbolicLink);
  EXPECT_EQ(disk->MakeDirectory("dangling").status, S::SymbolicLink);
  EXPECT_EQ(file("..\\evil.txt"), S::LeavesTarget);
  EXPECT_EQ(file("units\\..\\..\\evil.txt"), S::LeavesTarget);
  EXPECT_EQ(file("\\abs.txt"), S::LeavesTarget);
  EXPECT_EQ(file("C:\\drive.txt"), S::LeavesTarget);
  // A file already there is replaced, never written through: its hard link
  // outside keeps its bytes.
  EXPECT_EQ(file("hard.txt"), S::Done);
  EXPECT_EQ(file("plain.txt", "replaced"), S::Done);
  EXPECT_EQ(file("units\\ok.fbi", "ok"), S::Done);
  EXPECT_EQ(file(".\\units\\deeper\\.\\more.fbi", "more"), S::Done);
  // A file where a directory is wanted, a directory where a file is wanted.
  const hpi::DiskResult notDir = disk->WriteFile("plain.txt\\x", "x", 1);
  EXPECT_EQ(notDir.status, S::Failed);
  EXPECT_EQ(notDir.error, ENOTDIR);
  EXPECT_EQ(disk->WriteFile("units", "x", 1).error, EISDIR);
  // A name longer than the disk takes is reported as such.
  const std::string longName(300, 'n');
  const hpi::DiskResult tooLong = disk->WriteFile("units\\" + longName, "x", 1);
  EXPECT_EQ(tooLong.status, S::NameTooLong);
  EXPECT_EQ(tooLong.Reason(), std::strerror(ENAMETOOLONG));
  EXPECT_EQ(disk->MakeDirectory(longName + "\\sub").status, S::NameTooLong);
  disk.reset();

  EXPECT_EQ(Names(outside), (std::vector<std::string>{"h", "x"}));
  EXPECT_EQ(Read(outside + "/x"), "outside x");
  EXPECT_EQ(Read(outside + "/h"), "outside h");
  EXPECT_EQ(Read(target + "/hard.txt"), "new");
  EXPECT_EQ(Read(target + "/plain.txt"), "replaced");
  EXPECT_EQ(Read(target + "/units/ok.fbi"), "ok");
  EXPECT_EQ(Read(target + "/units/deeper/more.fbi"), "more");
  EXPECT_TRUE(fs::is_symlink(target + "/units/NEW.FBI"));
  // No temporary file is left behind.
  EXPECT_EQ(Names(target), (std::vector<std::string>{"dangling", "hard.txt", "linkdir", "plain.txt", "units"}));
  EXPECT_EQ(Names(target + "/units"), (std::vector<std::string>{"NEW.FBI", "OLD.FBI", "deeper", "ok.fbi"}));
}

// Deeper than the system's path limit, going down and back up level by level
// as a depth-first walk does, with files on the way up.
TEST(DiskWriter, DeepNestingBeyondThePathLimit) {
  hpitest::ScratchDir dir;
  const std::string target = dir / "t";
  fs::create_directory(target);
  constexpr int kDepth = 1100;  // "dddd/" per level: about 5,500 characters
  std::unique_ptr<hpi::DiskWriter> disk = hpi::DiskWriter::Open(target);
  ASSERT_TRUE(disk);
  std::string path;
  std::vector<std::string> paths;
  for (int i = 0; i < kDepth; ++i) {
    path += (i ? "\\" : "") + std::string("dddd");
    paths.push_back(path);
    ASSERT_TRUE(disk->MakeDirectory(path).ok()) << i;
  }
  for (int i = kDepth - 1; i >= 0; i -= 7) {
    const std::string text = std::to_string(i);
    ASSERT_TRUE(disk->WriteFile(paths[size_t(i)] + "\\f", text.data(), text.size()).ok()) << i;
  }
  ASSERT_TRUE(disk->WriteFile("top", "T", 1).ok());
  disk.reset();

  // Walked with one open directory at a time, as no whole path fits.
  int fd = ::open(target.c_str(), O_RDONLY | O_DIRECTORY);
  std::string found;
  for (int i = 0; i < kDepth && fd >= 0; ++i) {
    const int next = ::openat(fd, "dddd", O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
    ::close(fd);
    fd = next;
    const int file = fd >= 0 ? ::openat(fd, "f", O_RDONLY) : -1;
    if (file < 0) continue;
    char buffer[16];
    const ssize_t n = ::read(file, buffer, sizeof buffer);
    ::close(file);
    if (n > 0) found += std::string(buffer, size_t(n)) + " ";
  }
  ASSERT_GE(fd, 0);
  ::close(fd);
  std::string expected;
  for (int i = (kDepth - 1) % 7; i < kDepth; i += 7) expected += std::to_string(i) + " ";
  EXPECT_EQ(found, expected);
  EXPECT_EQ(Read(target + "/top"), "T");
  // The standard library's removal works on whole paths; rm does not.
  EXPECT_EQ(std::system(("rm -rf '" + target + "'").c_str()), 0);
}

TEST(HpiOpen, OnlyRegularFilesAndNeverBlocking) {
  hpitest::ScratchDir dir;
  const std::string fifo = dir / "x.hpi";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0666), 0);
  fs::create_directory(dir / "d.hpi");
  // Opening a FIFO for reading would wait for a writer for ever; should it
  // ever block again, the alarm ends the test as a failure.
  ::alarm(60);
  EXPECT_EQ(HPIOpen(fifo.c_str()), nullptr);
  EXPECT_EQ(HPIOpen((dir / "d.hpi").c_str()), nullptr);
  EXPECT_EQ(HPIOpen("/dev/null"), nullptr);
  std::string why;
  EXPECT_FALSE(hpi::Archive::Open(fifo, &why));
  EXPECT_EQ(why, "not a regular file");
  ::alarm(0);
}

// DUP.TXT and dup.txt side by side: each is found by its own exact name; a
// name matching neither exactly finds the first stored.
TEST(HpiOpen, ExactNameWinsOverOneEqualIgnoringCase) {
  hpitest::ScratchDir dir;
  const std::string path = dir / "dup.hpi";
  using testsupport::RawNode;
  const std::string upper(32, 'U'), lower = "lower!!!";
  Write(path, testsupport::RawArchive({RawNode{"DUP.TXT", false, upper, {}}, RawNode{"dup.txt", false, lower, {}},
                                       RawNode{"Sub", true, "", {RawNode{"a", false, "Sub a", {}}}},
                                       RawNode{"SUB", true, "", {RawNode{"a", false, "SUB a", {}}}}}));
  HPIHANDLE h = HPIOpen(path.c_str());
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(OpenAndRead(h, "DUP.TXT"), upper);
  EXPECT_EQ(OpenAndRead(h, "dup.txt"), lower);
  EXPECT_EQ(OpenAndRead(h, "Dup.Txt"), upper);
  EXPECT_EQ(OpenAndRead(h, "Sub\\a"), "Sub a");
  EXPECT_EQ(OpenAndRead(h, "SUB\\a"), "SUB a");
  EXPECT_EQ(OpenAndRead(h, "sub\\A"), "Sub a");
  HPIClose(h);
}
