// The `hpi` commands on single files (cat, verify, add), run as a separate
// process on archives built here.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#ifdef HPI_TOOL_PATH

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "hpi/archive.h"
#include "hpi/format.h"
#include "hpi/writer.h"
#include "hpi_test_util.h"
#include "hpi_tool_run.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;

using hpitest::StoredRootArchive;
using hpitest::Tool;
using hpitest::ToolRun;

std::string Q(const std::string& s) { return "'" + s + "'"; }
Bytes B(const std::string& s) { return Bytes(s.begin(), s.end()); }
int Lines(const std::string& s) { return int(std::count(s.begin(), s.end(), '\n')); }

// Every entry of an archive: "d path" -> {} and "f path" -> contents.
std::map<std::string, Bytes> Contents(const std::string& archive) {
  std::map<std::string, Bytes> all;
  std::unique_ptr<hpi::Archive> a = hpi::Archive::Open(archive);
  if (!a) return all;
  for (size_t i = 0; i < a->size(); ++i) {
    Bytes data;
    if (!a->at(i).isDirectory) {
      EXPECT_TRUE(a->ReadFile(uint32_t(i), data)) << a->PathOf(i);
    }
    all[(a->at(i).isDirectory ? "d " : "f ") + a->PathOf(i)] = data;
  }
  return all;
}

// An encrypted LZ77 archive with nested directories, an empty directory, an
// empty file and a file of more than one chunk.
std::string BuildModArchive(const hpitest::ScratchDir& dir, std::map<std::string, Bytes>& files) {
  files = {{"units\\ARMCOM.FBI", hpitest::TextData(3000, 1)},
           {"units\\Sub\\noise.bin", hpitest::RandomData(70000, 2)},
           {"weapons\\Weapons.tdf", hpitest::TextData(140000, 3)},
           {"readme.txt", B("mod readme\r\n")},
           {"zero", {}}};
  hpi::Writer w;
  for (const auto& [path, data] : files) EXPECT_TRUE(w.AddFile(path, data.data(), data.size()));
  EXPECT_TRUE(w.AddDirectory("anims\\empty"));
  hpi::Writer::Options o;
  o.method = hpi::Method::Lz77;
  o.headerKey = 0x7D;
  const std::string archive = dir / "mod.ufo";
  EXPECT_TRUE(w.Pack(archive, o));
  return archive;
}

TEST(HpiToolFiles, CatPrintsTheFileExactMatchFirst) {
  hpitest::ScratchDir dir;
  std::map<std::string, Bytes> files;
  const std::string archive = BuildModArchive(dir, files);
  for (const std::string path : {"units\\Sub\\noise.bin", "UNITS/sub/NOISE.BIN", "units\\\\Sub\\noise.bin"}) {
    const ToolRun r = Tool(dir, "cat " + Q(archive) + " " + Q(path));
    EXPECT_EQ(r.status, 0) << path << r.err;
    EXPECT_EQ(B(r.out), files["units\\Sub\\noise.bin"]) << path;
    EXPECT_EQ(r.err, "");
  }
  EXPECT_EQ(Tool(dir, "cat " + Q(archive) + " zero").out, "");
  EXPECT_EQ(B(Tool(dir, "cat " + Q(archive) + " weapons/weapons.TDF").out), files["weapons\\Weapons.tdf"]);

  // Two files whose names differ only in case: the exact spelling wins, in
  // either order of the directory.
  const std::string twins = dir / "twins.hpi";
  hpitest::WriteBytes(twins, StoredRootArchive({{"ab.txt", "lower"}, {"AB.TXT", "upper"}, {"Ab.Txt", "mixed"}}));
  EXPECT_EQ(Tool(dir, "cat " + Q(twins) + " ab.txt").out, "lower");
  EXPECT_EQ(Tool(dir, "cat " + Q(twins) + " AB.TXT").out, "upper");
  EXPECT_EQ(Tool(dir, "cat " + Q(twins) + " Ab.Txt").out, "mixed");
  // A path spelled like a command is still a path.
  const std::string named = dir / "named.hpi";
  hpitest::WriteBytes(named, StoredRootArchive({{"help", "h"}, {"list", "l"}}));
  EXPECT_EQ(Tool(dir, "cat " + Q(named) + " list").out, "l");
  EXPECT_EQ(Tool(dir, "cat " + Q(named) + " help").out, "h");
  const std::string other = Tool(dir, "cat " + Q(twins) + " aB.tXt").out;
  EXPECT_TRUE(other == "lower" || other == "upper" || other == "mixed") << other;

  for (const std::string& args : std::vector<std::string>{
           "cat " + Q(archive) + " units\\missing.fbi", "cat " + Q(archive) + " units",
           "cat " + Q(dir / "none.ufo") + " zero", "cat " + Q(archive) + " ''"}) {
    const ToolRun r = Tool(dir, args);
    EXPECT_EQ(r.status, 1) << args;
    EXPECT_EQ(r.out, "") << args;
    EXPECT_EQ(Lines(r.err), 1) << args << ": " << r.err;
  }
  EXPECT_NE(Tool(dir, "cat " + Q(archive) + " units").err.find("is a directory"), std::string::npos);
  EXPECT_EQ(Tool(dir, "cat " + Q(archive)).status, 2);
}

