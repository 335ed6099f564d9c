// Reading every file of archives and game directories, as the checking tool
// and its kin see them.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <mutex>
#include <string>

#include "archive/source_reader.h"
#include "ui_save_support.h"

namespace fs = std::filesystem;

namespace {

struct SourceReaderTest : ::testing::Test {
  fs::path Dir = fs::temp_directory_path() / ("kestrava_sources_" + std::to_string(::getpid()));
  void SetUp() override { fs::create_directories(Dir); }
  void TearDown() override { fs::remove_all(Dir); }
  void Write(const std::string& Rel, const std::string& Bytes) {
    fs::create_directories((Dir / Rel).parent_path());
    testsupport::WriteBytes((Dir / Rel).string(), Bytes);
  }
  // Every listed file as "archive|path" -> its bytes, read on every core.
  std::map<std::string, std::string> ReadAll(const GameSources& S) {
    std::vector<size_t> all(S.Files().size());
    for (size_t i = 0; i < all.size(); ++i) all[i] = i;
    std::map<std::string, std::string> got;
    std::mutex m;
    S.Read(all, [&](size_t I, std::string_view Bytes, const std::string& Error) {
      std::lock_guard<std::mutex> lock(m);
      const SourceFile& f = S.Files()[I];
      got[fs::path(f.Archive).filename().string() + "|" + f.Path] = Error.empty() ? std::string(Bytes) : "!" + Error;
    });
    return got;
  }
};

TEST_F(SourceReaderTest, DirectoryIsItsArchivesThenItsLooseFiles) {
  ASSERT_TRUE(testsupport::PackArchive((Dir / "b.hpi").string(), {{"units\\B.FBI", "bee"}}, 1));
  ASSERT_TRUE(testsupport::PackArchive((Dir / "Z.UFO").string(), {{"weapons\\W.TDF", "dubya"}, {"x\\y\\z", ""}}, 2));
  Write("Units/ARMA.FBI", "loose a");
  Write("units2/deep/er/file.tdf", "deep");
  Write("notes.txt", "n");
  Write("broken.gp3", "not an archive");

  GameSources s;
  std::string error;
  ASSERT_TRUE(s.Add(Dir.string(), error)) << error;
  // .ufo before .hpi; the damaged archive is noted and is no loose file.
  std::vector<std::string> order;
  for (const SourceFile& f : s.Files()) order.push_back(fs::path(f.Archive).filename().string() + "|" + f.Path);
  EXPECT_EQ(order, (std::vector<std::string>{"Z.UFO|weapons\\W.TDF", "Z.UFO|x\\y\\z", "b.hpi|units\\B.FBI",
                                             "|notes.txt", "|Units\\ARMA.FBI", "|units2\\deep\\er\\file.tdf"}));
  ASSERT_EQ(s.Notes().size(), 1u);
  EXPECT_NE(s.Notes()[0].find("broken.gp3"), std::string::npos);
  EXPECT_EQ(s.Files()[4].DiskPath, (Dir / "Units/ARMA.FBI").string());
  EXPECT_EQ(s.Files()[4].Size, 7u);

  const auto got = ReadAll(s);
  EXPECT_EQ(got.at("Z.UFO|weapons\\W.TDF"), "dubya");
  EXPECT_EQ(got.at("Z.UFO|x\\y\\z"), "");
  EXPECT_EQ(got.at("b.hpi|units\\B.FBI"), "bee");
  EXPECT_EQ(got.at("|Units\\ARMA.FBI"), "loose a");
  EXPECT_EQ(got.at("|units2\\deep\\er\\file.tdf"), "deep");
}

TEST_F(SourceReaderTest, SourcesThatCannotBeReadAddNothing) {
  GameSources s;
  std::string error;
  EXPECT_FALSE(s.Add((Dir / "missing.hpi").string(), error));
  EXPECT_FALSE(error.empty());
  Write("bad.ufo", "garbage");
  error.clear();
  EXPECT_FALSE(s.Add((Dir / "bad.ufo").string(), error));
  EXPECT_FALSE(error.empty());
  ASSERT_EQ(::mkfifo((Dir / "pipe.hpi").c_str(), 0600), 0);
  EXPECT_FALSE(s.Add((Dir / "pipe.hpi").string(), error));
  EXPECT_TRUE(s.Files().empty());

  // A FIFO among loose files is passed over, never opened.
  ASSERT_TRUE(s.Add(Dir.string(), error)) << error;
  EXPECT_TRUE(s.Files().empty());
  ASSERT_EQ(s.Notes().size(), 1u);  // the damaged bad.ufo
  EXPECT_NE(s.Notes()[0].find("bad.ufo"), std::string::npos);
}

TEST_F(SourceReaderTest, LooseFileThatVanishedIsReportedWithItsReason) {
  Write("units/A.FBI", "a");
  GameSources s;
  std::string error;
  ASSERT_TRUE(s.Add(Dir.string(), error));
  fs::remove(Dir / "units/A.FBI");
  const auto got = ReadAll(s);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got.begin()->second.substr(0, 1), "!");
}

}  // namespace
