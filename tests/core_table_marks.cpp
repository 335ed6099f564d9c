// Marks on table rows found by file and definition, and what the window has
// open as the whole-mod layer reads it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "archive/scripted_dialogs.h"
#include "archive/source_reader.h"
#include "mod/table_marks.h"
#include "state/open_sources.h"
#include "ui_save_support.h"

namespace fs = std::filesystem;

namespace {

// A table with the columns Caption, SName, UnitName, Weapon1 and rows made from entries.
struct Table {
  RowTable View;
  std::vector<std::unique_ptr<UnPacked>> Entries;
  Table() {
    for (const char* c : {"UnitMenu", "SName", "UnitName", "Weapon1"}) View.AddColumn(c, 50);
  }
  Row& Add(const std::string& Parent, const std::string& File, uint8_t Kind, const std::vector<std::string>& Cells) {
    auto e = std::make_unique<UnPacked>();
    e->ParentFile = Parent;
    e->UnPackedFile = File;
    e->Kind = Kind;
    Row& r = View.AddRow();
    r.Caption = Cells[0];
    r.SetSubItems({Cells.begin() + 1, Cells.end()});
    r.Data = e.get();
    Entries.push_back(std::move(e));
    return r;
  }
};

std::vector<std::pair<int, std::string>> Marks(const TableMarks& M, TableKind K, const Table& T, int Row) {
  std::vector<CellMark> out;
  M.MarksOf(K, T.View, T.View.RowAt(Row), out);
  std::vector<std::pair<int, std::string>> got;
  for (const CellMark& m : out) got.push_back({m.Column, m.Text});
  return got;
}

using Got = std::vector<std::pair<int, std::string>>;

}  // namespace

TEST(TableMarks, KindOfPath) {
  const std::pair<const char*, int> cases[] = {
      {"units\\ARMCOM.FBI", 0},      {"Units/armcom.fbi", 0},        {"weapons\\guns.tdf", 1},
      {"features\\corpses\\x.TDF", 2}, {"download\\m.tdf", 3},       {"units\\sub\\a.fbi", -1},
      {"features\\trees\\t.tdf", -1}, {"scripts\\a.cob", -1},         {"units\\a.tdf", -1},
      {"a.fbi", -1},
  };
  for (const auto& [path, want] : cases) {
    TableKind k = TableKind::Units;
    const bool found = TableKindOfPath(path, k);
    EXPECT_EQ(found ? static_cast<int>(k) : -1, want) << path;
  }
}

TEST(TableMarks, RowsFindTheirMarksByFileAndDefinition) {
  Table units;
  units.Add("/m/a.ufo", "units\\ARMA.FBI", kKindArchive, {"1", "", "ARMA", "GUN"});
  units.Add("/m/b.ufo", "units\\ARMA.FBI", kKindArchive, {"2", "", "ARMA", "GUN"});  // same path, other archive
  units.Add(kNotPacked, "/ta/Units/ARMB.FBI", kKindLoose, {"3", "", "ARMB", "GUN"});
  TableMarks m;
  EXPECT_TRUE(m.Empty());
  // Path case and separators do not matter; the unit's name is not compared.
  m.Add(TableKind::Units, {"/m/a.ufo", "Units/arma.fbi", "whatever"}, "weapon1", MarkKind::Problem, "broken");
  m.Add(TableKind::Units, {"", "/ta//Units/ARMB.FBI", ""}, "", MarkKind::Added, "new");
  m.Add(TableKind::Units, {"", "/ta/Units/ARMB.FBI", ""}, "NoSuchColumn", MarkKind::Changed, "hidden");
  EXPECT_EQ(m.Count(), 3u);
  EXPECT_EQ(Marks(m, TableKind::Units, units, 0), (Got{{3, "broken"}}));
  EXPECT_EQ(Marks(m, TableKind::Units, units, 1), Got{});
  EXPECT_EQ(Marks(m, TableKind::Units, units, 2), (Got{{0, "new"}}));
  // Another table kind holds none of them.
  EXPECT_EQ(Marks(m, TableKind::Weapons, units, 0), Got{});
  EXPECT_EQ(FindDefinitionRow(TableKind::Units, units.View, {"", "/ta/units/armb.fbi", ""}), 2);
  EXPECT_EQ(FindDefinitionRow(TableKind::Units, units.View, {"/m/c.ufo", "units\\ARMA.FBI", ""}), -1);
  m.Clear();
  EXPECT_TRUE(m.Empty());
  EXPECT_EQ(Marks(m, TableKind::Units, units, 0), Got{});
}

