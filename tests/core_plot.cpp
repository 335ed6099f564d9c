#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "mod/plot_data.h"
#include "mod/plot_fit.h"

namespace {

// A table written out in the test: captions and rows of cells.
class LiteralGrid : public CellGrid {
 public:
  LiteralGrid(std::vector<std::string> Captions, std::vector<std::vector<std::string>> Rows)
      : Captions_(std::move(Captions)), Rows_(std::move(Rows)) {}
  int Rows() const override { return static_cast<int>(Rows_.size()); }
  int Columns() const override { return static_cast<int>(Captions_.size()); }
  std::string_view Caption(int C) const override { return Captions_[C]; }
  std::string_view Cell(int R, int C) const override {
    const auto& row = Rows_[R];
    return C < static_cast<int>(row.size()) ? std::string_view(row[C]) : std::string_view();
  }

 private:
  std::vector<std::string> Captions_;
  std::vector<std::vector<std::string>> Rows_;
};

std::vector<size_t> PointsOf(const std::vector<Outlier>& List) {
  std::vector<size_t> p;
  for (const Outlier& o : List) p.push_back(o.Point);
  return p;
}

}  // namespace

TEST(PlotNumbers, CellsThatAreNumbers) {
  const std::pair<const char*, double> numbers[] = {{"42", 42},   {" 1.5 ", 1.5}, {"-3", -3}, {"+7", 7},
                                                    {"1e3", 1000}, {".5", 0.5},    {"\t2\t", 2}, {"0", 0}};
  for (auto [text, value] : numbers) {
    ASSERT_TRUE(NumberOf(text).has_value()) << text;
    EXPECT_DOUBLE_EQ(*NumberOf(text), value) << text;
  }
  for (const char* text : {"", " ", "abc", "1,5", "inf", "nan", "-inf", "0x10", "$10", "1e", "+-1", "++1", "--1",
                           "1.2.3", "1e999", "12a", "ARM"})
    EXPECT_FALSE(NumberOf(text).has_value()) << text;
}

TEST(PlotNumbers, QuickAnswersAgreeWithReadingTheNumber) {
  // Plain decimals are told without being read and short integers read
  // quickly; every answer must be the one reading the text gives.
  const std::string zeros298(298, '0'), nines15(15, '9'), nines16(16, '9');
  const std::pair<std::string, double> numbers[] = {
      {"-0", -0.0},          {"+0", 0},           {"007", 7},          {"5.", 5},
      {"-.5", -0.5},         {nines15, 999999999999999.0},            {"-" + nines15, -999999999999999.0},
      {nines16, 1e16},       {"12345678901234567890", 12345678901234567890.0},
      {"0." + zeros298 + "1", 1e-299}};  // 301 characters: read
  for (const auto& [text, value] : numbers) {
    const std::optional<double> read = NumberOf(text);
    ASSERT_TRUE(read.has_value()) << text;
    EXPECT_EQ(*read, value) << text;
    EXPECT_EQ(std::signbit(*read), std::signbit(value)) << text;
    EXPECT_TRUE(IsNumber(text)) << text;
  }
  // Longer plain decimals are read: 309 nines are beyond what a double
  // holds, as is 1e-324, while 1e-310 is still a number.
  const std::string overflow(309, '9'), underflow = "0." + std::string(323, '0') + "1";
  const std::string small = "0." + std::string(309, '0') + "1";
  for (const std::string& text : {overflow, underflow, small, std::string(300, '9'), std::string("+"), std::string("-"),
                                  std::string("."), std::string("+-1"), std::string("-+1"), std::string("1.2.3"),
                                  std::string(" 12 "), std::string("\t-3.5"), std::string("1e5"), std::string("e5"),
                                  std::string("12a"), std::string("ARM"), std::string("")})
    EXPECT_EQ(IsNumber(text), NumberOf(text).has_value()) << text;
  EXPECT_FALSE(IsNumber(overflow));
  EXPECT_FALSE(IsNumber(underflow));
  EXPECT_TRUE(IsNumber(small));
}

