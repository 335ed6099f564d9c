#include <gtest/gtest.h>

#include <map>

#include "archive/scripted_dialogs.h"
#include "definitions/build_rows.h"
#include "state/app_state.h"
#include "definitions/catalogue.h"

namespace {

struct Tables : ::testing::Test {
  ScriptedDialogs d;
  AppState s{d};
  void SetUp() override { SetUpColumns(s); }

  UnPacked& Add(AllUnpacked& L, const std::string& Parent, const std::string& Path, const std::string& Text) {
    UnPacked& e = L.NextSlot();
    e.ParentFile = Parent;
    e.UnPackedFile = Path;
    e.SetContents(Text.data(), static_cast<int32_t>(Text.size()));
    L.CommitSlot();
    return e;
  }
  // Cell of row I under the column captioned Key.
  static std::string At(const RowTable& V, int I, const std::string& Key) {
    for (int c = 0; c < V.ColumnCount(); ++c)
      if (V.ColumnCaption(c) == Key) return V.Cell(I, c);
    return "no column " + Key;
  }
  void Units(int Mode, UnPacked* E = nullptr) { BuildRows(s, s.UnitView, s.UnitFiles, false, Mode, E); }
  void Weapons(int Mode) { BuildRows(s, s.WeaponView, s.WeaponFiles, true, Mode, nullptr); }
};

}  // namespace

TEST_F(Tables, UnitRows) {
  const std::string text =
      "[UNITINFO]\r\n{\r\n\tunitname=ARMCOM;\r\n\tUnitNumber=12;\r\n\tName= Commander ;\r\n"
      "\tUNITNAME=second;\r\n\tParentFile=X;\r\n\tSide=ARM;\r\n\tFootprintX=2;\r\n\tFootprintZ=3;\r\n}\r\n";
  UnPacked& e = Add(s.UnitFiles, "A.hpi", "units\\ARMCOM.FBI", text);
  UnPacked& noNumber = Add(s.UnitFiles, "A.hpi", "units\\X.FBI", "UnitName=X;\r\n");
  Add(s.UnitFiles, "A.hpi", "units\\EMPTY.FBI", "");
  s.UnitFiles.NextSlot().Kind = kKindDirectory;
  s.UnitFiles.CommitSlot();
  Units(brAddNew);
  EXPECT_EQ(s.UnitFiles.BuiltCount, 4);
  ASSERT_EQ(s.UnitView.RowCount(), 1);  // no row without UnitNumber, none for empty entries
  const Row& r = s.UnitView.RowAt(0);
  EXPECT_EQ(r.Caption, "12");
  EXPECT_EQ(r.Data, &e);
  ASSERT_EQ(r.SubItemCount(), 103u);
  EXPECT_EQ(r.SubItem(0), "ARMCOM");       // key case ignored, first value wins
  EXPECT_EQ(r.SubItem(1), " Commander ");  // not trimmed
  EXPECT_EQ(r.SubItem(5), "ARM");
  EXPECT_EQ(At(s.UnitView, 0, "Description"), "");
  EXPECT_EQ(At(s.UnitView, 0, "FootprintX"), "2");  // keys alike but for their last letter
  EXPECT_EQ(At(s.UnitView, 0, "FootprintZ"), "3");
  EXPECT_EQ(At(s.UnitView, 0, "ParentFile"), "X");  // the file's own line comes first
  EXPECT_EQ(At(s.UnitView, 0, "UnPackedFile"), "units\\ARMCOM.FBI");
  EXPECT_EQ(At(s.UnitView, 0, "PFileSize"), std::to_string(text.size()));

  Units(brReplaceFile, &noNumber);  // after saving, its row stays without caption
  ASSERT_EQ(s.UnitView.RowCount(), 2);
  EXPECT_EQ(s.UnitView.RowAt(0).Caption, "");
  EXPECT_EQ(s.UnitView.RowAt(0).SubItem(0), "X");
  const std::string saved = "UnitNumber=5\r\nUnitName=Y";
  noNumber.SetContents(saved.data(), static_cast<int32_t>(saved.size()));
  Units(brReplaceFile, &noNumber);
  ASSERT_EQ(s.UnitView.RowCount(), 2);
  EXPECT_EQ(s.UnitView.RowAt(0).Caption + std::string(s.UnitView.RowAt(0).SubItem(0)), "5Y");
  EXPECT_EQ(s.UnitFiles.BuiltCount, 4);
}

