#include <gtest/gtest.h>

#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "definitions/row_table.h"

// A row's cells read one at a time and a few at once, against the texts the
// row was given, for every way a row keeps them: one-byte lengths (short
// cells), 16-bit and 32-bit end offsets (a cell of 256 bytes or more, text
// beyond 64 KiB), one or several words of column bits, rows whose whole text
// is a few bytes (the last lengths lie near the end of the row's block), and
// columns asked for past the row's end; and the same after the cells from
// some column on were replaced.
TEST(RowCells, ReadOneAndManyAtOnceAsGiven) {
  std::mt19937 rng(11);
  struct Shape {
    size_t Columns;
    int FilledPercent;
    size_t Longest;  // cells are 1 to Longest bytes; 0 leaves them empty
    size_t Huge;     // one cell of this many bytes, when not 0
  };
  const Shape shapes[] = {
      {1, 100, 1, 0},    {5, 60, 1, 0},     {9, 100, 2, 0},  {63, 50, 12, 0}, {64, 100, 9, 0},   {65, 30, 20, 0},
      {130, 70, 40, 0},  {200, 10, 255, 0}, {70, 80, 6, 256}, {40, 90, 30, 70000}, {3, 0, 0, 0}, {129, 100, 1, 0},
  };
  for (const Shape& shape : shapes)
    for (int round = 0; round < 40; ++round) {
      std::vector<std::string> cells(shape.Columns);
      for (std::string& c : cells)
        if (static_cast<int>(rng() % 100) < shape.FilledPercent && shape.Longest > 0)
          for (size_t n = 1 + rng() % shape.Longest; n > 0; --n) c += static_cast<char>('!' + rng() % 90);
      if (shape.Huge) cells[rng() % cells.size()] = std::string(shape.Huge, 'h');
      Row r;
      r.SetSubItems(cells);
      for (size_t j = 0; j < cells.size(); ++j) ASSERT_EQ(r.SubItem(j), cells[j]) << shape.Columns << " " << j;
      // Ascending columns, some past the row's last.
      std::vector<size_t> wanted;
      for (size_t j = 0; j < cells.size() + 3; ++j)
        if (rng() % 3 == 0) wanted.push_back(j);
      std::vector<std::string_view> got(wanted.size(), "unread");
      r.SubItemsAt(wanted.data(), wanted.size(), got.data());
      for (size_t i = 0; i < wanted.size(); ++i)
        ASSERT_EQ(got[i], wanted[i] < cells.size() ? std::string_view(cells[wanted[i]]) : std::string_view())
            << shape.Columns << " column " << wanted[i];

      // The cells from a column on replaced by others (empty ones, short
      // ones, now and then one of 300 bytes), as the figure columns are.
      const size_t from = rng() % (cells.size() + 4);
      std::vector<std::string> tail(rng() % 8);
      for (std::string& t : tail)
        if (rng() % 3 != 0) t = std::string(rng() % 20 == 0 ? 300 : 1 + rng() % 12, static_cast<char>('a' + rng() % 26));
      std::vector<std::string> want(cells.begin(), cells.begin() + static_cast<std::ptrdiff_t>(std::min(from, cells.size())));
      want.resize(from);
      want.insert(want.end(), tail.begin(), tail.end());
      r.ReplaceSubItemsFrom(from, tail);
      ASSERT_EQ(r.SubItems(), want) << shape.Columns << " from " << from;
      std::vector<size_t> all(want.size());
      for (size_t j = 0; j < all.size(); ++j) all[j] = j;
      std::vector<std::string_view> again(all.size());
      r.SubItemsAt(all.data(), all.size(), again.data());
      for (size_t j = 0; j < all.size(); ++j) ASSERT_EQ(again[j], want[j]) << shape.Columns << " from " << from;
    }
}