TEST(PlotNumbers, NumericColumnsAllowOneSlipInTen) {
  // Column 1: numbers; 2: one text among ten filled (a slip); 3: two among
  // ten; 4: empty; 5: numbers with gaps; 6: text.
  std::vector<std::vector<std::string>> rows;
  for (int r = 0; r < 10; ++r) {
    const std::string n = std::to_string(r * 3);
    rows.push_back({"U" + n, n, r == 4 ? "oops" : n, r < 2 ? "x" : n, "", r % 2 ? n : "", "ARM"});
  }
  LiteralGrid grid({"Name", "A", "Slip", "Two", "Empty", "Gaps", "Side"}, rows);
  EXPECT_EQ(NumericColumns(grid), (std::vector<int>{1, 2, 5}));
  EXPECT_EQ(NumericColumns(LiteralGrid({"A", "B"}, {})), std::vector<int>{});
}

TEST(PlotNumbers, NumericColumnsRightAtTheLimit) {
  // 20 rows; in each column its text cells come first or last, so that a
  // column is judged by every cell, whenever its verdict becomes certain.
  // 18 numbers and 2 texts are numeric (9 × 2 <= 18), 17 and 2 are not.
  struct Column {
    int Numbers, Texts;
    bool TextFirst;
  };
  const Column columns[] = {{18, 2, false}, {18, 2, true}, {17, 2, false}, {17, 2, true}, {9, 1, false},
                            {9, 1, true},   {8, 1, false}, {8, 1, true},   {0, 1, true},  {1, 0, false},
                            {1, 19, true},  {19, 1, false}, {0, 0, false}};
  constexpr int kRows = 20;
  std::vector<std::string> captions;
  std::vector<std::vector<std::string>> rows(kRows);
  std::vector<int> expected;
  RowTable table;
  for (size_t c = 0; c < std::size(columns); ++c) {
    const Column& col = columns[c];
    captions.push_back("C" + std::to_string(c));
    table.AddColumn(captions.back(), 10);
    if (col.Numbers > 0 && 9 * col.Texts <= col.Numbers) expected.push_back(static_cast<int>(c));
    // The cells in row order; rows past them have none.
    std::vector<std::string> cells;
    for (int i = 0; i < col.Texts; ++i) cells.push_back("x");
    for (int i = 0; i < col.Numbers; ++i) cells.insert(col.TextFirst ? cells.end() : cells.begin(), std::to_string(i));
    for (int r = 0; r < kRows; ++r) rows[r].push_back(r < static_cast<int>(cells.size()) ? cells[r] : "");
  }
  EXPECT_EQ(NumericColumns(LiteralGrid(captions, rows)), expected);
  // The same through the table's own reading of its rows.
  for (const auto& cells : rows) {
    Row& r = table.AddRow();
    r.Caption = cells[0];
    r.SetSubItems(std::vector<std::string>(cells.begin() + 1, cells.end()));
  }
  EXPECT_EQ(NumericColumns(RowTableGrid(table)), expected);
}

TEST(PlotNumbers, RowTableGridReadsTheTable) {
  RowTable table;
  for (const char* c : {"Number", "A", "B", "C"}) table.AddColumn(c, 10);
  const std::vector<std::pair<std::string, std::vector<std::string>>> rows = {
      {"1", {"5", "", "x"}}, {"2", {"7", "3"}}, {"", {"", "4", "y", "beyond the columns"}}};
  for (const auto& [caption, cells] : rows) {
    Row& r = table.AddRow();
    r.Caption = caption;
    r.SetSubItems(cells);
  }
  const RowTableGrid grid(table);
  EXPECT_EQ(NumericColumns(grid), (std::vector<int>{0, 1, 2}));
  std::vector<std::pair<int, std::string>> visited;
  for (int r = 0; r < grid.Rows(); ++r)
    grid.VisitRow(r, [&](int C, std::string_view Text) { visited.emplace_back(C, std::string(Text)); });
  EXPECT_EQ(visited, (std::vector<std::pair<int, std::string>>{
                         {0, "1"}, {1, "5"}, {3, "x"}, {0, "2"}, {1, "7"}, {2, "3"}, {2, "4"}, {3, "y"}}));
  const PlotSet set = CollectPoints(grid, 0, 1, false, false);
  ASSERT_EQ(set.Points.size(), 2u);
  EXPECT_EQ(set.Points[1].X, 2);
  EXPECT_EQ(set.Points[1].Y, 7);
}