TEST_F(Tables, ReplacingAFileKeepsOtherArchivesAndEmptiedFiles) {
  // Two archives that hold the same path: saving one file rebuilds only its own row.
  UnPacked& a = Add(s.UnitFiles, "a.hpi", "units\\ARMCOM.FBI", "UnitNumber=1");
  UnPacked& b = Add(s.UnitFiles, "b.hpi", "units\\ARMCOM.FBI", "UnitNumber=2");
  Units(brAddNew);
  a.SetContents("UnitNumber=3", 12);
  Units(brReplaceFile, &a);
  ASSERT_EQ(s.UnitView.RowCount(), 2);
  EXPECT_EQ(s.UnitView.RowAt(0).Caption + s.UnitView.RowAt(1).Caption, "23");
  EXPECT_EQ(s.UnitView.RowAt(0).Data, &b);
  EXPECT_EQ(s.UnitView.RowAt(1).Data, &a);

  // A unit file saved empty keeps one row with its file columns.
  b.SetContents("", 0);
  Units(brReplaceFile, &b);
  ASSERT_EQ(s.UnitView.RowCount(), 2);
  const Row& emptied = s.UnitView.RowAt(0);
  EXPECT_EQ(emptied.Data, &b);
  EXPECT_EQ(emptied.Caption, "");
  EXPECT_EQ(At(s.UnitView, 0, "UnPackedFile") + "|" + At(s.UnitView, 0, "ParentFile") + "|" +
                At(s.UnitView, 0, "PFileSize") + "|" + At(s.UnitView, 0, "UnitName"),
            "units\\ARMCOM.FBI|b.hpi|0|");
  Units(brAddNew);  // loading builds no row for an empty file, as before
  EXPECT_EQ(s.UnitView.RowCount(), 2);

  // Multi-section tables build no row for an emptied file.
  UnPacked& w = Add(s.WeaponFiles, "a.hpi", "weapons\\W.TDF", "[G]\r\n{\r\nID=1;\r\n}\r\n");
  Weapons(brAddNew);
  ASSERT_EQ(s.WeaponView.RowCount(), 1);
  w.SetContents("", 0);
  BuildRows(s, s.WeaponView, s.WeaponFiles, true, brReplaceFile, &w);
  EXPECT_EQ(s.WeaponView.RowCount(), 0);
}

