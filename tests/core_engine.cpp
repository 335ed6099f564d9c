#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>

#include "archive/engine.h"
#include "archive/scripted_dialogs.h"
#include "definitions/catalogue.h"
#include "state/app_state.h"
#include "hpi/hpi.h"
#include "ui_save_support.h"

namespace fs = std::filesystem;

namespace {

using Files = std::map<std::string, std::string>;  // path inside the archive -> contents

std::string ReadDisk(const std::string& P) {
  std::ifstream in(P, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteDisk(const std::string& P, const std::string& Data) {
  fs::create_directories(fs::path(P).parent_path());
  std::ofstream(P, std::ios::binary) << Data;
}

void MakeArchive(const std::string& Path, const Files& Content, int Compression = 2) {
  HPIHANDLE pack = HPICreate(Path.c_str(), nullptr);
  for (const auto& [name, data] : Content)
    ASSERT_NE(HPIAddFileFromMemory(pack, name.c_str(), data.data(), static_cast<int32_t>(data.size())), 0);
  ASSERT_NE(HPIPackArchive(pack, Compression), 0);
}

std::string Text(const UnPacked& E) {
  return E.Contents ? std::string(E.Contents.get(), static_cast<size_t>(E.PFileSize)) : "";
}

std::map<std::string, const UnPacked*> ByPath(const AllUnpacked& L) {
  std::map<std::string, const UnPacked*> m;
  for (int i = 0; i < L.Count; ++i) m[L[i].UnPackedFile] = &L[i];
  return m;
}

struct Engine : ::testing::Test {
  fs::path root = fs::temp_directory_path() /
                  ("kestrava_engine_" + std::to_string(::getpid()) + "_" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
  ScriptedDialogs d;
  AppState s{d};
  void SetUp() override {
    fs::remove_all(root);
    fs::create_directories(root);
    SetUpColumns(s);
  }
  void TearDown() override { fs::remove_all(root); }
  std::string At(const std::string& Rel) const { return (root / Rel).string(); }
  int Run(AllUnpacked* L, const std::string& Name, uint8_t Mode) { return ReadwriteHPIDir(s, L, Name, Mode); }
  static std::string Catchall(const std::string& Name) { return "Error in ReadwriteHPIDir with file " + Name; }
};

}  // namespace

TEST_F(Engine, LoadsOneKindFromAnArchive) {
  const std::string a = At("a.hpi");
  MakeArchive(a, {{"units\\ARMCOM.FBI", "UnitNumber=1"}, {"units\\x.fbi.bak", "2"}, {"units\\readme.txt", "no"},
                  {"units\\empty.fbi", ""}, {"units\\sub.fbi\\inner.fbi", "3"}, {"weapons\\w.tdf", "[W]"},
                  {"features\\corpses\\heap.tdf", "[HEAP]"}});
  Run(&s.UnitFiles, a, rwLoadArchive);
  auto units = ByPath(s.UnitFiles);
  ASSERT_EQ(units.size(), 4u);
  const UnPacked& com = *units.at("units\\ARMCOM.FBI");
  EXPECT_EQ(Text(com), "UnitNumber=1");
  EXPECT_EQ(com.PFileSize, 12);
  EXPECT_EQ(com.Kind, kKindArchive);
  EXPECT_EQ(com.ParentFile, a);
  EXPECT_TRUE(units.count("units\\x.fbi.bak"));  // a substring test, not the name's end
  EXPECT_EQ(units.at("units\\empty.fbi")->Contents, nullptr);
  EXPECT_EQ(units.at("units\\sub.fbi")->Kind, kKindDirectory);

  Run(&s.CorpseFiles, a, rwLoadArchive);
  EXPECT_EQ(ByPath(s.CorpseFiles).count("features\\corpses\\heap.tdf"), 1u);
  Run(&s.DownloadFiles, a, rwLoadArchive);  // no such directory
  Run(&s.WeaponFiles, At("missing.hpi"), rwLoadArchive);
  EXPECT_EQ(s.DownloadFiles.Count + s.WeaponFiles.Count, 0);

  Run(&s.UnitFiles, a, rwLoadArchive);  // loaded already: nothing added
  EXPECT_EQ(s.UnitFiles.Count, 4);
  EXPECT_TRUE(d.Messages.empty());

  // Two different archives whose names differ only in letter case, as a
  // case-sensitive file system allows: the second counts as loaded already.
  const std::string lower = At("mod.hpi"), upper = At("MOD.HPI");
  MakeArchive(lower, {{"weapons\\lower.tdf", "[L]"}});
  MakeArchive(upper, {{"weapons\\upper.tdf", "[U]"}, {"weapons\\more.tdf", "[M]"}});
  Run(&s.WeaponFiles, lower, rwLoadArchive);
  ASSERT_EQ(s.WeaponFiles.Count, 1);
  Run(&s.WeaponFiles, upper, rwLoadArchive);
  EXPECT_EQ(s.WeaponFiles.Count, 1);
  EXPECT_EQ(s.WeaponFiles[0].UnPackedFile, "weapons\\lower.tdf");
}

TEST_F(Engine, FullListRefusesAndKeepsWhatWasLoaded) {
  const std::string a = At("a.hpi"), b = At("b.hpi");
  MakeArchive(a, {{"weapons\\first.tdf", "[A]"}});
  Files many;
  for (int i = 0; i < 2049; ++i) many["weapons\\w" + std::to_string(i) + ".tdf"] = "[W]";
  MakeArchive(b, many, 0);
  Run(&s.WeaponFiles, a, rwLoadArchive);
  Run(&s.WeaponFiles, b, rwLoadArchive);
  EXPECT_EQ(s.WeaponFiles.Count, 2049);
  EXPECT_EQ(s.WeaponFiles[0].ParentFile, a);
  EXPECT_EQ(Text(s.WeaponFiles[2048]), "[W]");
  EXPECT_EQ(d.Messages, std::vector<std::string>{Catchall(b)});
}

TEST_F(Engine, RemovalKeepsOrderAndBuiltCount) {
  const std::string a = At("a.hpi"), b = At("b.hpi"), c = At("c.hpi");
  MakeArchive(a, {{"units\\a1.fbi", "1"}, {"units\\a2.fbi", "2"}});
  MakeArchive(b, {{"units\\b1.fbi", "3"}});
  MakeArchive(c, {{"units\\c1.fbi", "4"}, {"units\\c2.fbi", "5"}});
  Run(&s.UnitFiles, a, rwLoadArchive);
  Run(&s.UnitFiles, b, rwLoadArchive);
  s.UnitFiles.BuiltCount = 3;
  Run(&s.UnitFiles, c, rwLoadArchive);
  UnPacked* c1 = &s.UnitFiles[3];
  s.UnitFiles.NextSlot().ParentFile = At("B.HPI");  // b again, in other case
  s.UnitFiles.CommitSlot();
  Run(&s.UnitFiles, b, rwRemoveArchive);
  ASSERT_EQ(s.UnitFiles.Count, 4);
  EXPECT_EQ(s.UnitFiles.BuiltCount, 2);
  EXPECT_EQ(Text(s.UnitFiles[0]) + Text(s.UnitFiles[1]) + Text(s.UnitFiles[2]) + Text(s.UnitFiles[3]), "1245");
  EXPECT_EQ(&s.UnitFiles[2], c1);
  Run(&s.UnitFiles, "", rwRemoveAll);
  EXPECT_EQ(s.UnitFiles.Count + s.UnitFiles.BuiltCount, 0);
  Run(&s.UnitFiles, a, rwRemoveArchive);  // on an empty list: nothing
  Run(&s.UnitFiles, a, rwLoadArchive);    // reopened after removal
  EXPECT_EQ(s.UnitFiles.Count, 2);
  EXPECT_TRUE(d.Messages.empty());
}

TEST_F(Engine, LooseFilesIgnoringCase) {
  s.TaDir = At("TA");
  WriteDisk(At("TA/Units/ARMCOM.FBI"), "UnitNumber=1");
  WriteDisk(At("TA/Units/corcom.Fbi"), "UnitNumber=2");
  WriteDisk(At("TA/Units/notes.txt"), "x");
  WriteDisk(At("TA/FEATURES/Corpses/heap.TDF"), "[HEAP]");
  Run(&s.UnitFiles, "", rwLoadLooseFiles);
  auto units = ByPath(s.UnitFiles);
  ASSERT_EQ(units.size(), 2u);
  const UnPacked& com = *units.at(At("TA/Units/ARMCOM.FBI"));  // the real path on disk
  EXPECT_EQ(Text(com), "UnitNumber=1");
  EXPECT_EQ(com.Kind, kKindLoose);
  EXPECT_EQ(com.ParentFile, kNotPacked);
  EXPECT_TRUE(units.count(At("TA/Units/corcom.Fbi")));
  Run(&s.CorpseFiles, "", rwLoadLooseFiles);
  EXPECT_EQ(ByPath(s.CorpseFiles).count(At("TA/FEATURES/Corpses/heap.TDF")), 1u);
  Run(&s.WeaponFiles, "", rwLoadLooseFiles);
  EXPECT_EQ(s.WeaponFiles.Count, 0);

  WriteDisk(At("TA/Units/new.fbi"), "UnitNumber=3");  // only the new file joins
  Run(&s.UnitFiles, "", rwLoadLooseFiles);
  EXPECT_EQ(s.UnitFiles.Count, 3);
  EXPECT_TRUE(d.Messages.empty());

  // A directory matching the pattern ends the search with a message naming it.
  Run(&s.UnitFiles, kNotPacked, rwRemoveArchive);
  EXPECT_EQ(s.UnitFiles.Count, 0);
  fs::create_directories(At("TA/Units/folder.fbi"));
  Run(&s.UnitFiles, "", rwLoadLooseFiles);
  EXPECT_EQ(d.Messages, std::vector<std::string>{Catchall(At("TA/Units/folder.fbi"))});
  EXPECT_LT(s.UnitFiles.Count, 4);
}

TEST_F(Engine, ReadOnlyLooseFileIsReported) {
  s.TaDir = At("TA");
  WriteDisk(At("TA/units/locked.fbi"), "UnitNumber=1");
  fs::permissions(At("TA/units/locked.fbi"), fs::perms::owner_read);
  Run(&s.UnitFiles, "", rwLoadLooseFiles);
  EXPECT_EQ(s.UnitFiles.Count, 0);
  EXPECT_EQ(d.Messages, std::vector<std::string>{Catchall(At("TA/units/locked.fbi"))});
}

TEST_F(Engine, WholeArchiveReadAndWrite) {
  const std::string a = At("a.ufo"), b = At("b.ufo");
  const Files content = {{"units\\armcom.fbi", std::string(3000, 'u')}, {"gamedata\\side.tdf", "[S]"}, {"e.txt", ""}};
  MakeArchive(a, content);
  EXPECT_EQ(Run(&s.RepackFiles, a, rwLoadWholeArchive), 0);
  auto all = ByPath(s.RepackFiles);
  ASSERT_EQ(all.size(), 5u);  // two directories, three files
  EXPECT_EQ(all.at("units\\armcom.fbi")->Kind, kKindWholeArchive);
  EXPECT_EQ(all.at("units")->Kind, kKindDirectory);
  EXPECT_EQ(all.at("gamedata\\side.tdf")->ParentFile, a);

  int asked = 0;  // the compression is read when packing, once
  s.CompressionSetting = [&] { return ++asked; };
  Run(&s.RepackFiles, b, rwWriteArchive);
  EXPECT_EQ(asked, 1);
  AllUnpacked back;
  EXPECT_EQ(Run(&back, b, rwLoadWholeArchive), 0);
  EXPECT_EQ(back.Count, 5);
  for (int i = 0; i < back.Count; ++i)
    EXPECT_EQ(Text(back[i]), back[i].Kind == kKindDirectory ? "" : content.at(back[i].UnPackedFile));
  EXPECT_TRUE(d.Messages.empty());

  const std::string before = ReadDisk(b);  // an empty list is refused, the archive untouched
  s.RepackFiles.Clear();
  Run(&s.RepackFiles, b, rwWriteArchive);
  EXPECT_EQ(ReadDisk(b), before);
  EXPECT_EQ(d.Messages, std::vector<std::string>{Catchall(b)});
}

TEST_F(Engine, WriteFailuresHaveTheirOwnMessages) {
  for (const char* path : {"units\\a.fbi", "", "b.txt"}) {
    UnPacked& e = s.RepackFiles.NextSlot();
    e.UnPackedFile = path;
    e.SetContents("abc", 3);
    s.RepackFiles.CommitSlot();
  }
  const std::string w = At("w.hpi"), nowhere = At("no/such/dir/x.hpi");
  Run(&s.RepackFiles, w, rwWriteArchive);  // a refused file does not stop the others
  AllUnpacked back;
  Run(&back, w, rwLoadWholeArchive);
  EXPECT_EQ(back.Count, 3);  // units, units\a.fbi, b.txt
  Run(&s.RepackFiles, nowhere, rwWriteArchive);
  Run(&s.RepackFiles, "", rwWriteArchive);
  s.CompressionSetting = [] { return 7; };  // passed on unchanged; the library refuses it
  Run(&s.RepackFiles, w, rwWriteArchive);
  EXPECT_FALSE(fs::exists(nowhere));
  const std::string refused = "Error adding file  to ";
  // A target that cannot be created is refused before any file is added.
  EXPECT_EQ(d.Messages, (std::vector<std::string>{refused + w + " in memory", "Error creating packed file" + nowhere,
                                                   "Error creating packed file", refused + w + " in memory",
                                                   "Error packing" + w + " in memory."}));
  d.Messages.clear();
  const std::string aDirectory = At("adir.hpi");
  fs::create_directory(aDirectory);
  Run(&s.RepackFiles, aDirectory, rwWriteArchive);
  EXPECT_EQ(d.Messages, std::vector<std::string>{"Error creating packed file" + aDirectory});
  EXPECT_TRUE(fs::is_directory(aDirectory));
}

TEST_F(Engine, DamagedArchivesKeepWhatCouldBeRead) {
  const std::string a = At("t.hpi"), other = At("other.hpi");
  Files f;
  for (int i = 0; i < 20; ++i) f["units\\u" + std::to_string(100 + i) + ".fbi"] = std::string(4000, char('a' + i));
  MakeArchive(a, f, 0);
  MakeArchive(other, {{"units\\keep.fbi", "UnitNumber=1"}});
  Run(&s.UnitFiles, other, rwLoadArchive);
  const std::string image = ReadDisk(a);
  WriteDisk(a, image.substr(0, image.size() - 6000));  // the last files' data is gone
  Run(&s.UnitFiles, a, rwLoadArchive);
  EXPECT_GE(s.UnitFiles.Count, 2);
  EXPECT_LE(s.UnitFiles.Count, 19);
  EXPECT_EQ(Text(s.UnitFiles[0]), "UnitNumber=1");
  for (int i = 1; i < s.UnitFiles.Count; ++i) EXPECT_EQ(s.UnitFiles[i].PFileSize, 4000);
  const int skipped = Run(&s.RepackFiles, a, rwLoadWholeArchive);  // says what it could not take
  EXPECT_GE(skipped, 2);
  EXPECT_EQ(s.RepackFiles.Count + skipped, 21);  // 20 files and their directory
  WriteDisk(a, image.substr(0, 40));  // cut inside the directory: it no longer opens
  const int before = s.UnitFiles.Count;
  EXPECT_EQ(Run(&s.RepackFiles, a, rwLoadWholeArchive), 0);
  Run(&s.UnitFiles, a + "x", rwLoadArchive);
  EXPECT_EQ(s.UnitFiles.Count, before);
  EXPECT_TRUE(d.Messages.empty());
}

TEST_F(Engine, ExtractsBelowTheChosenDirectory) {
  const std::string a = At("a.hpi");
  MakeArchive(a, {{"units\\armcom.fbi", "A"}, {"gamedata\\deep\\x.tdf", "B"}, {"top.txt", "C"}});
  s.ExtractDir = At("out/");
  fs::create_directories(s.ExtractDir);
  Run(nullptr, a, rwExtractArchive);
  Run(nullptr, At("missing.hpi"), rwExtractArchive);
  EXPECT_EQ(ReadDisk(At("out/units/armcom.fbi")) + ReadDisk(At("out/gamedata/deep/x.tdf")) + ReadDisk(At("out/top.txt")),
            "ABC");
  EXPECT_TRUE(d.Messages.empty());
}

// A plain archive made byte by byte, holding names our own writer would never
// produce. Root: directory ".." holding "evil.txt", file "..\escape.txt", file "ok.txt".
TEST_F(Engine, ExtractionNeverLeavesTheChosenDirectory) {
  std::string img(20, '\0');
  auto put = [&](size_t At, uint32_t V) {
    if (img.size() < At + 4) img.resize(At + 4);
    std::memcpy(img.data() + At, &V, 4);
  };
  auto name = [&](const std::string& N) { size_t at = img.size(); img.append(N).push_back('\0'); return uint32_t(at); };
  auto file = [&](const std::string& Data) {  // a stored file record followed by its bytes
    size_t rec = img.size();
    put(rec, uint32_t(rec + 9));
    put(rec + 4, uint32_t(Data.size()));
    img.push_back('\0');
    img.append(Data);
    return uint32_t(rec);
  };
  auto entry = [&](size_t At, uint32_t Name, uint32_t Data, bool Dir) {
    put(At, Name);
    put(At + 4, Data);
    img.resize(std::max(img.size(), At + 9));
    img[At + 8] = Dir;
  };
  std::memcpy(img.data(), "HAPI", 4);
  put(4, 0x00010000);
  put(16, 20);
  put(20, 3);  // root: 3 entries at 28; the ".." node at 55 with 1 entry at 63
  put(24, 28);
  put(55, 1);
  put(59, 63);
  img.resize(72);
  entry(28, name(".."), 55, true);
  entry(37, name("..\\escape.txt"), file("escaped"), false);
  entry(46, name("ok.txt"), file("fine"), false);
  entry(63, name("evil.txt"), file("evil"), false);
  put(8, uint32_t(img.size()));
  WriteDisk(At("deep/hostile.hpi"), img);

  s.ExtractDir = At("deep/out/");
  fs::create_directories(s.ExtractDir);
  Run(nullptr, At("deep/hostile.hpi"), rwExtractArchive);
  EXPECT_EQ(ReadDisk(At("deep/out/ok.txt")), "fine");
  size_t files = 0;
  for (auto& e : fs::recursive_directory_iterator(root)) files += e.is_regular_file();
  EXPECT_EQ(files, 2u);  // the archive and ok.txt
}

// Names equal apart from letter case: a kind's load and a whole-archive read
// give each listed entry its own bytes; an archive that could only be written
// anew by merging two of its files counts as not read completely.
TEST_F(Engine, NamesEqualIgnoringCaseKeepTheirOwnBytes) {
  using testsupport::RawNode;
  const std::string upper(32, 'U'), lower = "lower!!!";
  const std::string a = At("dup.hpi");
  WriteDisk(a, testsupport::RawArchive({RawNode{"units", true, "", {RawNode{"DUP.FBI", false, upper, {}},
                                                                    RawNode{"dup.fbi", false, lower, {}}}}}));
  Run(&s.UnitFiles, a, rwLoadArchive);
  ASSERT_EQ(s.UnitFiles.Count, 2);
  EXPECT_EQ(s.UnitFiles[0].UnPackedFile + "=" + Text(s.UnitFiles[0]), "units\\DUP.FBI=" + upper);
  EXPECT_EQ(s.UnitFiles[1].UnPackedFile + "=" + Text(s.UnitFiles[1]), "units\\dup.fbi=" + lower);
  EXPECT_GE(Run(&s.RepackFiles, a, rwLoadWholeArchive), 1);
  s.RepackFiles.Clear();

  // A file beside a directory of the same name ignoring case cannot be kept
  // either; directories alone merge without loss, and so does a file of the
  // same name in another directory.
  const std::string b = At("filedir.hpi");
  WriteDisk(b, testsupport::RawArchive({RawNode{"A", false, "file", {}},
                                        RawNode{"a", true, "", {RawNode{"x", false, "x", {}}}}}));
  EXPECT_GE(Run(&s.RepackFiles, b, rwLoadWholeArchive), 1);
  s.RepackFiles.Clear();
  // The same pair listed the other way round: the directory first.
  const std::string dirFirst = At("dirfile.hpi");
  WriteDisk(dirFirst, testsupport::RawArchive({RawNode{"a", true, "", {RawNode{"x", false, "x", {}}}},
                                               RawNode{"A", false, "file", {}}}));
  EXPECT_GE(Run(&s.RepackFiles, dirFirst, rwLoadWholeArchive), 1);
  s.RepackFiles.Clear();
  const std::string c = At("dirs.hpi");
  WriteDisk(c, testsupport::RawArchive({RawNode{"Units", true, "", {RawNode{"x.fbi", false, "1", {}}}},
                                        RawNode{"UNITS", true, "", {RawNode{"y.fbi", false, "2", {}}}},
                                        RawNode{"x.fbi", false, "3", {}}}));
  EXPECT_EQ(Run(&s.RepackFiles, c, rwLoadWholeArchive), 0);
  std::string read;
  for (int i = 0; i < s.RepackFiles.Count; ++i) read += s.RepackFiles[i].UnPackedFile + "=" + Text(s.RepackFiles[i]) + " ";
  EXPECT_EQ(read, "Units= Units\\x.fbi=1 UNITS= UNITS\\y.fbi=2 x.fbi=3 ");
  EXPECT_TRUE(d.Messages.empty());
}

// The whole-archive read behind a save is not bound to a table's 2049 entries.
TEST_F(Engine, WholeArchiveReadHasNoEntryLimit) {
  const std::string a = At("big.hpi");
  Files many;
  for (int i = 0; i < 10000; ++i) many["d" + std::to_string(i % 3) + "\\f" + std::to_string(i)] = std::to_string(i);
  MakeArchive(a, many, 0);
  EXPECT_EQ(Run(&s.RepackFiles, a, rwLoadWholeArchive), 0);
  ASSERT_EQ(s.RepackFiles.Count, 10003);  // three directories
  int files = 0;
  for (int i = 0; i < s.RepackFiles.Count; ++i)
    if (s.RepackFiles[i].Kind != kKindDirectory) {
      ++files;
      EXPECT_EQ(Text(s.RepackFiles[i]), many.at(s.RepackFiles[i].UnPackedFile));
    }
  EXPECT_EQ(files, 10000);
  EXPECT_TRUE(d.Messages.empty());
}