TEST(PlotNumbers, DefaultAxesPreferCostAndStrength) {
  LiteralGrid units({"UnitNumber", "UnitName", "MaxDamage", "BuildCostMetal", "DPS"}, {{"1", "A", "5", "6", "7"}});
  const std::vector<int> numeric = NumericColumns(units);
  EXPECT_EQ(numeric, (std::vector<int>{0, 2, 3, 4}));
  const AxisChoice a = DefaultAxes(units, numeric);
  EXPECT_EQ(a.X, 3);
  EXPECT_EQ(a.Y, 4);
  LiteralGrid other({"P", "Q", "R"}, {{"x", "1", "2"}});
  const AxisChoice b = DefaultAxes(other, NumericColumns(other));
  EXPECT_EQ(b.X, 1);
  EXPECT_EQ(b.Y, 2);
}

TEST(PlotPoints, LeftOutRowsGroupsAndLabels) {
  LiteralGrid units({"UnitNumber", "UnitName", "Side", "BuildCostMetal", "MaxDamage"},
                    {
                        {"1", "ARMA", "ARM", "100", "500"},
                        {"2", "CORB", "CORE", "0", "300"},     // 0: left out of a log X axis
                        {"3", "ARMC", "ARM", "", "200"},       // no X
                        {"4", "CORD", "CORE", "50", "-1"},     // negative Y
                        {"5", "GOKE", "", "80", "fast"},       // Y not a number
                        {"6", "6", "GOK", "70", "60"},         // name equal to the caption
                    });
  PlotSet linear = CollectPoints(units, 3, 4, false, false);
  EXPECT_EQ(linear.Rows, 6);
  EXPECT_EQ(linear.NotNumber, 2);
  EXPECT_EQ(linear.NotPositive, 0);
  ASSERT_EQ(linear.Groups.size(), 4u);
  // Every row's Side is a group, plotted or not, in the order of their names.
  const char* expectedGroups[] = {"(none)", "ARM", "CORE", "GOK"};
  const int expectedCounts[] = {0, 1, 2, 1};
  for (size_t g = 0; g < 4; ++g) {
    EXPECT_EQ(linear.Groups[g].Label, expectedGroups[g]);
    EXPECT_EQ(linear.Groups[g].Points, expectedCounts[g]) << g;
  }
  ASSERT_EQ(linear.Points.size(), 4u);
  const int rows[] = {0, 1, 3, 5}, groups[] = {1, 2, 2, 3};
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(linear.Points[i].Row, rows[i]);
    EXPECT_EQ(linear.Points[i].Group, groups[i]);
  }
  EXPECT_EQ(linear.Points[2].X, 50);
  EXPECT_EQ(linear.Points[2].Y, -1);

  PlotSet logs = CollectPoints(units, 3, 4, true, true);
  EXPECT_EQ(logs.NotNumber, 2);
  EXPECT_EQ(logs.NotPositive, 2);
  ASSERT_EQ(logs.Points.size(), 2u);
  EXPECT_EQ(logs.Points[1].Row, 5);
  EXPECT_EQ(CollectPoints(units, 3, 4, false, true).NotPositive, 1);

  EXPECT_EQ(RowLabel(units, 0), "ARMA (1)");
  EXPECT_EQ(RowLabel(units, 5), "6");
  LiteralGrid corpses({"SName", "Metal"}, {{"ARMA_DEAD", "5"}});
  EXPECT_EQ(RowLabel(corpses, 0), "ARMA_DEAD");
}