TEST_F(Tables, MultiSectionRecords) {
  Add(s.WeaponFiles, "A", "weapons\\W.TDF",
      "[GUN1]\r\n{\r\nID=3;\r\nRange=400;\r\n[DAMAGE]\r\n{\r\ndefault=50;\r\n}\r\nReloadtime=9;\r\n}\r\n"
      "[GUN2]\r\n{\r\nID=4;\r\n[DAMAGE]\r\n{\r\nDefault=70;\r\n}\r\n}\r\n[TAIL]\r\n{\r\nID=99;\r\n");
  Add(s.WeaponFiles, "A", "weapons\\V.TDF", "[G]\r\n{\r\nRange=1;\r\n}\r\n");  // the tail does not carry over
  Weapons(brAddNew);
  ASSERT_EQ(s.WeaponView.RowCount(), 2);
  EXPECT_EQ(s.WeaponView.RowAt(0).Caption, "3");
  EXPECT_EQ(At(s.WeaponView, 0, "Default") + At(s.WeaponView, 0, "Range"), "50400");
  EXPECT_EQ(At(s.WeaponView, 0, "Reloadtime"), "");  // after the nested section: not shown
  EXPECT_EQ(At(s.WeaponView, 0, "SName"), "GUN1");
  EXPECT_EQ(s.WeaponView.RowAt(1).Caption + At(s.WeaponView, 1, "Default"), "470");

  const std::string menu = "[ENTRY1]\r\n{\r\nUNITMENU=ABC;\r\nMENU=2;\r\nBUTTON=0;\r\nUNITNAME=XYZ1;\r\n}\r\n"
                           "[ENTRY2]\r\n{\r\nUNITMENU=ABC;\r\nMENU=2;\r\nBUTTON=1;\r\n}\r\n[E3]\r\n{\r\nMENU=3;\r\n}\r\n";
  Add(s.DownloadFiles, "A", "download\\X.TDF", menu);
  BuildRows(s, s.DownloadView, s.DownloadFiles, true, brAddNew, nullptr);
  ASSERT_EQ(s.DownloadView.RowCount(), 2);
  const std::string size = std::to_string(menu.size());
  EXPECT_EQ(s.DownloadView.RowAt(0).SubItems(), (std::vector<std::string>{"2", "0", "XYZ1", "ENTRY1", "A", "download\\X.TDF", size}));
  EXPECT_EQ(s.DownloadView.RowAt(1).SubItems(), (std::vector<std::string>{"2", "1", "", "ENTRY2", "A", "download\\X.TDF", size}));

  Add(s.CorpseFiles, "A", "features\\corpses\\C.TDF", "[HEAP1]\r\n{\r\nworld=all;\r\n}\r\n[]\r\n{\r\n}\r\n");
  BuildRows(s, s.CorpseView, s.CorpseFiles, true, brAddNew, nullptr);
  ASSERT_EQ(s.CorpseView.RowCount(), 1);
  EXPECT_EQ(s.CorpseView.RowAt(0).Caption + std::string(s.CorpseView.RowAt(0).SubItem(0)), "HEAP1all");
  EXPECT_EQ(FirstSectionName({"x", "[a", "[]", "[B]"}), "");
  EXPECT_EQ(FirstSectionName({"x", "[A B]"}), "A B");
}

TEST_F(Tables, RemovalKeepsOtherRowsOnTheirEntries) {
  Add(s.UnitFiles, "a.hpi", "units\\A1.FBI", "UnitNumber=1");
  UnPacked& b1 = Add(s.UnitFiles, "b.hpi", "units\\B1.FBI", "UnitNumber=2");
  UnPacked& a2 = Add(s.UnitFiles, "A.HPI", "units\\A2.FBI", "UnitNumber=3");
  UnPacked& l1 = Add(s.UnitFiles, kNotPacked, "/ta/units/L.FBI", "UnitNumber=4");
  Units(brAddNew);
  Units(brRemoveArchive, &a2);  // the same archive in other case: both its files go
  s.UnitFiles.Remove(2);
  s.UnitFiles.Remove(0);
  ASSERT_EQ(s.UnitView.RowCount(), 2);
  EXPECT_EQ(s.UnitView.RowAt(0).Data, &b1);
  EXPECT_EQ(s.UnitView.RowAt(0).Data->UnPackedFile, "units\\B1.FBI");
  EXPECT_EQ(s.UnitView.RowAt(1).Data, &l1);
  Units(brRemoveLoose);
  ASSERT_EQ(s.UnitView.RowCount(), 1);
  EXPECT_EQ(s.UnitView.RowAt(0).Caption, "2");

  Units(brRemoveAll);  // Close All, then the same files again: all rows come back
  s.UnitFiles.Clear();
  EXPECT_EQ(s.UnitView.RowCount(), 0);
  Add(s.UnitFiles, "b.hpi", "units\\B1.FBI", "UnitNumber=2");
  Add(s.UnitFiles, "b.hpi", "units\\B2.FBI", "UnitNumber=1");
  Units(brAddNew);
  EXPECT_EQ(s.UnitView.RowCount(), 2);
}