TEST(HpiToolFiles, VerifyCountsSoundFilesAndNamesDamagedOnes) {
  hpitest::ScratchDir dir;
  std::map<std::string, Bytes> files;
  hpi::Writer w;
  const Bytes one = hpitest::TextData(5000, 4), two = hpitest::TextData(200000, 5), three = B("plain");
  ASSERT_TRUE(w.AddFile("units\\ONE.FBI", one.data(), one.size()));
  ASSERT_TRUE(w.AddFile("units\\TWO.FBI", two.data(), two.size()));
  ASSERT_TRUE(w.AddFile("THREE.TXT", three.data(), three.size()));
  ASSERT_TRUE(w.AddDirectory("empty"));
  const std::string archive = dir / "v.hpi";
  ASSERT_TRUE(w.Pack(archive, {}));  // LZ77, not encrypted

  ToolRun r = Tool(dir, "verify " + Q(archive));
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "3 files checked, none damaged\n");

  // Damage a data byte inside ONE's only chunk (its checksum no longer
  // agrees) and the marker of TWO's third chunk header.
  std::unique_ptr<hpi::Archive> a = hpi::Archive::Open(archive);
  ASSERT_TRUE(a);
  const uint32_t oneAt = a->at(*a->Find("units\\ONE.FBI")).dataOffset;
  const uint32_t twoAt = a->at(*a->Find("units\\TWO.FBI")).dataOffset;
  a.reset();
  Bytes bytes = hpitest::ReadBytes(archive);
  bytes[oneAt + 4 + 19 + 10] ^= 0x55;
  hpitest::WriteBytes(archive, bytes);
  r = Tool(dir, "verify " + Q(archive));  // exactly one damaged file
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(Lines(r.out), 1) << r.out;
  EXPECT_EQ(r.err, "hpi: 1 of 3 files damaged in " + archive + "\n");
  const uint32_t len0 = hpi::LoadU32(&bytes[twoAt]), len1 = hpi::LoadU32(&bytes[twoAt + 4]);
  bytes[twoAt + 4 * 4 + len0 + len1] = 'X';  // "SQSH" -> "XQSH"
  hpitest::WriteBytes(archive, bytes);

  r = Tool(dir, "verify " + Q(archive));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(Lines(r.out), 2) << r.out;
  EXPECT_EQ(r.out.rfind("units\\ONE.FBI: ", 0), 0u) << r.out;
  EXPECT_NE(r.out.find("\nunits\\TWO.FBI: "), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("THREE"), std::string::npos) << r.out;
  EXPECT_EQ(Lines(r.err), 1) << r.err;

  hpitest::WriteBytes(dir / "junk.hpi", hpitest::RandomData(300, 6));
  r = Tool(dir, "verify " + Q(dir / "junk.hpi"));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(Lines(r.err), 1) << r.err;
  EXPECT_EQ(Tool(dir, "verify").status, 2);
  for (const std::string command : {"cat", "verify", "add"}) {
    r = Tool(dir, command + " --help");
    EXPECT_EQ(r.status, 0) << command;
    EXPECT_NE(r.out.find("hpi " + command + " ARCHIVE"), std::string::npos) << command;
  }
}