TEST(PlotPoints, ArchivesAndLooseFilesAsGroups) {
  LiteralGrid weapons({"ID", "SName", "Range", "ParentFile", "UnPackedFile"},
                      {
                          {"1", "LASER", "300", "/mods/b.ufo", "weapons\\w.tdf"},
                          {"2", "GUN", "200", "Not packed !", "/ta/Weapons/Guns.tdf"},
                          {"3", "ROCKET", "500", "/mods/a.ufo", "weapons\\r.tdf"},
                          {"4", "FLAK", "250", "/other/a.ufo", "weapons\\f.tdf"},
                          {"5", "BEAM", "350", "/mods/b.ufo", "weapons\\w.tdf"},
                      });
  PlotSet set = CollectPoints(weapons, 0, 2, false, false);
  std::vector<std::string> labels;
  for (const PlotGroup& g : set.Groups) labels.push_back(g.Label);
  // A loose file is its own group; two archives of one name show their paths.
  EXPECT_EQ(labels, (std::vector<std::string>{"/mods/a.ufo", "/other/a.ufo", "b.ufo", "Guns.tdf"}));
  EXPECT_EQ(set.Groups[2].Points, 2);

  // More groups than a legend can tell apart: the largest keep their own.
  std::vector<std::vector<std::string>> many;
  for (int g = 0; g < 14; ++g)
    for (int k = 0; k <= (g == 13 ? 5 : g % 3); ++k)
      many.push_back({"1", "W", "1", "/m/" + std::string(1, static_cast<char>('a' + g)) + ".ufo", "x"});
  PlotSet capped = CollectPoints(LiteralGrid({"ID", "SName", "Range", "ParentFile", "UnPackedFile"}, many), 0, 2,
                                 false, false);
  ASSERT_EQ(capped.Groups.size(), kMaxGroups);
  EXPECT_EQ(capped.Groups.back().Label, "Other");
  // Group n (0 to 12) has n % 3 + 1 rows, n (13) has 6: kept are n and the
  // eight of 3 rows (c, f, i, l) and 2 rows (b, e, h, k); the rest are Other.
  labels.clear();
  for (const PlotGroup& g : capped.Groups) labels.push_back(g.Label);
  EXPECT_EQ(labels, (std::vector<std::string>{"b.ufo", "c.ufo", "e.ufo", "f.ufo", "h.ufo", "i.ufo", "k.ufo",
                                              "l.ufo", "n.ufo", "Other"}));
  EXPECT_EQ(capped.Groups.back().Points, 5);  // a, d, g, j, m: one row each
}

TEST(PlotFit, AgainstHandComputedValues) {
  // Mean X 3, mean Y 4; Sxx 10, Sxy 6: slope 0.6, intercept 2.2; residuals
  // -0.8 0.6 1 -0.6 -0.2 (2.4 squared) against a total of 6: R² 0.6.
  const std::vector<double> x = {1, 2, 3, 4, 5}, y = {2, 4, 5, 4, 5};
  const LineFit fit = FitLine(x, y);
  ASSERT_TRUE(fit.Valid);
  EXPECT_NEAR(fit.Slope, 0.6, 1e-12);
  EXPECT_NEAR(fit.Intercept, 2.2, 1e-12);
  EXPECT_NEAR(fit.RSquared, 0.6, 1e-12);
  EXPECT_NEAR(fit.At(10), 8.2, 1e-12);
  EXPECT_EQ(fit.Points, 5u);

  // Logarithmic axes fit the logarithms: Y = 2 X is log Y = log X + log 2.
  const LineFit both = FitLine(std::vector<double>{1, 10, 100}, std::vector<double>{2, 20, 200}, true, true);
  ASSERT_TRUE(both.Valid);
  EXPECT_NEAR(both.Slope, 1, 1e-12);
  EXPECT_NEAR(both.Intercept, std::log10(2.0), 1e-12);
  EXPECT_NEAR(both.RSquared, 1, 1e-12);
  EXPECT_NEAR(both.At(1000), 2000, 1e-9);
  EXPECT_TRUE(std::isnan(both.At(0)));
  const LineFit semi = FitLine(std::vector<double>{0, 1, 2}, std::vector<double>{1, 10, 100}, false, true);
  EXPECT_NEAR(semi.Slope, 1, 1e-12);
  EXPECT_NEAR(semi.At(3), 1000, 1e-9);

  // Large values: the centred sums keep the digits.
  const LineFit big = FitLine(std::vector<double>{1e9 + 1, 1e9 + 2, 1e9 + 3}, std::vector<double>{1, 3, 5});
  EXPECT_NEAR(big.Slope, 2, 1e-6);

  // No line through fewer than two points or through one X; one Y gives a
  // flat line without an R².
  EXPECT_FALSE(FitLine(std::vector<double>{1}, std::vector<double>{1}).Valid);
  EXPECT_FALSE(FitLine(std::vector<double>{2, 2, 2}, std::vector<double>{1, 2, 3}).Valid);
  const LineFit flat = FitLine(std::vector<double>{1, 2, 3}, std::vector<double>{4, 4, 4});
  ASSERT_TRUE(flat.Valid);
  EXPECT_EQ(flat.Slope, 0);
  EXPECT_TRUE(std::isnan(flat.RSquared));
}