TEST_F(Tables, ResizeAndSortOnEveryCall) {
  Add(s.UnitFiles, "a", "u1", "UnitNumber=100\r\nUnitName=a");
  Add(s.UnitFiles, "a", "u2", "UnitNumber=9\r\nUnitName=" + std::string(60, 'w'));
  Add(s.UnitFiles, "a", "u3", "UnitNumber=10\r\nUnitName=c");
  s.UnitView.SetColumnWidth(2, 0);  // hidden column
  Units(brAddNew);
  EXPECT_EQ(s.UnitView.Cell(0, 0) + s.UnitView.Cell(1, 0) + s.UnitView.Cell(2, 0), "910100");
  EXPECT_EQ(s.UnitView.ColumnWidth(2), 0);
  const int wide = s.UnitView.ColumnWidth(1);
  EXPECT_GT(wide, 60 * 5);

  s.UnitSortColumn = 1;  // mode 0 with nothing new still sorts and refits
  s.UnitView.SetColumnWidth(1, 5);
  Units(brAddNew);
  EXPECT_EQ(s.UnitView.Cell(0, 1) + s.UnitView.Cell(1, 1), "ac");
  EXPECT_EQ(s.UnitView.ColumnWidth(1), wide);

  s.AutosizeSetting = [] { return false; };  // autosize off: widths stay
  s.UnitView.SetColumnWidth(1, 5);
  Units(brRemoveAll);
  EXPECT_EQ(s.UnitView.ColumnWidth(1), 5);
  EXPECT_FALSE(s.UnitView.Updating());
  EXPECT_TRUE(d.Messages.empty());
}

TEST_F(Tables, BadDefinitionFiles) {
  std::string garbage;
  for (int i = 0; i < 8192; ++i) garbage.push_back(static_cast<char>((i * 7919 + 13) % 256));
  Add(s.UnitFiles, "a", "nul", std::string("UnitNumber=1\0junk\r\nUnitName=A", 30));
  Add(s.UnitFiles, "a", "lf", "UnitNumber=2\nUnitName=B");  // one single line
  Add(s.UnitFiles, "a", "big", "UnitName=C\r\nUnitNumber=" + std::string(1 << 20, '7'));
  Add(s.UnitFiles, "a", "comments", "// nothing\r\n/* but */ ; comments\r\n");
  Add(s.UnitFiles, "a", "garbage", garbage);
  Add(s.WeaponFiles, "a", "garbage", garbage + "\r\n}\r\n" + garbage);
  Units(brAddNew);
  Weapons(brAddNew);
  EXPECT_EQ(s.UnitFiles.BuiltCount + s.WeaponFiles.BuiltCount, 6);
  std::map<std::string, std::string> captions;
  for (int i = 0; i < s.UnitView.RowCount(); ++i) captions[s.UnitView.RowAt(i).Data->UnPackedFile] = s.UnitView.Cell(i, 0);
  EXPECT_EQ(captions["nul"], "1");
  EXPECT_EQ(captions["lf"], "2\nUnitName=B");
  EXPECT_EQ(captions["big"].size(), 1u << 20);
  EXPECT_FALSE(captions.count("comments"));
  // Sorting against the megabyte cell fails and says so; the rows stay.
  ASSERT_FALSE(d.Messages.empty());
  EXPECT_EQ(d.Messages, std::vector<std::string>(d.Messages.size(), "Exception in Function ItempCompare"));
  for (int i = 0; i < s.WeaponView.RowCount(); ++i) EXPECT_FALSE(s.WeaponView.RowAt(i).Caption.empty());
}

TEST(FillRow, KeyLookupRules) {
  Row r;
  FillRow(r, {"[S]", "noequals", "A=1=2", "a=second", " B=x", "C= spaced ", "SName=mine", "c=later", "=empty"},
          {"a", "b", "C", "A", "SName", ""});
  EXPECT_EQ(r.Caption, "1=2");  // everything after the first "="; the first line wins
  EXPECT_EQ(r.SubItems(), (std::vector<std::string>{"", " spaced ", "1=2", "mine", "empty"}));
}

