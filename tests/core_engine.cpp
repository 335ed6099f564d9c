#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>

#include "archive/engine.h"
#include "archive/scripted_dialogs.h"
#include "definitions/catalogue.h"
#include "hpi/hpi.h"

namespace fs = std::filesystem;

namespace {

using Files = std::map<std::string, std::string>;  // path inside the archive -> contents

std::string ReadDisk(const fs::path& P) {
  std::ifstream in(P, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteDisk(const fs::path& P, const std::string& Data) {
  fs::create_directories(P.parent_path());
  std::ofstream(P, std::ios::binary) << Data;
}

// Writes an archive with our own library.
void MakeArchive(const std::string& Path, const Files& Content, int Compression = 2) {
  HPIHANDLE pack = HPICreate(Path.c_str(), nullptr);
  ASSERT_NE(pack, nullptr);
  for (const auto& [name, data] : Content)
    ASSERT_NE(HPIAddFileFromMemory(pack, name.c_str(), data.data(), static_cast<int32_t>(data.size())), 0)
        << name;
  ASSERT_NE(HPIPackArchive(pack, Compression), 0);
}

// Decrypts an archive image in place and returns its key byte (0 = plain).
uint8_t Decrypt(std::string& Image) {
  int32_t headerKey;
  std::memcpy(&headerKey, Image.data() + 12, 4);
  if (headerKey == 0) return 0;
  uint8_t h = static_cast<uint8_t>(headerKey & 0xFF);
  uint8_t k = static_cast<uint8_t>(~((h << 2) | (h >> 6)));
  for (size_t p = 20; p < Image.size(); ++p) {
    uint8_t t = static_cast<uint8_t>((p ^ k) & 0xFF);
    Image[p] = static_cast<char>(t ^ static_cast<uint8_t>(~static_cast<uint8_t>(Image[p])));
  }
  return k;
}

uint32_t U32(const std::string& Image, size_t At) {
  uint32_t v;
  std::memcpy(&v, Image.data() + At, 4);
  return v;
}

// File offset of the data of the root-level file Name.
size_t DataOffsetOf(const std::string& ArchivePath, const std::string& Name) {
  std::string image = ReadDisk(ArchivePath);
  Decrypt(image);
  uint32_t start = U32(image, 16);
  uint32_t count = U32(image, start), entries = U32(image, start + 4);
  for (uint32_t i = 0; i < count; ++i) {
    size_t e = entries + 9 * i;
    if (std::string(image.c_str() + U32(image, e)) == Name) return U32(image, U32(image, e + 4));
  }
  ADD_FAILURE() << "no entry " << Name;
  return 0;
}

// Flips one byte of an archive on disk (by its file position).
void Damage(const std::string& Path, size_t At) {
  std::string image = ReadDisk(Path);
  image.at(At) = static_cast<char>(image.at(At) ^ 0x5A);
  WriteDisk(Path, image);
}

struct TempDir {
  fs::path Path;
  TempDir() {
    Path = fs::temp_directory_path() / ("kestrava_engine_" + std::to_string(::getpid()) + "_" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(Path);
    fs::create_directories(Path);
  }
  ~TempDir() { fs::remove_all(Path); }
  std::string operator/(const std::string& Rel) const { return (Path / Rel).string(); }
};

struct Engine : ::testing::Test {
  TempDir dir;
  ScriptedDialogs d;
  AppState s{d};
  void SetUp() override { SetUpColumns(s); }
  int Run(AllUnpacked* L, const std::string& Name, uint8_t Mode) { return ReadwriteHPIDir(s, L, Name, Mode); }
  static std::string Text(const UnPacked& E) {
    return E.Contents ? std::string(E.Contents.get(), static_cast<size_t>(E.PFileSize)) : "";
  }
  std::string Catchall(const std::string& Name) { return "Error in ReadwriteHPIDir with file " + Name; }
};

}  // namespace

TEST_F(Engine, LoadsOneKindFromAnArchive) {
  const std::string a = dir / "a.hpi";
  MakeArchive(a, {{"units\\ARMCOM.FBI", "UnitNumber=1"},
                  {"units\\x.fbi.bak", "UnitNumber=2"},
                  {"units\\readme.txt", "no"},
                  {"units\\empty.fbi", ""},
                  {"units\\sub.fbi\\inner.fbi", "UnitNumber=3"},
                  {"weapons\\w.tdf", "[W]"},
                  {"features\\corpses\\heap.tdf", "[HEAP]"}});
  Run(&s.UnitFiles, a, rwLoadArchive);
  ASSERT_EQ(s.UnitFiles.Count, 4);
  std::map<std::string, const UnPacked*> byPath;
  for (int i = 0; i < s.UnitFiles.Count; ++i) byPath[s.UnitFiles[i].UnPackedFile] = &s.UnitFiles[i];
  ASSERT_TRUE(byPath.count("units\\ARMCOM.FBI"));
  const UnPacked& com = *byPath["units\\ARMCOM.FBI"];
  EXPECT_EQ(Text(com), "UnitNumber=1");
  EXPECT_EQ(com.PFileSize, 12);
  EXPECT_EQ(com.Kind, kKindArchive);
  EXPECT_EQ(com.ParentFile, a);
  EXPECT_TRUE(byPath.count("units\\x.fbi.bak"));
  ASSERT_TRUE(byPath.count("units\\empty.fbi"));
  EXPECT_EQ(byPath["units\\empty.fbi"]->Contents, nullptr);
  EXPECT_EQ(byPath["units\\empty.fbi"]->PFileSize, 0);
  ASSERT_TRUE(byPath.count("units\\sub.fbi"));
  EXPECT_EQ(byPath["units\\sub.fbi"]->Kind, kKindDirectory);
  EXPECT_EQ(byPath["units\\sub.fbi"]->Contents, nullptr);

  Run(&s.CorpseFiles, a, rwLoadArchive);
  ASSERT_EQ(s.CorpseFiles.Count, 1);
  EXPECT_EQ(s.CorpseFiles[0].UnPackedFile, "features\\corpses\\heap.tdf");
  Run(&s.DownloadFiles, a, rwLoadArchive);  // no such directory: nothing, silently
  EXPECT_EQ(s.DownloadFiles.Count, 0);

  // The same archive again, in other letter case: nothing more.
  std::string upper = a;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  Run(&s.UnitFiles, upper, rwLoadArchive);
  Run(&s.UnitFiles, a, rwLoadArchive);
  EXPECT_EQ(s.UnitFiles.Count, 4);
  Run(&s.WeaponFiles, dir / "missing.hpi", rwLoadArchive);
  EXPECT_EQ(s.WeaponFiles.Count, 0);
  EXPECT_TRUE(d.Messages.empty());
}

TEST_F(Engine, FullListRefusesAndKeepsWhatWasLoaded) {
  const std::string a = dir / "a.hpi", b = dir / "b.hpi";
  MakeArchive(a, {{"weapons\\first.tdf", "[A]"}});
  Files many;
  for (int i = 0; i < 2049; ++i) many["weapons\\w" + std::to_string(i) + ".tdf"] = "[W" + std::to_string(i) + "]";
  MakeArchive(b, many, 0);
  Run(&s.WeaponFiles, a, rwLoadArchive);
  Run(&s.WeaponFiles, b, rwLoadArchive);
  EXPECT_EQ(s.WeaponFiles.Count, 2049);
  EXPECT_EQ(s.WeaponFiles[0].ParentFile, a);
  EXPECT_EQ(Text(s.WeaponFiles[2048]).substr(0, 2), "[W");
  EXPECT_EQ(d.Messages, std::vector<std::string>{Catchall(b)});
}

TEST_F(Engine, RemovalKeepsOrderAndBuiltCount) {
  const std::string a = dir / "a.hpi", b = dir / "b.hpi", c = dir / "c.hpi";
  MakeArchive(a, {{"units\\a1.fbi", "1"}, {"units\\a2.fbi", "2"}});
  MakeArchive(b, {{"units\\b1.fbi", "3"}});
  MakeArchive(c, {{"units\\c1.fbi", "4"}, {"units\\c2.fbi", "5"}});
  Run(&s.UnitFiles, a, rwLoadArchive);
  Run(&s.UnitFiles, b, rwLoadArchive);
  s.UnitFiles.BuiltCount = 3;
  Run(&s.UnitFiles, c, rwLoadArchive);
  UnPacked* c1 = &s.UnitFiles[3];
  // The same entries appear again from an archive named like b in another case.
  std::string bUpper = dir / "B.HPI";
  UnPacked& extra = s.UnitFiles.NextSlot();
  extra.ParentFile = bUpper;
  s.UnitFiles.CommitSlot();
  Run(&s.UnitFiles, b, rwRemoveArchive);
  ASSERT_EQ(s.UnitFiles.Count, 4);
  EXPECT_EQ(s.UnitFiles.BuiltCount, 2);
  EXPECT_EQ(Text(s.UnitFiles[0]) + Text(s.UnitFiles[1]) + Text(s.UnitFiles[2]) + Text(s.UnitFiles[3]), "1245");
  EXPECT_EQ(&s.UnitFiles[2], c1);
  Run(&s.UnitFiles, "", rwRemoveAll);
  EXPECT_EQ(s.UnitFiles.Count, 0);
  EXPECT_EQ(s.UnitFiles.BuiltCount, 0);
  Run(&s.UnitFiles, "", rwRemoveAll);
  Run(&s.UnitFiles, a, rwRemoveArchive);
  EXPECT_EQ(s.UnitFiles.Count, 0);
  // Reopened after removal: loaded again.
  Run(&s.UnitFiles, a, rwLoadArchive);
  EXPECT_EQ(s.UnitFiles.Count, 2);
  EXPECT_TRUE(d.Messages.empty());
}

TEST_F(Engine, LooseFilesIgnoringCase) {
  s.TaDir = dir / "TA";
  WriteDisk(dir / "TA/Units/ARMCOM.FBI", "UnitNumber=1");
  WriteDisk(dir / "TA/Units/corcom.Fbi", "UnitNumber=2");
  WriteDisk(dir / "TA/Units/notes.txt", "x");
  WriteDisk(dir / "TA/FEATURES/Corpses/heap.TDF", "[HEAP]");
  Run(&s.UnitFiles, "", rwLoadLooseFiles);
  ASSERT_EQ(s.UnitFiles.Count, 2);
  std::vector<std::string> paths = {s.UnitFiles[0].UnPackedFile, s.UnitFiles[1].UnPackedFile};
  std::sort(paths.begin(), paths.end());
  EXPECT_EQ(paths, (std::vector<std::string>{dir / "TA/Units/ARMCOM.FBI", dir / "TA/Units/corcom.Fbi"}));
  EXPECT_EQ(s.UnitFiles[0].Kind, kKindLoose);
  EXPECT_EQ(s.UnitFiles[0].ParentFile, kNotPacked);
  EXPECT_EQ(Text(s.UnitFiles[0]).substr(0, 11), "UnitNumber=");
  Run(&s.CorpseFiles, "", rwLoadLooseFiles);
  ASSERT_EQ(s.CorpseFiles.Count, 1);
  EXPECT_EQ(s.CorpseFiles[0].UnPackedFile, dir / "TA/FEATURES/Corpses/heap.TDF");
  Run(&s.WeaponFiles, "", rwLoadLooseFiles);
  EXPECT_EQ(s.WeaponFiles.Count, 0);

  // Already loaded: nothing again; a new file joins.
  WriteDisk(dir / "TA/Units/new.fbi", "UnitNumber=3");
  Run(&s.UnitFiles, "", rwLoadLooseFiles);
  EXPECT_EQ(s.UnitFiles.Count, 3);
  EXPECT_TRUE(d.Messages.empty());

  // A directory matching the pattern ends the search with a message naming it.
  Run(&s.UnitFiles, kNotPacked, rwRemoveArchive);
  EXPECT_EQ(s.UnitFiles.Count, 0);
  fs::create_directories(dir / "TA/Units/folder.fbi");
  Run(&s.UnitFiles, "", rwLoadLooseFiles);
  ASSERT_EQ(d.Messages.size(), 1u);
  EXPECT_EQ(d.Messages[0], Catchall(dir / "TA/Units/folder.fbi"));
  EXPECT_LT(s.UnitFiles.Count, 4);
}

TEST_F(Engine, ReadOnlyLooseFileIsReported) {
  if (::geteuid() == 0) GTEST_SKIP() << "root can open read-only files for writing";
  s.TaDir = dir / "TA";
  WriteDisk(dir / "TA/units/locked.fbi", "UnitNumber=1");
  fs::permissions(dir / "TA/units/locked.fbi", fs::perms::owner_read);
  Run(&s.UnitFiles, "", rwLoadLooseFiles);
  EXPECT_EQ(s.UnitFiles.Count, 0);
  EXPECT_EQ(d.Messages, std::vector<std::string>{Catchall(dir / "TA/units/locked.fbi")});
}

TEST_F(Engine, WholeArchiveReadAndWrite) {
  const std::string a = dir / "a.ufo";
  MakeArchive(a, {{"units\\armcom.fbi", std::string(3000, 'u')},
                  {"bad.txt", std::string(5000, 'b')},
                  {"gamedata\\sidedata.tdf", "[SIDE0]"},
                  {"empty.txt", ""}});
  Damage(a, DataOffsetOf(a, "bad.txt") + 4 + 19 + 3);

  EXPECT_EQ(Run(&s.RepackFiles, a, rwLoadWholeArchive), 1);
  std::map<std::string, const UnPacked*> byPath;
  for (int i = 0; i < s.RepackFiles.Count; ++i) byPath[s.RepackFiles[i].UnPackedFile] = &s.RepackFiles[i];
  EXPECT_FALSE(byPath.count("bad.txt"));
  ASSERT_TRUE(byPath.count("units\\armcom.fbi"));
  EXPECT_EQ(byPath["units\\armcom.fbi"]->Kind, kKindWholeArchive);
  EXPECT_EQ(byPath["units"]->Kind, kKindDirectory);
  EXPECT_EQ(byPath["gamedata\\sidedata.tdf"]->ParentFile, a);
  EXPECT_TRUE(byPath.count("empty.txt"));
  EXPECT_TRUE(d.Messages.empty());

  // Written anew (directories skipped), with the compression set at that moment.
  int asked = 0;
  s.CompressionSetting = [&] { ++asked; return 1; };
  const std::string b = dir / "b.ufo";
  Run(&s.RepackFiles, b, rwWriteArchive);
  EXPECT_EQ(asked, 1);
  EXPECT_TRUE(d.Messages.empty());
  AllUnpacked back;
  EXPECT_EQ(Run(&back, b, rwLoadWholeArchive), 0);
  EXPECT_EQ(back.Count, s.RepackFiles.Count);
  for (int i = 0; i < back.Count; ++i) {
    ASSERT_TRUE(byPath.count(back[i].UnPackedFile)) << back[i].UnPackedFile;
    EXPECT_EQ(Text(back[i]), Text(*byPath[back[i].UnPackedFile]));
  }

  // An empty list is refused and the archive stays as it was.
  const std::string before = ReadDisk(b);
  s.RepackFiles.Clear();
  Run(&s.RepackFiles, b, rwWriteArchive);
  EXPECT_EQ(ReadDisk(b), before);
  EXPECT_EQ(d.Messages, std::vector<std::string>{Catchall(b)});
  // Nothing to read: no entries and no message.
  EXPECT_EQ(Run(&s.RepackFiles, dir / "none.ufo", rwLoadWholeArchive), 0);
  EXPECT_EQ(d.Messages.size(), 1u);
}

TEST_F(Engine, WriteFailuresHaveTheirOwnMessages) {
  for (const char* path : {"units\\a.fbi", "", "b.txt"}) {
    UnPacked& e = s.RepackFiles.NextSlot();
    e.UnPackedFile = path;
    e.SetContents("abc", 3);
    s.RepackFiles.CommitSlot();
  }
  const std::string w = dir / "w.hpi";
  Run(&s.RepackFiles, w, rwWriteArchive);  // a refused file does not stop the others
  EXPECT_EQ(d.Messages, std::vector<std::string>{"Error adding file  to " + w + " in memory"});
  AllUnpacked back;
  Run(&back, w, rwLoadWholeArchive);
  EXPECT_EQ(back.Count, 3);  // units, units\a.fbi, b.txt

  d.Messages.clear();
  const std::string nowhere = dir / "no/such/dir/x.hpi";
  Run(&s.RepackFiles, nowhere, rwWriteArchive);
  EXPECT_FALSE(fs::exists(nowhere));
  Run(&s.RepackFiles, "", rwWriteArchive);
  s.CompressionSetting = [] { return 7; };  // passed on unchanged; the library refuses it
  Run(&s.RepackFiles, w, rwWriteArchive);
  EXPECT_EQ(d.Messages, (std::vector<std::string>{
                            "Error adding file  to " + nowhere + " in memory",
                            "Error packing" + nowhere + " in memory.",
                            "Error creating packed file",
                            "Error adding file  to " + w + " in memory",
                            "Error packing" + w + " in memory.",
                        }));
}

TEST_F(Engine, TruncatedArchiveKeepsWhatCouldBeRead) {
  const std::string a = dir / "t.hpi";
  Files f;
  for (int i = 0; i < 20; ++i) f["units\\u" + std::to_string(100 + i) + ".fbi"] = std::string(4000, char('a' + i));
  MakeArchive(a, f, 0);
  const std::string other = dir / "other.hpi";
  MakeArchive(other, {{"units\\keep.fbi", "UnitNumber=1"}});
  Run(&s.UnitFiles, other, rwLoadArchive);
  std::string image = ReadDisk(a);
  WriteDisk(a, image.substr(0, image.size() - 6000));
  Run(&s.UnitFiles, a, rwLoadArchive);
  EXPECT_GE(s.UnitFiles.Count, 2);
  EXPECT_LE(s.UnitFiles.Count, 19);
  EXPECT_EQ(Text(s.UnitFiles[0]), "UnitNumber=1");
  for (int i = 1; i < s.UnitFiles.Count; ++i) EXPECT_EQ(s.UnitFiles[i].PFileSize, 4000);
  // Cut inside the directory: the archive no longer opens; nothing is lost.
  WriteDisk(a, image.substr(0, 40));
  const int before = s.UnitFiles.Count;
  Run(&s.UnitFiles, a, rwLoadArchive);
  EXPECT_EQ(s.UnitFiles.Count, before);
  EXPECT_TRUE(d.Messages.empty());
}

TEST_F(Engine, ExtractsBelowTheChosenDirectory) {
  const std::string a = dir / "a.hpi";
  MakeArchive(a, {{"units\\armcom.fbi", "A"}, {"gamedata\\deep\\x.tdf", "B"}, {"top.txt", "C"}});
  s.ExtractDir = dir / "out/";
  fs::create_directories(s.ExtractDir);
  Run(nullptr, a, rwExtractArchive);
  Run(nullptr, dir / "missing.hpi", rwExtractArchive);
  EXPECT_EQ(ReadDisk(dir / "out/units/armcom.fbi"), "A");
  EXPECT_EQ(ReadDisk(dir / "out/gamedata/deep/x.tdf"), "B");
  EXPECT_EQ(ReadDisk(dir / "out/top.txt"), "C");
  EXPECT_TRUE(d.Messages.empty());
}

namespace {
// A plain (unencrypted, stored) archive made byte by byte, so that it can hold
// names our own writer would never produce. Root: a directory ".." holding
// "evil.txt", a file "..\escape.txt", a file "ok.txt".
std::string HostileArchive() {
  std::string img(20, '\0');
  auto put32 = [&](size_t At, uint32_t V) { std::memcpy(img.data() + At, &V, 4); };
  auto add32 = [&](uint32_t V) { img.append(reinterpret_cast<const char*>(&V), 4); };
  auto addName = [&](const std::string& N) {
    size_t at = img.size();
    img.append(N).push_back('\0');
    return static_cast<uint32_t>(at);
  };
  auto addFile = [&](const std::string& Data) {
    size_t rec = img.size();
    add32(0);
    add32(static_cast<uint32_t>(Data.size()));
    img.push_back('\0');
    put32(rec, static_cast<uint32_t>(img.size()));
    img.append(Data);
    return static_cast<uint32_t>(rec);
  };
  std::memcpy(img.data(), "HAPI", 4);
  put32(4, 0x00010000);
  put32(16, 20);
  // root node at 20, 3 entries at 28
  add32(3);
  add32(28);
  img.resize(28 + 27);
  uint32_t sub = static_cast<uint32_t>(img.size());  // node of ".."
  add32(1);
  add32(sub + 8);
  img.resize(sub + 8 + 9);
  uint32_t names[4] = {addName(".."), addName("..\\escape.txt"), addName("ok.txt"), addName("evil.txt")};
  uint32_t data[3] = {addFile("escaped"), addFile("fine"), addFile("evil")};
  auto entry = [&](size_t At, uint32_t Name, uint32_t Data, bool Dir) {
    put32(At, Name);
    put32(At + 4, Data);
    img[At + 8] = Dir ? 1 : 0;
  };
  entry(28, names[0], sub, true);
  entry(37, names[1], data[0], false);
  entry(46, names[2], data[1], false);
  entry(sub + 8, names[3], data[2], false);
  put32(8, static_cast<uint32_t>(img.size()));
  return img;
}
}  // namespace

TEST_F(Engine, ExtractionNeverLeavesTheChosenDirectory) {
  const std::string a = dir / "deep/hostile.hpi";
  WriteDisk(a, HostileArchive());
  s.ExtractDir = dir / "deep/out/";
  fs::create_directories(s.ExtractDir);
  Run(nullptr, a, rwExtractArchive);
  EXPECT_EQ(ReadDisk(dir / "deep/out/ok.txt"), "fine");
  EXPECT_FALSE(fs::exists(dir / "deep/evil.txt"));
  EXPECT_FALSE(fs::exists(dir / "deep/escape.txt"));
  EXPECT_FALSE(fs::exists(dir / "evil.txt"));
  size_t count = 0;
  for (auto& e : fs::recursive_directory_iterator(dir / "deep")) count += e.is_regular_file();
  EXPECT_EQ(count, 2u);  // the archive and ok.txt
}
