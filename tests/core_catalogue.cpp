#include <gtest/gtest.h>

#include <set>

#include "archive/scripted_dialogs.h"
#include "definitions/catalogue.h"
#include "state/app_state.h"

namespace {
std::string Lower(std::string S) {
  for (char& c : S) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return S;
}
}  // namespace

TEST(Catalogue, ColumnsKeyListsAndKindFields) {
  ScriptedDialogs d;
  AppState s(d);
  s.UnitSortColumn = 7;
  s.CorpseSortColumn = 3;
  SetUpColumns(s);

  struct Expect {
    RowTable& View;
    AllUnpacked& List;
    int Columns;
    const char* First;
    const char* Ext;
    const char* SubDir;
  } kinds[] = {
      {s.UnitView, s.UnitFiles, 104, "UnitNumber", "fbi", "units"},
      {s.WeaponView, s.WeaponFiles, 73, "ID", "tdf", "weapons"},
      {s.DownloadView, s.DownloadFiles, 8, "UnitMenu", "tdf", "download"},
      {s.CorpseView, s.CorpseFiles, 19, "SName", "tdf", "features\\corpses"},
  };
  for (auto& k : kinds) {
    SCOPED_TRACE(k.First);
    ASSERT_EQ(k.View.ColumnCount(), k.Columns);
    ASSERT_EQ(static_cast<int>(k.List.KeyList.size()), k.Columns);
    EXPECT_EQ(k.View.ColumnCaption(0), k.First);
    EXPECT_EQ(k.View.RowCount(), 0);
    EXPECT_EQ(k.List.Ext, k.Ext);
    EXPECT_EQ(k.List.SubDir, k.SubDir);
    EXPECT_EQ(k.List.Count, 0);
    EXPECT_EQ(k.List.BuiltCount, 0);
    EXPECT_EQ(s.SortColumnOf(k.View), 0);
    std::set<std::string> folded;
    for (int c = 0; c < k.Columns; ++c) {
      EXPECT_EQ(k.List.KeyList[c], k.View.ColumnCaption(c));
      EXPECT_GT(k.View.ColumnWidth(c), 0);
      EXPECT_TRUE(folded.insert(Lower(k.View.ColumnCaption(c))).second) << k.View.ColumnCaption(c);
    }
    EXPECT_EQ(k.View.ColumnCaption(k.Columns - 3), "ParentFile");
    EXPECT_EQ(k.View.ColumnCaption(k.Columns - 2), "UnPackedFile");
    EXPECT_EQ(k.View.ColumnCaption(k.Columns - 1), "PFileSize");
  }
  // Positions the table tools rely on, and spellings that are easy to get wrong.
  const std::vector<std::string>& u = s.UnitFiles.KeyList;
  EXPECT_EQ(u[1] + "," + u[2] + "," + u[3] + "," + u[6], "UnitName,Name,Description,Side");
  EXPECT_EQ(u[23] + "," + u[48] + "," + u[67], "Builddistance,firestandorders,Ai_weight");
  EXPECT_EQ(u[91] + "," + u[92] + "," + u[101], "TransMaxUnits,Transportmaxunits,ParentFile");
  EXPECT_EQ(s.WeaponFiles.KeyList[67] + "," + s.WeaponFiles.KeyList[70], "Soundhit,ParentFile");
  EXPECT_EQ(s.DownloadFiles.KeyList,
            (std::vector<std::string>{"UnitMenu", "Menu", "Button", "UnitName", "SName", "ParentFile",
                                      "UnPackedFile", "PFileSize"}));
  EXPECT_EQ(s.CorpseFiles.KeyList[15], "Seqnamereclamate");
  EXPECT_STREQ(UnitKeys.back(), "Teleporter");
  EXPECT_STREQ(WeaponKeys.back(), "Soundtrigger");
  // A caption's width is what fits the caption: longer captions are wider.
  EXPECT_GT(s.UnitView.ColumnWidth(70), s.UnitView.ColumnWidth(0));  // Wpri_badTargetCategory
}
