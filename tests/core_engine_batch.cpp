// Archive loads read their files in one batch: the lists must still get the
// files in the archive's walk order, without the damaged ones, exactly as if
// each had been opened and read in turn; and an Open that keeps the archive
// open across the four lists loads what four separate opens load.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "archive/engine.h"
#include "archive/scripted_dialogs.h"
#include "definitions/catalogue.h"
#include "hpi/archive.h"
#include "hpi/hpi.h"
#include "state/app_state.h"

namespace fs = std::filesystem;

namespace {

using Files = std::map<std::string, std::string>;

void MakeArchive(const std::string& Path, const Files& Content, int Compression) {
  HPIHANDLE pack = HPICreate(Path.c_str(), nullptr);
  for (const auto& [name, data] : Content)
    ASSERT_NE(HPIAddFileFromMemory(pack, name.c_str(), data.data(), static_cast<int32_t>(data.size())), 0);
  ASSERT_NE(HPIPackArchive(pack, Compression), 0);
}

// Flips one byte of the file's chunk data, so that its checksum fails.
void DamageFile(const std::string& Path, const std::string& Inside) {
  uint32_t at = 0;
  {
    std::unique_ptr<hpi::Archive> a = hpi::Archive::Open(Path);
    ASSERT_TRUE(a);
    at = a->at(*a->Find(Inside)).dataOffset + 4 + 19 + 3;
  }
  std::fstream f(Path, std::ios::in | std::ios::out | std::ios::binary);
  f.seekg(at);
  char c = 0;
  f.get(c);
  f.seekp(at);
  f.put(static_cast<char>(c ^ 0x21));
}

// One list entry as path, size, kind, parent and contents.
std::vector<std::string> Describe(const AllUnpacked& L) {
  std::vector<std::string> out;
  for (int i = 0; i < L.Count; ++i) {
    const UnPacked& e = L[i];
    out.push_back(e.UnPackedFile + " " + std::to_string(e.PFileSize) + " " + std::to_string(e.Kind) + " " +
                  e.ParentFile + " " +
                  (e.Contents ? std::string(e.Contents.get(), static_cast<size_t>(e.PFileSize)) : "-"));
  }
  return out;
}

struct EngineBatch : ::testing::Test {
  fs::path root = fs::temp_directory_path() /
                  ("kestrava_batch_" + std::to_string(::getpid()) + "_" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
  void SetUp() override {
    fs::remove_all(root);
    fs::create_directories(root);
  }
  void TearDown() override { fs::remove_all(root); }
  std::string At(const std::string& Rel) const { return (root / Rel).string(); }
};

}  // namespace

TEST_F(EngineBatch, FilesComeInWalkOrderWithoutTheDamagedOne) {
  const std::string a = At("a.hpi");
  Files content = {{"units\\a.fbi", "UnitName=A;"},       {"units\\B.FBI", std::string(200000, 'b')},
                   {"units\\c.fbi", std::string(900, 'c')}, {"units\\d.fbi", ""},
                   {"units\\sub.fbi\\inner.fbi", "I"},     {"weapons\\w.tdf", "[W]"}};
  // More files than one read window takes.
  for (int i = 0; i < 600; ++i) content["units\\f" + std::to_string(1000 + i) + ".fbi"] = std::string(i % 70, 'f');
  MakeArchive(a, content, 2);
  DamageFile(a, "units\\c.fbi");

  ScriptedDialogs d;
  AppState s{d};
  SetUpColumns(s);
  ReadwriteHPIDir(s, &s.UnitFiles, a, rwLoadArchive);
  // Stored order is by name ignoring case; c.fbi is left out, the rest stay in order.
  std::vector<std::string> expected = {"units\\a.fbi 11 0 " + a + " UnitName=A;",
                                       "units\\B.FBI 200000 0 " + a + " " + std::string(200000, 'b'),
                                       "units\\d.fbi 0 0 " + a + " -"};
  for (int i = 0; i < 600; ++i)
    expected.push_back("units\\f" + std::to_string(1000 + i) + ".fbi " + std::to_string(i % 70) + " 0 " + a + " " +
                       (i % 70 ? std::string(i % 70, 'f') : "-"));
  expected.push_back("units\\sub.fbi 0 255 " + a + " -");
  EXPECT_EQ(Describe(s.UnitFiles), expected);

  // The whole-archive read: directories before their contents, the damaged
  // file counted as skipped.
  EXPECT_EQ(ReadwriteHPIDir(s, &s.RepackFiles, a, rwLoadWholeArchive), 1);
  std::vector<std::string> whole = {"units 0 255 " + a + " -"};
  for (size_t i = 0; i + 1 < expected.size(); ++i) {
    std::string line = expected[i];
    whole.push_back(line.replace(line.find(" 0 " + a), 3, " 8 "));
  }
  whole.push_back("units\\sub.fbi 0 255 " + a + " -");
  whole.push_back("units\\sub.fbi\\inner.fbi 1 8 " + a + " I");
  whole.push_back("weapons 0 255 " + a + " -");
  whole.push_back("weapons\\w.tdf 3 8 " + a + " [W]");
  EXPECT_EQ(Describe(s.RepackFiles), whole);
  EXPECT_TRUE(d.Messages.empty());
}

TEST_F(EngineBatch, OneOpenPerArchiveLoadsWhatOneOpenPerListLoads) {
  const std::string a = At("a.hpi"), b = At("b.gp3");
  MakeArchive(a, {{"units\\u.fbi", "U"}, {"weapons\\w.tdf", "[W]"}, {"download\\m.tdf", "[M]"}}, 1);
  MakeArchive(b, {{"units\\v.fbi", "V"}, {"features\\corpses\\c.tdf", "[C]"}, {"weapons\\x.tdf", "[X]"}}, 2);
  const std::vector<std::string> order = {a, At("missing.hpi"), b, a};

  auto load = [&](AppState& s, bool keep) {
    AllUnpacked* const lists[] = {&s.UnitFiles, &s.WeaponFiles, &s.DownloadFiles, &s.CorpseFiles};
    std::unique_ptr<KeepArchiveOpen> kept;
    if (keep) kept = std::make_unique<KeepArchiveOpen>(s);
    for (const std::string& f : order)
      for (AllUnpacked* list : lists) ReadwriteHPIDir(s, list, f, rwLoadArchive);
  };
  ScriptedDialogs d1, d2;
  AppState perList{d1}, perArchive{d2};
  SetUpColumns(perList);
  SetUpColumns(perArchive);
  load(perList, false);
  load(perArchive, true);
  for (auto [x, y] : {std::pair{&perList.UnitFiles, &perArchive.UnitFiles},
                      {&perList.WeaponFiles, &perArchive.WeaponFiles},
                      {&perList.DownloadFiles, &perArchive.DownloadFiles},
                      {&perList.CorpseFiles, &perArchive.CorpseFiles}})
    EXPECT_EQ(Describe(*x), Describe(*y));
  EXPECT_EQ(Describe(perArchive.WeaponFiles),
            (std::vector<std::string>{"weapons\\w.tdf 3 0 " + a + " [W]", "weapons\\x.tdf 3 0 " + b + " [X]"}));
  EXPECT_EQ(perArchive.UnitFiles.Count, 2);
  EXPECT_TRUE(d1.Messages.empty());
  EXPECT_TRUE(d2.Messages.empty());
  // Nothing stays open or kept once the Open is over.
  EXPECT_FALSE(perArchive.KeptArchive.Active);
  EXPECT_EQ(perArchive.KeptArchive.Handle, nullptr);
}