TEST(PlotFit, OutliersByRatioToTheLine) {
  // Pairs at the same X, 2X(1 + a) and 2X(1 - a), leave the fitted line at
  // Y = 2X. a falls as X grows, so the residuals (largest in the middle)
  // rank the points otherwise than the ratios do. Two points on the line
  // (X 130) are in neither list.
  std::vector<double> x, y;
  for (int k = 1; k <= 12; ++k) {
    const double a = (13 - k) * 0.05, line = 2.0 * 10 * k;
    x.insert(x.end(), {10.0 * k, 10.0 * k});
    y.insert(y.end(), {line * (1 + a), line * (1 - a)});
  }
  x.insert(x.end(), {130, 130});
  y.insert(y.end(), {260, 260});
  const LineFit fit = FitLine(x, y);
  ASSERT_TRUE(fit.Valid);
  EXPECT_NEAR(fit.Slope, 2, 1e-12);
  EXPECT_NEAR(fit.Intercept, 0, 1e-9);

  const Outliers out = RankOutliers(x, y, fit);
  EXPECT_EQ(PointsOf(out.Above), (std::vector<size_t>{0, 2, 4, 6, 8, 10, 12, 14, 16, 18}));
  EXPECT_EQ(PointsOf(out.Below), (std::vector<size_t>{1, 3, 5, 7, 9, 11, 13, 15, 17, 19}));
  const double above[] = {1.60, 1.55, 1.50, 1.45, 1.40, 1.35, 1.30, 1.25, 1.20, 1.15};
  for (size_t i = 0; i < 10; ++i) {
    EXPECT_NEAR(out.Above[i].Ratio, above[i], 1e-9);
    EXPECT_NEAR(out.Below[i].Ratio, 2 - above[i], 1e-9);
  }
  EXPECT_EQ(RankOutliers(x, y, fit, 3).Above.size(), 3u);

  // Where the line is 0 or below, a ratio means nothing: such points are in
  // neither list. Line Y = X - 2 through symmetric pairs.
  const std::vector<double> x2 = {0, 0, 1, 1, 4, 4, 5, 5}, y2 = {-2, -2, -0.5, -1.5, 3, 1, 3, 3};
  const LineFit fit2 = FitLine(x2, y2);
  EXPECT_NEAR(fit2.Slope, 1, 1e-12);
  EXPECT_NEAR(fit2.Intercept, -2, 1e-12);
  const Outliers out2 = RankOutliers(x2, y2, fit2);
  EXPECT_EQ(PointsOf(out2.Above), std::vector<size_t>{4});
  EXPECT_EQ(PointsOf(out2.Below), std::vector<size_t>{5});
  EXPECT_TRUE(RankOutliers(x2, y2, LineFit{}).Above.empty());
  // A line through the origin, off by rounding: at X 0 its value is 0, and
  // (0, 0) is on it, not a ratio of 0 below it.
  LineFit origin;
  origin.Valid = true;
  origin.Slope = 2;
  origin.Intercept = 1e-14;
  const Outliers out3 = RankOutliers(std::vector<double>{0, 1, 1}, std::vector<double>{0, 3, 1}, origin);
  EXPECT_EQ(PointsOf(out3.Above), std::vector<size_t>{1});
  EXPECT_EQ(PointsOf(out3.Below), std::vector<size_t>{2});
}