TEST(HpiToolFiles, AddKeepsEveryOtherFileByteForByte) {
  hpitest::ScratchDir dir;
  std::map<std::string, Bytes> files;
  const std::string archive = BuildModArchive(dir, files);
  std::map<std::string, Bytes> before = Contents(archive);
  ASSERT_EQ(before.size(), 10u);  // 5 files, 5 directories

  // A new file in a new directory, through '/' separators.
  const Bytes added = hpitest::RandomData(66000, 7);
  hpitest::WriteBytes(dir / "new.bin", added);
  ToolRun r = Tool(dir, "add " + Q(archive) + " gamedata/NEW.bin " + Q(dir / "new.bin") + " --compression zlib");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  std::map<std::string, Bytes> expected = before;
  expected["d gamedata"] = {};
  expected["f gamedata\\NEW.bin"] = added;
  EXPECT_EQ(Contents(archive), expected);
  {
    std::unique_ptr<hpi::Archive> a = hpi::Archive::Open(archive);
    ASSERT_TRUE(a);
    // The archive keeps its key: every byte is encrypted again for its new place.
    EXPECT_EQ(a->cipher().key(), hpi::KeyByte(0x7D));
    for (size_t i = 0; i < a->size(); ++i)
      if (!a->at(i).isDirectory) {
        EXPECT_EQ(a->at(i).compression, 2) << a->PathOf(i);
      }
  }

  // Replacing a file named in other letter case keeps the archive's spelling.
  hpitest::WriteBytes(dir / "com.fbi", B("[UNITINFO]\r\n{\r\nUnitName=ARMCOM;\r\n}\r\n"));
  r = Tool(dir, "add " + Q(archive) + " 'UNITS\\armcom.fbi' " + Q(dir / "com.fbi"));
  ASSERT_EQ(r.status, 0) << r.err;
  expected["f units\\ARMCOM.FBI"] = hpitest::ReadBytes(dir / "com.fbi");
  EXPECT_EQ(Contents(archive), expected);
  EXPECT_EQ(Tool(dir, "verify " + Q(archive)).status, 0);
}

TEST(HpiToolFiles, AddLeavesTheArchiveAloneWhenItCannotKeepEverything) {
  hpitest::ScratchDir dir;
  std::map<std::string, Bytes> files;
  const std::string archive = BuildModArchive(dir, files);
  const Bytes original = hpitest::ReadBytes(archive);
  hpitest::WriteBytes(dir / "f.txt", B("new"));
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);

  const std::string twins = dir / "twins.hpi";
  const Bytes twinBytes = StoredRootArchive({{"ab.txt", "lower"}, {"AB.TXT", "upper"}});
  hpitest::WriteBytes(twins, twinBytes);
  Bytes damaged = original;
  {
    std::unique_ptr<hpi::Archive> a = hpi::Archive::Open(archive);
    damaged[a->at(*a->Find("readme.txt")).dataOffset + 4 + 19] ^= 0x01;
  }
  const std::string broken = dir / "broken.ufo";
  hpitest::WriteBytes(broken, damaged);

  struct Case {
    std::string args;
    int status;
  };
  const std::vector<Case> cases = {
      {"add " + Q(archive) + " 'units\\x.fbi' " + Q(dir / "missing.txt"), 1},
      {"add " + Q(archive) + " 'units\\x.fbi' " + Q(dir / "fifo"), 1},
      {"add " + Q(archive) + " 'units\\x.fbi' " + Q(dir.path()), 1},
      {"add " + Q(archive) + " 'UNITS\\sub' " + Q(dir / "f.txt"), 1},        // a directory
      {"add " + Q(archive) + " 'readme.txt\\x' " + Q(dir / "f.txt"), 1},     // below a file
      {"add " + Q(archive) + " 'units\\..\\x' " + Q(dir / "f.txt"), 1},
      {"add " + Q(archive) + " x " + Q(dir / "f.txt") + " --compression fast", 2},
      {"add " + Q(archive) + " x", 2},
      {"add " + Q(twins) + " c.txt " + Q(dir / "f.txt"), 1},               // would merge two files
      {"add " + Q(broken) + " c.txt " + Q(dir / "f.txt"), 1},              // one file unreadable
      {"add " + Q(dir / "none.ufo") + " c.txt " + Q(dir / "f.txt"), 1},
      // Names that extraction would skip.
      {"add " + Q(archive) + " 'C:\\x' " + Q(dir / "f.txt"), 1},
      {"add " + Q(archive) + " '\\abs' " + Q(dir / "f.txt"), 1},
      {"add " + Q(archive) + " \"$(printf 'a\\033[31m')\" " + Q(dir / "f.txt"), 1},
      {"add " + Q(archive) + " \"$(printf 'a\\nb')\" " + Q(dir / "f.txt"), 1},  // stays one line
  };
  for (const Case& c : cases) {
    const ToolRun r = Tool(dir, c.args);
    EXPECT_EQ(r.status, c.status) << c.args << ": " << r.err;
    EXPECT_EQ(Lines(r.err), 1) << c.args << ": " << r.err;
    EXPECT_EQ(r.err.find('\x1b'), std::string::npos) << c.args << ": " << r.err;  // no escape code
  }
  EXPECT_EQ(hpitest::ReadBytes(archive), original);
  EXPECT_EQ(hpitest::ReadBytes(twins), twinBytes);
  EXPECT_EQ(hpitest::ReadBytes(broken), damaged);
  EXPECT_FALSE(fs::exists(dir / "none.ufo"));
  // Nothing was left beside the archives.
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir.path())) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"broken.ufo", "f.txt", "fifo", "mod.ufo", "stderr.txt", "stdout.bin",
                                             "twins.hpi"}));
}