TEST_F(Tables, KeysOfEveryLengthAreFoundIgnoringCase) {
  // Keys shorter and longer than sixteen bytes, in any case; keys that only
  // begin or end like a column's; the file's last line, close to its end.
  const std::string text =
      "[UNITINFO]\r\n{\r\n\tUnitNumber=7;\r\n\tnochasecategory=fifteen;\r\n\tMINCLOAKDISTANCE=sixteen;\r\n"
      "\tbadtargetcategory=seventeen;\r\n\tBadTargetCategoryX=not a key;\r\n\tWpri_badTargetCategor=not either;\r\n"
      "\tWPRI_BADTARGETCATEGORY=twenty-two;\r\n\tRadarDistanceJamming=no;\r\n"
      "\tAKeyOfMoreThanThirtyTwoBytesLongIsNoColumn=x;\r\n\tRadarDistanceJam=jam;\r\n"
      "\tWsec_badTargetCategory=last";
  Add(s.UnitFiles, "A.hpi", "units\\K.FBI", text);
  Units(brAddNew);
  ASSERT_EQ(s.UnitView.RowCount(), 1);
  EXPECT_EQ(At(s.UnitView, 0, "NoChaseCategory"), "fifteen");
  EXPECT_EQ(At(s.UnitView, 0, "Mincloakdistance"), "sixteen");
  EXPECT_EQ(At(s.UnitView, 0, "BadTargetCategory"), "seventeen");
  EXPECT_EQ(At(s.UnitView, 0, "Wpri_badTargetCategory"), "twenty-two");
  EXPECT_EQ(At(s.UnitView, 0, "RadarDistanceJam"), "jam");
  EXPECT_EQ(At(s.UnitView, 0, "Wsec_badTargetCategory"), "last");
}

namespace {

// Counts the selection changes a table reports.
struct SelectionCounter : TableObserver {
  int Changes = 0;
  void RowsChanged() override {}
  void ColumnsChanged() override {}
  void SelectionChanged() override { ++Changes; }
  int TextWidth(std::string_view Text, bool) override { return static_cast<int>(Text.size()); }
  int TopIndex() override { return 0; }
  void ScrollBy(int) override {}
  int RowHeight() override { return 1; }
};

}  // namespace

// Deleting rows keeps the others whole and in order, whether the rows that go
// are few (freed at once) or many (freed aside); a table cleared or destroyed
// right after a large deletion is sound too.
TEST(RowTableDelete, KeptRowsStayInOrderHoweverManyGo) {
  for (const int count : {10, 3 * static_cast<int>(RowDisposer::kAsideRows)}) {
    RowTable t;
    t.AddColumn("Name", 10);
    t.AddColumn("Value", 10);
    t.BeginUpdate();
    for (int i = 0; i < count; ++i) {
      Row& r = t.AddRow();
      r.Caption = "row" + std::to_string(i);
      r.SetSubItems({std::to_string(i * 7)});
    }
    t.EndUpdate();
    t.Select(3);  // a row that goes
    SelectionCounter observer;
    t.SetObserver(&observer);
    const int removed = t.DeleteRowsWhere([](const Row& R) { return std::stoi(R.Caption.substr(3)) % 3 != 1; });
    std::vector<std::string> expected;
    for (int i = 1; i < count; i += 3) expected.push_back("row" + std::to_string(i));
    EXPECT_EQ(removed, count - static_cast<int>(expected.size())) << count;
    ASSERT_EQ(t.RowCount(), static_cast<int>(expected.size())) << count;
    for (int i = 0; i < t.RowCount(); ++i) {
      ASSERT_EQ(t.RowAt(i).Caption, expected[static_cast<size_t>(i)]) << count;
      ASSERT_EQ(t.RowAt(i).SubItem(0), std::to_string((3 * i + 1) * 7)) << count;
    }
    EXPECT_EQ(observer.Changes, 1) << count;  // the selected row went
    EXPECT_EQ(t.SelectedIndex(), -1) << count;
    // Nothing matches: nothing changes.
    EXPECT_EQ(t.DeleteRowsWhere([](const Row&) { return false; }), 0);
    EXPECT_EQ(t.RowCount(), static_cast<int>(expected.size()));
    t.SetObserver(nullptr);
    // A second batch while the first may still be freed, then destruction.
    RowTable other;
    other.AddColumn("Name", 10);
    for (int i = 0; i < count; ++i) other.AddRow().Caption = "x";
    other.Clear();
    EXPECT_EQ(other.RowCount(), 0);
    for (int i = 0; i < count; ++i) other.AddRow().Caption = "y";
    EXPECT_EQ(other.DeleteRowsWhere([](const Row&) { return true; }), count);
  }
}
