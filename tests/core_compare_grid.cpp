#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive/scripted_dialogs.h"
#include "definitions/build_rows.h"
#include "definitions/catalogue.h"
#include "mod/compare_grid.h"
#include "state/app_state.h"

namespace {

CompareSource Source() {
  CompareSource s;
  s.Headers = {"A", "B", "C"};
  s.Keys = {"Cost", "Name", "Side", "Speed", "Unset", "Zero", "DPS (computed)"};
  s.Computed = {false, false, false, false, false, false, true};
  s.Values = {
      {"100", "Tank", "ARM", "2.5", "", "0", "10"},
      {"120", "Tank", "ARM", "2.5", "", "5", ""},
      {"50", "Jeep", "ARM", " 0 ", "", "0", "8"},
  };
  return s;
}

std::vector<std::string> Texts(const CompareLine& L) {
  std::vector<std::string> t;
  for (const CompareCell& c : L.Cells) t.push_back(c.Text);
  return t;
}

}  // namespace

TEST(CompareGrid, DifferencesAndMarkers) {
  const CompareGrid g = MakeCompareGrid(Source(), true);
  EXPECT_EQ(g.Headers, (std::vector<std::string>{"A", "B", "C"}));
  // Side is the same everywhere and Unset held by none: both left out.
  ASSERT_EQ(g.Lines.size(), 5u);
  const std::vector<std::pair<std::string, std::vector<std::string>>> want = {
      {"Cost", {"100", "120 (+20, +20%) [highest]", "50 (-50, -50%) [lowest]"}},
      {"Name", {"Tank", "Tank", "Jeep"}},
      {"Speed", {"2.5 [highest]", "2.5 (same) [highest]", " 0  (-2.5, -100%) [lowest]"}},
      {"Zero", {"0 [lowest]", "5 (+5) [highest]", "0 (same) [lowest]"}},  // no percentage of 0
      {"DPS (computed)", {"10 [highest]", "", "8 (-2, -20%) [lowest]"}},
  };
  for (size_t i = 0; i < want.size(); ++i) {
    EXPECT_EQ(g.Lines[i].Key, want[i].first);
    EXPECT_EQ(Texts(g.Lines[i]), want[i].second) << want[i].first;
  }
  EXPECT_TRUE(g.Lines[4].Computed);
  EXPECT_FALSE(g.Lines[0].Computed);
  EXPECT_TRUE(g.Lines[0].Cells[1].Highest && g.Lines[0].Cells[2].Lowest && !g.Lines[0].Cells[0].Highest);

  const CompareGrid all = MakeCompareGrid(Source(), false);
  ASSERT_EQ(all.Lines.size(), 6u);
  EXPECT_EQ(all.Lines[2].Key, "Side");
  EXPECT_FALSE(all.Lines[2].Differs);
  EXPECT_EQ(Texts(all.Lines[2]), (std::vector<std::string>{"ARM", "ARM", "ARM"}));

  EXPECT_EQ(CompareGridTsv(MakeCompareGrid(Source(), true)).substr(0, 64),
            std::string("\tA\tB\tC\nCost\t100\t120 (+20, +20%) [highest]\t50 (-50, -50%) [lowest]\n").substr(0, 64));
  CompareSource tabs = Source();
  tabs.Values[1][1] = "Ta\tnk\r\n";
  EXPECT_NE(CompareGridTsv(MakeCompareGrid(tabs, true)).find("\tTa nk  \t"), std::string::npos);
}

TEST(CompareGrid, RowsOfATableWithFiguresTheTableDoesNotShow) {
  ScriptedDialogs d;
  AppState s{d};
  SetUpColumns(s);
  auto add = [&](AllUnpacked& L, const std::string& Text) {
    UnPacked& e = L.NextSlot();
    e.ParentFile = "m.ufo";
    e.UnPackedFile = "w.tdf";
    e.SetContents(Text.data(), static_cast<int32_t>(Text.size()));
    L.CommitSlot();
  };
  add(s.WeaponFiles,
      "[GUN1]\r\n{\r\nID=1;\r\nReloadtime=2;\r\n[DAMAGE]\r\n{\r\ndefault=50;\r\n}\r\n}\r\n"
      "[GUN2]\r\n{\r\nID=2;\r\nReloadtime=2;\r\n[DAMAGE]\r\n{\r\ndefault=75;\r\n}\r\n}\r\n");
  BuildRows(s, s.WeaponView, s.WeaponFiles, true, brAddNew, nullptr);
  ASSERT_EQ(s.WeaponView.RowCount(), 2);
  const CompareGrid g = MakeCompareGrid(CompareSourceOf(s, s.Figures, s.WeaponView, {1, 0}), true);
  EXPECT_EQ(g.Headers, (std::vector<std::string>{"2", "1"}));  // captions, the baseline first
  std::vector<std::string> keys;
  for (const CompareLine& l : g.Lines) keys.push_back(l.Key);
  // The table's column order, the figures last; equal values (Reloadtime, the file) left out.
  EXPECT_EQ(keys, (std::vector<std::string>{"SName", "Default", "Damage per salvo (computed)", "DPS (computed)"}));
  EXPECT_EQ(Texts(g.Lines[3]), (std::vector<std::string>{"37.5 [highest]", "25 (-12.5, -33.33%) [lowest]"}));
}