// A read-only archive (no write bit, which holds even for root) is read and
// extracted as any other, and every writer refuses it before writing.
TEST(HpiToolWriters, ReadOnlyArchivesAreReadButNeverWritten) {
  hpitest::ScratchDir dir;
  std::map<std::string, Bytes> files;
  const std::string archive = BuildModArchive(dir, files);
  ASSERT_EQ(::chmod(archive.c_str(), 0444), 0);
  const Bytes original = hpitest::ReadBytes(archive);
  fs::create_directories(dir / "src");
  hpitest::WriteBytes(dir / "src/new.txt", B("new"));

  ToolRun r = Tool(dir, "extract " + Q(archive) + " " + Q(dir / "out"));
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(hpitest::ReadBytes(dir / "out/readme.txt"), files.at("readme.txt"));
  for (const std::string& args : {"add " + Q(archive) + " new.txt " + Q(dir / "src/new.txt"),
                                  "create " + Q(archive) + " " + Q(dir / "src")}) {
    r = Tool(dir, args);
    EXPECT_EQ(r.status, 1) << args;
    EXPECT_EQ(Lines(r.err), 1) << args << ": " << r.err;
    EXPECT_NE(r.err.find(archive + " is read-only"), std::string::npos) << args << ": " << r.err;
  }
  EXPECT_EQ(hpitest::ReadBytes(archive), original);
  struct stat st {};
  ASSERT_EQ(::stat(archive.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0444u);
}

// Runs several tool commands at once and waits for all; true when each exited 0.
bool RunTogether(const std::vector<std::string>& commands) {
  std::string script;
  for (size_t i = 0; i < commands.size(); ++i)
    script += "'" + std::string(HPI_TOOL_PATH) + "' " + commands[i] + " & p" + std::to_string(i) + "=$!; ";
  for (size_t i = 0; i < commands.size(); ++i) script += "wait $p" + std::to_string(i) + " || exit 1; ";
  return std::system(("timeout 60 sh -c " + Q(script) + " 2>/dev/null").c_str()) == 0;
}

TEST(HpiToolWriters, ConcurrentAddsAllLandAndKeepTheArchivesCompression) {
  hpitest::ScratchDir dir;
  std::map<std::string, Bytes> files;
  const std::string archive = BuildModArchive(dir, files);
  // A larger zlib archive widens the time each writer holds it.
  hpitest::WriteBytes(dir / "big.bin", hpitest::RandomData(3 << 20, 9));
  ASSERT_EQ(Tool(dir, "add " + Q(archive) + " big.bin " + Q(dir / "big.bin") + " --compression zlib").status, 0);
  std::vector<std::string> commands;
  for (int i = 0; i < 6; ++i) {
    hpitest::WriteBytes(dir / ("n" + std::to_string(i)), B("file " + std::to_string(i)));
    commands.push_back("add " + Q(archive) + " new\\\\N" + std::to_string(i) + ".TXT " + Q(dir / ("n" + std::to_string(i))));
  }
  ASSERT_TRUE(RunTogether(commands));
  const std::map<std::string, Bytes> after = Contents(archive);
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(after.count("f new\\N" + std::to_string(i) + ".TXT"), 1u) << i;
  }
  EXPECT_EQ(after.at("f big.bin"), hpitest::ReadBytes(dir / "big.bin"));
  // Without --compression each new file is packed as most files are (zlib).
  std::unique_ptr<hpi::Archive> a = hpi::Archive::Open(archive);
  EXPECT_EQ(a->at(*a->Find("new\\N3.TXT")).compression, 2);
}

