// The `hpi` command-line tool, run as a separate process.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#ifdef HPI_TOOL_PATH

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "hpi/archive.h"
#include "hpi/writer.h"
#include "hpi_test_util.h"
#include "hpi_tool_run.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;

using hpitest::Tool;
using hpitest::ToolRun;

// Every directory ("d path") and file ("f path" -> contents) below root.
std::map<std::string, Bytes> Tree(const std::string& root) {
  std::map<std::string, Bytes> tree;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    const std::string rel = fs::relative(e.path(), root).generic_string();
    if (e.is_directory()) tree["d " + rel] = {};
    else tree["f " + rel] = hpitest::ReadBytes(e.path().string());
  }
  return tree;
}

TEST(HpiTool, CreateListExtractRoundTripForEveryMethod) {
  hpitest::ScratchDir dir;
  const std::string src = dir / "src";
  fs::create_directories(src + "/Units/Sub");
  fs::create_directories(src + "/empty");
  hpitest::WriteBytes(src + "/Units/ARMCOM.FBI", hpitest::TextData(65536, 1));
  hpitest::WriteBytes(src + "/Units/Sub/noise.bin", hpitest::RandomData(70000, 2));
  hpitest::WriteBytes(src + "/zero", {});
  // Names sorted ignoring case.
  const std::string expectedList =
      "d\t0\tempty\n"
      "d\t0\tUnits\n"
      "f\t65536\tUnits\\ARMCOM.FBI\n"
      "d\t0\tUnits\\Sub\n"
      "f\t70000\tUnits\\Sub\\noise.bin\n"
      "f\t0\tzero\n";
  for (const std::string method : {"none", "lz77", "zlib", ""}) {
    SCOPED_TRACE(method);
    const std::string archive = dir / ("a" + method + ".hpi"), out = dir / ("out" + method);
    const std::string flag = method.empty() ? "" : " --compression " + method;
    ToolRun r = Tool(dir, "create '" + archive + "' '" + src + "'" + flag);
    ASSERT_EQ(r.status, 0) << r.err;
    r = Tool(dir, "list '" + archive + "'");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, expectedList);
    r = Tool(dir, "extract '" + archive + "' '" + out + "'");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Tree(out), Tree(src));

    std::unique_ptr<hpi::Archive> a = hpi::Archive::Open(archive);
    ASSERT_TRUE(a);
    const int expected = method == "none" ? 0 : method == "zlib" ? 2 : 1;  // lz77 by default
    ASSERT_EQ(a->PathOf(2), "Units\\ARMCOM.FBI");
    EXPECT_EQ(a->at(2).compression, expected);
  }
}

TEST(HpiTool, ExtractSkipsEntriesThatLeaveTheDirectory) {
  hpitest::ScratchDir dir;
  hpi::Writer w;
  const Bytes evil = {'e', 'v', 'i', 'l'}, ok = {'o', 'k'};
  ASSERT_TRUE(w.AddFile("zz\\evil.txt", evil.data(), evil.size()));
  ASSERT_TRUE(w.AddFile("ok.txt", ok.data(), ok.size()));
  ASSERT_TRUE(w.AddFile("link\\through.txt", ok.data(), ok.size()));
  const std::string archive = dir / "evil.hpi";
  ASSERT_TRUE(w.Pack(archive, {}));
  // Rename the directory "zz" to ".." in the (plain) directory block.
  Bytes bytes = hpitest::ReadBytes(archive);
  const Bytes needle = {'z', 'z', 0};
  auto it = std::search(bytes.begin(), bytes.end(), needle.begin(), needle.end());
  ASSERT_NE(it, bytes.end());
  it[0] = '.', it[1] = '.';
  hpitest::WriteBytes(archive, bytes);

  ToolRun r = Tool(dir, "list '" + archive + "'");
  EXPECT_NE(r.out.find("f\t4\t..\\evil.txt\n"), std::string::npos) << r.out;
  const std::string out = dir / "out/inner";
  // A symbolic link already in the target directory does not lead out either.
  fs::create_directories(out);
  fs::create_directories(dir / "elsewhere");
  fs::create_directory_symlink(dir / "elsewhere", out + "/link");
  r = Tool(dir, "extract '" + archive + "' '" + out + "'");
  // Skipped entries make the tree incomplete, which the exit status tells.
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("..\\evil.txt"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(dir / "out/evil.txt"));
  EXPECT_FALSE(fs::exists(dir / "evil.txt"));
  EXPECT_FALSE(fs::exists(dir / "elsewhere/through.txt"));
  EXPECT_NE(r.err.find("link\\through.txt"), std::string::npos) << r.err;
  EXPECT_EQ(hpitest::ReadBytes(out + "/ok.txt"), ok);
}