TEST(TableMarks, SeveralDefinitionsOfAFileAreToldApartByName) {
  Table menus;
  menus.Add("/a.ufo", "download\\m.tdf", kKindArchive, {"ARMCOM", "ENTRY1", "ARMSOLAR"});
  menus.Add("/a.ufo", "download\\m.tdf", kKindArchive, {"ARMCOM", "ENTRY2", "ARMMEX"});
  TableMarks m;
  m.Add(TableKind::Download, {"/a.ufo", "download\\m.tdf", "entry2"}, "UNITNAME", MarkKind::Problem, "by section");
  m.Add(TableKind::Download, {"/a.ufo", "download\\m.tdf", "armcom/armsolar", true}, "UnitName", MarkKind::Changed,
        "by menu");
  EXPECT_EQ(Marks(m, TableKind::Download, menus, 0), (Got{{2, "by menu"}}));
  EXPECT_EQ(Marks(m, TableKind::Download, menus, 1), (Got{{2, "by section"}}));
  // Weapons and corpses go by section name too; no name: the file's first row.
  EXPECT_EQ(FindDefinitionRow(TableKind::Weapons, menus.View, {"/a.ufo", "download\\m.tdf", "ENTRY2"}), 1);
  EXPECT_EQ(FindDefinitionRow(TableKind::Weapons, menus.View, {"/a.ufo", "download\\m.tdf", ""}), 0);
  EXPECT_EQ(FindDefinitionRow(TableKind::Weapons, menus.View, {"/a.ufo", "download\\m.tdf", "ENTRY3"}), -1);
}

TEST(OpenSources, ArchivesInOpeningOrderAndFilesAsHeld) {
  ScriptedDialogs d;
  AppState s(d);
  s.TaDir = "/games/ta/";
  const auto add = [](AllUnpacked& L, const std::string& Parent, const std::string& File, uint8_t Kind,
                      const std::string& Bytes) {
    UnPacked& e = L.NextSlot();
    e.ParentFile = Parent;
    e.UnPackedFile = File;
    e.Kind = Kind;
    e.PFileSize = static_cast<int32_t>(Bytes.size());
    e.SetContents(Bytes.data(), e.PFileSize);
    L.CommitSlot();
  };
  // Weapons were opened from b and c only, units from a and c: a, b before c.
  add(s.UnitFiles, "/a.ufo", "units\\a.fbi", kKindArchive, "A");
  add(s.UnitFiles, "/c.ufo", "units\\c.fbi", kKindArchive, "C");
  add(s.WeaponFiles, "/b.ufo", "weapons\\b.tdf", kKindArchive, "B");
  add(s.WeaponFiles, "/c.ufo", "weapons\\c.tdf", kKindArchive, "CW");
  EXPECT_FALSE(LooseFilesIncluded(s));
  add(s.CorpseFiles, kNotPacked, "/games/ta/features/corpses/x.tdf", kKindLoose, "X");
  EXPECT_EQ(OpenedArchives(s), (std::vector<std::string>{"/a.ufo", "/b.ufo", "/c.ufo"}));
  EXPECT_TRUE(LooseFilesIncluded(s));
  EXPECT_EQ(PathBelowGameDirectory(s, "/games/ta/features/corpses/x.tdf"), "features\\corpses\\x.tdf");
  EXPECT_EQ(DiskPathInGameDirectory(s, "features\\corpses\\x.tdf"), "/games/ta/features/corpses/x.tdf");
  std::vector<std::string> files;
  for (const DiffFile& f : OpenDefinitionFiles(s)) files.push_back(f.Archive + "|" + f.Path + "|" + f.Bytes);
  EXPECT_EQ(files, (std::vector<std::string>{"/a.ufo|units\\a.fbi|A", "/c.ufo|units\\c.fbi|C",
                                             "/b.ufo|weapons\\b.tdf|B", "/c.ufo|weapons\\c.tdf|CW",
                                             "|features\\corpses\\x.tdf|X"}));
  TableKind k;
  EXPECT_TRUE(KindOfTable(s, s.DownloadView, k));
  EXPECT_EQ(k, TableKind::Download);
  EXPECT_EQ(&TableOfKind(s, TableKind::Corpses), &s.CorpseView);
}

TEST(OpenSources, LooseFilesOfAGameDirectoryLeaveItsArchivesOut) {
  const fs::path dir = fs::temp_directory_path() / ("kestrava_loose_" + std::to_string(::getpid()));
  fs::create_directories(dir / "Units");
  ASSERT_TRUE(testsupport::PackArchive((dir / "base.UFO").string(), {{"units\\B.FBI", "bee"}}, 1));
  testsupport::WriteBytes((dir / "Units/A.FBI").string(), "a");
  GameSources s;
  std::string why;
  ASSERT_TRUE(s.AddLooseFiles(dir.string(), why)) << why;
  std::vector<std::string> paths;
  for (const SourceFile& f : s.Files()) paths.push_back(f.Archive + "|" + f.Path);
  EXPECT_EQ(paths, (std::vector<std::string>{"|Units\\A.FBI"}));
  EXPECT_FALSE(s.AddLooseFiles((dir / "Units/A.FBI").string(), why));
  fs::remove_all(dir);
}