TEST(HpiToolWriters, FilesTooLargeToReadBackAreRefusedUnread) {
  hpitest::ScratchDir dir;
  std::map<std::string, Bytes> files;
  const std::string archive = BuildModArchive(dir, files);
  const Bytes before = hpitest::ReadBytes(archive);
  fs::create_directory(dir / "src");
  hpitest::WriteBytes(dir / "src/small.txt", B("small"));
  // Sparse: 2 GiB that take no room, one byte over what the reader accepts.
  hpitest::WriteBytes(dir / "src/huge.bin", {});
  fs::resize_file(dir / "src/huge.bin", 0x80000000u);
  ToolRun r = Tool(dir, "add " + Q(archive) + " huge.bin " + Q(dir / "src/huge.bin"));
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find(dir / "src/huge.bin"), std::string::npos) << r.err;
  EXPECT_EQ(hpitest::ReadBytes(archive), before);
  r = Tool(dir, "create " + Q(dir / "new.hpi") + " " + Q(dir / "src"));
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find(dir / "src/huge.bin"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(dir / "new.hpi"));
}

TEST(HpiToolWriters, CreateRefusesDiskNamesThatWouldMerge) {
  hpitest::ScratchDir dir;
  fs::create_directories(dir / "twins/units");
  hpitest::WriteBytes(dir / "twins/units/ARM.FBI", B("upper"));
  hpitest::WriteBytes(dir / "twins/units/arm.fbi", B("lower"));
  ToolRun r = Tool(dir, "create " + Q(dir / "t.hpi") + " " + Q(dir / "twins"));
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("ARM.FBI"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("arm.fbi"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(dir / "t.hpi"));

  fs::create_directories(dir / "slash/a");
  hpitest::WriteBytes(dir / "slash/a/b", B("b"));
  hpitest::WriteBytes(dir / "slash/a\\b", B("backslash"));
  r = Tool(dir, "create " + Q(dir / "s.hpi") + " " + Q(dir / "slash"));
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("a\\b"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(dir / "s.hpi"));
}

TEST(HpiToolWriters, CreateSkipsEverySymbolicLinkAndPacksTheRest) {
  hpitest::ScratchDir dir;
  fs::create_directories(dir / "src/units");
  fs::create_directories(dir / "outside");
  hpitest::WriteBytes(dir / "outside/secret.txt", B("secret"));
  hpitest::WriteBytes(dir / "src/units/real.fbi", B("real"));
  fs::create_symlink(dir / "outside/secret.txt", dir / "src/units/out.fbi");
  fs::create_symlink("real.fbi", dir / "src/units/in.fbi");
  fs::create_directory_symlink(dir / "outside", dir / "src/linkdir");
  const ToolRun r = Tool(dir, "create " + Q(dir / "a.hpi") + " " + Q(dir / "src"));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(Lines(r.err), 3) << r.err;
  for (const std::string link : {"units/out.fbi", "units/in.fbi", "linkdir"}) {
    EXPECT_NE(r.err.find(dir / ("src/" + link) + ": it is a symbolic link"), std::string::npos) << r.err;
  }
  EXPECT_EQ(Contents(dir / "a.hpi"), (std::map<std::string, Bytes>{{"d units", {}}, {"f units\\real.fbi", B("real")}}));
}

TEST(HpiToolWriters, ASlashInsideANameIsNeitherMergedNorOverwritten) {
  hpitest::ScratchDir dir;
  const std::string archive = dir / "slash.hpi";
  const Bytes bytes = StoredRootArchive({{"a/b", "slash"}, {"a\\b", "backslash"}});
  hpitest::WriteBytes(archive, bytes);
  hpitest::WriteBytes(dir / "f.txt", B("new"));
  ToolRun r = Tool(dir, "add " + Q(archive) + " c.txt " + Q(dir / "f.txt"));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(Lines(r.err), 1);
  EXPECT_NE(r.err.find("a/b and a\\b"), std::string::npos) << r.err;
  EXPECT_EQ(hpitest::ReadBytes(archive), bytes);

  r = Tool(dir, "extract " + Q(archive) + " " + Q(dir / "out"));
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("skipping a\\b"), std::string::npos) << r.err;
  EXPECT_EQ(hpitest::ReadBytes(dir / "out/a/b"), B("slash"));
}

}  // namespace

#endif  // HPI_TOOL_PATH