// A dangling link already in the target is not written through; a name too
// long for the disk is an error of its own; a FIFO named like an archive is
// refused at once.
TEST(HpiTool, ExtractNeverFollowsLinksAndReportsLongNames) {
  hpitest::ScratchDir dir;
  hpi::Writer w;
  const Bytes data = {'n', 'e', 'w'};
  ASSERT_TRUE(w.AddFile("units\\NEW.FBI", data.data(), data.size()));
  ASSERT_TRUE(w.AddFile("units\\OTHER.FBI", data.data(), data.size()));
  const std::string archive = dir / "a.hpi";
  ASSERT_TRUE(w.Pack(archive, {}));
  const std::string target = dir / "target";
  fs::create_directories(target + "/units");
  fs::create_directories(dir / "outside");
  fs::create_symlink(dir / "outside/x", target + "/units/NEW.FBI");
  ToolRun r = Tool(dir, "extract '" + archive + "' '" + target + "'");
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_FALSE(fs::exists(dir / "outside/x"));
  EXPECT_EQ(r.err, "hpi: warning: skipping units\\NEW.FBI: its path runs through a symbolic link in the target directory\n");
  EXPECT_EQ(hpitest::ReadBytes(target + "/units/OTHER.FBI"), data);

  hpi::Writer longNames;
  const std::string longName(300, 'L');
  ASSERT_TRUE(longNames.AddFile("ok.txt", data.data(), data.size()));
  ASSERT_TRUE(longNames.AddFile("units\\" + longName, data.data(), data.size()));
  const std::string longArchive = dir / "long.hpi";
  ASSERT_TRUE(longNames.Pack(longArchive, {}));
  r = Tool(dir, "extract '" + longArchive + "' '" + (dir / "out") + "'");
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.err.find("units\\" + longName), std::string::npos) << r.err;
  EXPECT_NE(r.err.find(std::strerror(ENAMETOOLONG)), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("leave"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("leads out"), std::string::npos) << r.err;
  EXPECT_EQ(hpitest::ReadBytes(dir / "out/ok.txt"), data);

  const std::string fifo = dir / "fifo.hpi";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0666), 0);
  // `timeout` ends a tool that blocks, with status 124.
  const std::string out = dir / "fifo-err.txt";
  const int rc = std::system(("timeout 60 '" + std::string(HPI_TOOL_PATH) + "' list '" + fifo + "' 2>'" + out + "'").c_str());
  ASSERT_TRUE(WIFEXITED(rc));
  EXPECT_EQ(WEXITSTATUS(rc), 1);
  const Bytes err = hpitest::ReadBytes(out);
  EXPECT_EQ(std::string(err.begin(), err.end()), "hpi: cannot read archive " + fifo + ": not a regular file\n");
}

TEST(HpiTool, FailuresExitNonZeroWithOneLine) {
  hpitest::ScratchDir dir;
  hpitest::WriteBytes(dir / "junk.hpi", hpitest::RandomData(500, 3));
  fs::create_directories(dir / "src");
  for (const std::string& args : std::vector<std::string>
       {"list '" + (dir / "missing.hpi") + "'", "list '" + (dir / "junk.hpi") + "'",
        "extract '" + (dir / "junk.hpi") + "' '" + (dir / "x") + "'",
        "create '" + (dir / "a.hpi") + "' '" + (dir / "nodir") + "'",
        "create '" + (dir / "a.hpi") + "' '" + (dir / "src") + "' --compression fast",
        "create '" + (dir / "no/such/a.hpi") + "' '" + (dir / "src") + "'", "list", "frobnicate", ""}) {
    const ToolRun r = Tool(dir, args);
    EXPECT_NE(r.status, 0) << args;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << args << ": " << r.err;
  }
  EXPECT_FALSE(fs::exists(dir / "a.hpi"));
  const ToolRun help = Tool(dir, "--help");
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("hpi create ARCHIVE DIR"), std::string::npos);
}

// Names with control bytes are shown escaped, one entry per line; a name
// that looks like the escaped form is escaped too.
TEST(HpiTool, ListEscapesControlBytesInNames) {
  hpitest::ScratchDir dir;
  const std::string archive = dir / "names.hpi";
  hpitest::WriteBytes(archive, hpitest::StoredRootArchive({{"two\nlines", "a"}, {"tab\there", "b"},
                                                           {"red\x1b[31m", "c"}, {"csi\x9b" "2J\x7f", "d"},
                                                           {"it's\rback\\slash", "e"}, {"$'x'", "f"},
                                                           {"plain \xe9.fbi", "g"}}));
  const ToolRun r = Tool(dir, "list '" + archive + "'");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "f\t1\t$'two\\nlines'\n"
            "f\t1\t$'tab\\there'\n"
            "f\t1\t$'red\\x1b[31m'\n"
            "f\t1\t$'csi\\x9b2J\\x7f'\n"
            "f\t1\t$'it\\'s\\rback\\\\slash'\n"
            "f\t1\t$'$\\'x\\''\n"
            "f\t1\tplain \xe9.fbi\n");
}

// Output that cannot be written is reported, with a non-zero status.
TEST(HpiTool, FailedWritesToStandardOutputAreReported) {
  hpitest::ScratchDir dir;
  hpi::Writer w;
  const Bytes data = hpitest::TextData(3000, 4);
  ASSERT_TRUE(w.AddFile("units\\A.FBI", data.data(), data.size()));
  const std::string archive = dir / "a.hpi";
  ASSERT_TRUE(w.Pack(archive, {}));
  for (const std::string& args : std::vector<std::string>{"list '" + archive + "'", "verify '" + archive + "'",
                                 "cat '" + archive + "' units/a.fbi", "--help", "add --help", "help"}) {
    const ToolRun r = Tool(dir, args, "/dev/full");
    EXPECT_EQ(r.status, 1) << args;
    EXPECT_EQ(r.err, "hpi: cannot write to standard output: " + std::string(std::strerror(ENOSPC)) + "\n")
        << args;
  }
}

}  // namespace

#endif  // HPI_TOOL_PATH
