// Replacing a loose definition file: all or nothing, mode and links kept,
// read-only files and changes by another writer never overwritten.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>

#include "archive/write_whole_file.h"
#include "hpi/atomic_file.h"
#include "hpi/testing.h"

namespace fs = std::filesystem;

namespace {

const std::string kOld = "[UNITINFO]\r\n{\r\nUnitName=OLD;\r\nMaxDamage=100;\r\n}\r\n";
const std::string kNew = "[UNITINFO]\r\n{\r\nUnitName=NEW;\r\nMaxDamage=2200;\r\nBuildCostMetal=50;\r\n}\r\n";

std::string Read(const fs::path& P) {
  std::ifstream in(P, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void Write(const fs::path& P, const std::string& Data) { std::ofstream(P, std::ios::binary) << Data; }

unsigned ModeOf(const fs::path& P) {
  struct stat st {};
  return ::stat(P.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

struct Scratch {
  fs::path dir;
  Scratch() {
    char name[] = "/tmp/write_whole_file-XXXXXX";
    dir = ::mkdtemp(name);
  }
  ~Scratch() {
    hpi::testing::FailWritesAfter(-1);
    std::error_code ec;
    fs::permissions(dir, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(dir, ec);
  }
  size_t Entries() const { return static_cast<size_t>(std::distance(fs::directory_iterator(dir), {})); }
};

// The ways a write can go wrong or be refused: each leaves the old bytes and
// no stray file beside them.
TEST(WriteWholeFile, EveryRefusalOrFailureKeepsTheOldBytes) {
  using Reason = WriteFileError::Reason;
  const std::optional<std::string> old = kOld, otherText = std::string("[UNITINFO]\r\n{\r\nMaxDamage=2100;\r\n}\r\n"),
                                   none = std::nullopt;
  struct Case {
    const char* what;
    std::function<void(const fs::path&)> prepare;
    const std::optional<std::string>* expected;
    Reason reason;
  };
  const Case cases[] = {
      // Full disk, I/O error: the budget runs out half way through the new bytes.
      {"write fails", [](const fs::path&) { hpi::testing::FailWritesAfter(int64_t(kNew.size() / 2)); }, nullptr,
       Reason::Failed},
      {"fails with a check", [](const fs::path&) { hpi::testing::FailWritesAfter(0); }, &old, Reason::Failed},
      // No write bit at all: refused even for root, which the system would let write.
      {"mode 0444", [](const fs::path& p) { ::chmod(p.c_str(), 0444); }, nullptr, Reason::ReadOnly},
      {"mode 0555", [](const fs::path& p) { ::chmod(p.c_str(), 0555); }, &old, Reason::ReadOnly},
      // Another writer changed it since it was read, or it was expected missing.
      {"changed meanwhile", [](const fs::path&) {}, &otherText, Reason::Changed},
      {"expected missing", [](const fs::path&) {}, &none, Reason::Changed},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Scratch s;
    const fs::path file = s.dir / "ARMCOM.FBI";
    Write(file, kOld);
    c.prepare(file);
    const unsigned mode = ModeOf(file);
    try {
      WriteWholeFile(file, kNew.data(), kNew.size(), c.expected);
      ADD_FAILURE() << "written";
    } catch (const WriteFileError& e) {
      EXPECT_EQ(e.reason(), c.reason) << e.what();
      EXPECT_NE(std::string(e.what()).find(file.string()), std::string::npos) << e.what();
    }
    hpi::testing::FailWritesAfter(-1);
    EXPECT_EQ(Read(file), kOld);
    EXPECT_EQ(ModeOf(file), mode);
    EXPECT_EQ(s.Entries(), 1u);  // no temporary file left beside it
  }
}

// A successful write: the bytes exactly, the mode kept, a link written through.
TEST(WriteWholeFile, ReplacesThroughLinksAndKeepsTheMode) {
  Scratch s;
  const fs::path file = s.dir / "ARMCOM.FBI";
  Write(file, kOld);
  ASSERT_EQ(::chmod(file.c_str(), 0640), 0);
  const std::optional<std::string> old = kOld;
  WriteWholeFile(file, kNew.data(), kNew.size(), &old);
  EXPECT_EQ(Read(file), kNew);
  EXPECT_EQ(ModeOf(file), 0640u);

  // A relative link in another directory: the file it names is replaced, the link stays.
  fs::create_directory(s.dir / "mod");
  const fs::path link = s.dir / "mod/Link.FBI";
  fs::create_symlink("../ARMCOM.FBI", link);
  WriteWholeFile(link, kOld.data(), kOld.size());
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(fs::read_symlink(link), fs::path("../ARMCOM.FBI"));
  EXPECT_EQ(Read(file), kOld);
  EXPECT_EQ(ModeOf(file), 0640u);

  // Root saving a modder's file leaves it the modder's (others cannot give
  // files away, so their new file is theirs).
  if (::geteuid() == 0) {
    ASSERT_EQ(::chown(file.c_str(), 4321, 4322), 0);
    WriteWholeFile(file, kNew.data(), kNew.size());
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 4321u);
    EXPECT_EQ(st.st_gid, 4322u);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
  }

  // Emptied, and a new file where none was expected.
  WriteWholeFile(file, "", 0);
  EXPECT_EQ(Read(file), "");
  const std::optional<std::string> none;
  WriteWholeFile(s.dir / "NEW.FBI", kNew.data(), kNew.size(), &none);
  EXPECT_EQ(Read(s.dir / "NEW.FBI"), kNew);
}

// Not a regular file: refused at once, never opened in a way that blocks.
TEST(WriteWholeFile, RefusesWhatIsNoRegularFile) {
  Scratch s;
  const fs::path fifo = s.dir / "FIFO.FBI";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0666), 0);
  fs::create_directory(s.dir / "DIR.FBI");
  for (const fs::path& p : {fifo, s.dir / "DIR.FBI"}) {
    SCOPED_TRACE(p);
    EXPECT_THROW(WriteWholeFile(p, kNew.data(), kNew.size()), WriteFileError);
  }
  EXPECT_TRUE(fs::is_fifo(fifo));
  EXPECT_TRUE(fs::is_directory(s.dir / "DIR.FBI"));
}

TEST(WriteWholeFile, ReadOnlyIsTheModeOrThePermission) {
  Scratch s;
  const fs::path file = s.dir / "A.FBI";
  Write(file, kOld);
  EXPECT_FALSE(hpi::IsReadOnly(file));
  EXPECT_FALSE(hpi::IsReadOnly(s.dir / "missing.FBI"));
  for (unsigned mode : {0444u, 0400u, 0555u, 0000u}) {
    ::chmod(file.c_str(), mode);
    EXPECT_TRUE(hpi::IsReadOnly(file)) << std::oct << mode;
  }
  ::chmod(file.c_str(), 0200);  // write-only is not read-only
  EXPECT_FALSE(hpi::IsReadOnly(file));
  // A link follows to its file.
  ::chmod(file.c_str(), 0444);
  fs::create_symlink(file, s.dir / "link.FBI");
  EXPECT_TRUE(hpi::IsReadOnly(s.dir / "link.FBI"));
}

}  // namespace
