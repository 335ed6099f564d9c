// Row building, line reading, cell storage and the table sort checked against
// small, slow reference models over many random definition files.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "archive/scripted_dialogs.h"
#include "definitions/build_rows.h"
#include "definitions/item_compare.h"
#include "definitions/tokenizer.h"
#include "state/app_state.h"

namespace {

// The reading rules one character at a time.
std::vector<std::string> ReferenceLines(const std::string& T, bool Clean) {
  std::vector<std::string> lines;
  std::string line;
  bool cut = false, beforeEquals = true;
  auto put = [&](char C) {
    if (C == '\0')
      cut = true;
    else if (!cut)
      line += C;
  };
  const size_t n = T.size();
  size_t i = 0;
  while (i < n) {
    const char c = T[i];
    if (i == n - 1) {
      if (!(Clean && (c == ';' || c == ' ' || c == '\t'))) put(c);
      break;
    }
    const char next = T[i + 1];
    if (Clean) {
      if (c == '=') beforeEquals = false;
      if ((c == ' ' || c == '\t') && beforeEquals) {
        ++i;
        continue;
      }
      if ((c == '/' && next == '/') || c == ';') {
        const size_t end = T.find("\r\n", i);
        i = end == std::string::npos ? n : end;
        continue;
      }
      if (c == '/' && next == '*') {
        const size_t end = T.find("*/", i + 1);
        if (end == std::string::npos) break;
        i = end + 2;
        continue;
      }
    }
    if (c == '\r' && next == '\n') {
      if (!Clean || !line.empty()) lines.push_back(line);
      line.clear();
      cut = false;
      beforeEquals = true;
      i += 2;
      continue;
    }
    put(c);
    ++i;
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

std::string Upper(std::string S) {
  for (char& c : S)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  return S;
}

struct ReferenceRow {
  std::string Caption;
  std::vector<std::string> Cells;
  const UnPacked* Data;
};

// A record's row: each key takes the text after the first "=" of the first
// line whose text before it equals the key, ignoring case.
ReferenceRow RowOf(const std::vector<std::string>& Record, const std::vector<std::string>& Keys, const UnPacked* E) {
  std::vector<std::string> values;
  for (const std::string& key : Keys) {
    std::string value;
    for (const std::string& l : Record) {
      const size_t eq = l.find('=');
      if (eq != std::string::npos && Upper(l.substr(0, eq)) == Upper(key)) {
        value = l.substr(eq + 1);
        break;
      }
    }
    values.push_back(value);
  }
  return {values[0], std::vector<std::string>(values.begin() + 1, values.end()), E};
}

void ReferenceRows(const UnPacked& E, const std::vector<std::string>& Keys, bool Multi, bool KeepEmpty,
                   std::vector<ReferenceRow>& Out) {
  const bool empty = !E.Contents || E.PFileSize <= 0;
  if (empty && (Multi || !KeepEmpty)) return;
  const std::vector<std::string> lines =
      empty ? std::vector<std::string>{} : ReferenceLines(std::string(E.Contents.get(), static_cast<size_t>(E.PFileSize)), true);
  const std::vector<std::string> fileLines = {"UnpackedFile=" + E.UnPackedFile, "ParentFile=" + E.ParentFile,
                                              "PFilesize=" + std::to_string(E.PFileSize)};
  auto add = [&](std::vector<std::string> Record, bool Keep) {
    Record.insert(Record.end(), fileLines.begin(), fileLines.end());
    ReferenceRow r = RowOf(Record, Keys, &E);
    if (!r.Caption.empty() || Keep) Out.push_back(r);
  };
  if (!Multi) return add(lines, KeepEmpty);
  std::vector<std::string> record;
  for (const std::string& l : lines) {
    record.push_back(l);
    if (l != "}") continue;
    std::string name;
    for (const std::string& r : record)
      if (r.size() >= 2 && r.front() == '[' && r.back() == ']') {
        name = r.substr(1, r.size() - 2);
        break;
      }
    record.push_back("SName=" + name);
    add(record, false);
    record.clear();
  }
}

// Random definition text made of the pieces that matter to the reading rules.
std::string RandomDefinition(std::mt19937& Rng, const std::vector<std::string>& Keys) {
  static const char* kPieces[] = {"=",  "==", " ",   "\t", ";",   "//", "/*", "*/", "/",    "*",  "\r\n", "\r\n",
                                  "\r", "\n", "\r\r\n", "[",  "]",  "{",  "}",
                                  "}\r\n", "[SEC]\r\n", "[]\r\n", "42", "-7", "$1F", "text", "x y", "é"};
  constexpr int kPieceCount = sizeof kPieces / sizeof kPieces[0];
  auto pick = [&](int N) { return std::uniform_int_distribution<int>(0, N - 1)(Rng); };
  std::string t;
  const int count = pick(80);
  for (int i = 0; i < count; ++i) {
    switch (pick(4)) {
      case 0: {  // a statement with a key of the table in any case
        std::string key = Keys[static_cast<size_t>(pick(static_cast<int>(Keys.size())))];
        for (char& c : key)
          if (pick(2) && c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
        t += (pick(3) == 0 ? "\t" : "") + key + (pick(4) == 0 ? " =" : "=") + std::to_string(pick(1000)) +
             (pick(2) ? ";\r\n" : "\r\n");
        break;
      }
      case 1:
        t += pick(2) ? std::string(1, '\0') : std::string(kPieces[pick(kPieceCount)]);
        break;
      default:
        t += kPieces[pick(kPieceCount)];
        break;
    }
  }
  return t;
}

void ExpectSameRows(const RowTable& View, const std::vector<ReferenceRow>& Expected, const std::string& Where) {
  ASSERT_EQ(View.RowCount(), static_cast<int>(Expected.size())) << Where;
  for (int i = 0; i < View.RowCount(); ++i) {
    const Row& r = View.RowAt(i);
    ASSERT_EQ(r.Caption, Expected[static_cast<size_t>(i)].Caption) << Where << " row " << i;
    ASSERT_EQ(r.SubItems(), Expected[static_cast<size_t>(i)].Cells) << Where << " row " << i;
    ASSERT_EQ(r.Data, Expected[static_cast<size_t>(i)].Data) << Where << " row " << i;
  }
}


// Adds one loaded file to List and returns its entry.
UnPacked& AddFile(AllUnpacked& List, const std::string& Parent, const std::string& Path, const std::string& Text) {
  UnPacked& e = List.NextSlot();
  e.ParentFile = Parent;
  e.UnPackedFile = Path;
  e.SetContents(Text.data(), static_cast<int32_t>(Text.size()));
  List.CommitSlot();
  return e;
}

// The order row building leaves a table in: a stable sort by caption with the
// table comparison.
void SortByCaption(Dialogs& D, std::vector<ReferenceRow>& Rows) {
  std::stable_sort(Rows.begin(), Rows.end(), [&](const ReferenceRow& A, const ReferenceRow& B) {
    Row a, b;
    a.Caption = A.Caption;
    b.Caption = B.Caption;
    return ItempCompare(D, a, b, 0) < 0;
  });
}

}  // namespace

TEST(RowsReference, LinesMatchTheReadingRules) {
  std::mt19937 rng(7);
  const std::vector<std::string> keys = {"ID", "Name", "x"};
  for (int round = 0; round < 3000; ++round) {
    const std::string text = RandomDefinition(rng, keys);
    UnPacked e;
    e.SetContents(text.data(), static_cast<int32_t>(text.size()));
    for (bool clean : {true, false}) {
      ASSERT_EQ(GetUnpackedLines(e, clean), ReferenceLines(text, clean)) << "round " << round << " clean " << clean;
      LineArena arena;
      GetUnpackedLines(e, clean, arena);
      std::vector<std::string> fromArena;
      for (size_t k = 0; k < arena.Count(); ++k) fromArena.emplace_back(arena.Line(k));
      ASSERT_EQ(fromArena, ReferenceLines(text, clean));
    }
  }
  // A line far longer than any buffer comes through whole.
  const std::string longLine = "[A]\r\nName=" + std::string(200000, 'v') + "/* cut */w;\r\nID=1";
  UnPacked e;
  e.SetContents(longLine.data(), static_cast<int32_t>(longLine.size()));
  const std::vector<std::string> lines = GetUnpackedLines(e, true);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[1], "Name=" + std::string(200000, 'v') + "w");
}

TEST(RowsReference, RowsMatchAReferenceModel) {
  std::mt19937 rng(2049);
  for (bool multi : {false, true}) {
    for (int round = 0; round < 150; ++round) {
      ScriptedDialogs d;
      AppState s{d};
      AllUnpacked& list = multi ? s.WeaponFiles : s.UnitFiles;
      RowTable& view = multi ? s.WeaponView : s.UnitView;
      // Duplicate keys in different case, and the file's own fields.
      list.KeyList = {"ID", "Name", "name", "SName", "x", "ParentFile", "UnPackedFile", "PFileSize",
                      "Wpri_badTargetCategory", "SixteenLettersAB", "FifteenLetters1"};
      std::vector<ReferenceRow> expected;
      const int files = std::uniform_int_distribution<int>(1, 12)(rng);
      for (int f = 0; f < files; ++f) {
        const std::string text = RandomDefinition(rng, list.KeyList);
        UnPacked& e = AddFile(list, "pack" + std::to_string(f % 3) + ".ufo", "dir\\f" + std::to_string(f) + ".tdf", text);
        ReferenceRows(e, list.KeyList, multi, false, expected);
      }
      BuildRows(s, view, list, multi, brAddNew, nullptr);
      SortByCaption(d, expected);
      ExpectSameRows(view, expected, "round " + std::to_string(round) + (multi ? " multi" : " single"));
      if (HasFatalFailure()) return;

      // Removing one archive's rows keeps the others in order.
      UnPacked& first = list[0];
      BuildRows(s, view, list, multi, brRemoveArchive, &first);
      std::erase_if(expected, [&](const ReferenceRow& R) { return R.Data->ParentFile == first.ParentFile; });
      ExpectSameRows(view, expected, "after removal, round " + std::to_string(round));
      if (HasFatalFailure()) return;
    }
  }
}

// Batches of more than a megabyte are built in two parts at once: the rows
// and their order stay those of the reference.
TEST(RowsReference, LargeBatchesBuildTheSameRows) {
  std::mt19937 rng(404);
  for (bool multi : {false, true}) {
    ScriptedDialogs d;
    AppState s{d};
    AllUnpacked& list = multi ? s.WeaponFiles : s.UnitFiles;
    RowTable& view = multi ? s.WeaponView : s.UnitView;
    list.KeyList = {"ID", "Name", "SName", "x", "ParentFile", "UnPackedFile", "PFileSize"};
    std::vector<ReferenceRow> expected;
    size_t bytes = 0;
    for (int f = 0; bytes < (3u << 20) / 2; ++f) {
      std::string text;
      for (int k = 0; k < 40; ++k) text += RandomDefinition(rng, list.KeyList) + "\r\nID=" + std::to_string(f % 97) + "\r\n}\r\n";
      bytes += text.size();
      UnPacked& e = AddFile(list, "big.ufo", "f" + std::to_string(f), text);
      ReferenceRows(e, list.KeyList, multi, false, expected);
    }
    BuildRows(s, view, list, multi, brAddNew, nullptr);
    SortByCaption(d, expected);
    ASSERT_GT(expected.size(), 100u);
    ExpectSameRows(view, expected, multi ? "large multi" : "large single");
  }
}

// Several tables built at once are split in two parts across their lists:
// wherever the split falls (in the first list, in the second, at the border),
// each table gets the rows of its own files, in the reference's order.
TEST(RowsReference, TablesBuiltTogetherGetTheirOwnRows) {
  std::mt19937 rng(405);
  // Bytes of the unit files and of the weapon files.
  const std::pair<size_t, size_t> sizes[] = {{1500000, 100000}, {300000, 1200000}, {700000, 700000}, {0, 1300000}};
  for (const auto& [unitBytes, weaponBytes] : sizes) {
    ScriptedDialogs d;
    AppState s{d};
    std::vector<ReferenceRow> expected[2];
    AllUnpacked* lists[] = {&s.UnitFiles, &s.WeaponFiles};
    for (int t = 0; t < 2; ++t) {
      lists[t]->KeyList = {"ID", "Name", "SName", "x", "ParentFile", "UnPackedFile", "PFileSize"};
      for (size_t bytes = 0, f = 0; bytes < (t == 0 ? unitBytes : weaponBytes); ++f) {
        std::string text;
        for (int k = 0; k < 40; ++k) text += RandomDefinition(rng, lists[t]->KeyList) + "\r\nID=" + std::to_string(f % 97) + "\r\n}\r\n";
        bytes += text.size();
        UnPacked& e = AddFile(*lists[t], "big.ufo", "t" + std::to_string(t) + "f" + std::to_string(f), text);
        ReferenceRows(e, lists[t]->KeyList, t == 1, false, expected[t]);
      }
      SortByCaption(d, expected[t]);
    }
    BuildNewRowsOfTables(s, {{&s.UnitView, &s.UnitFiles, false}, {&s.WeaponView, &s.WeaponFiles, true}});
    const std::string where = std::to_string(unitBytes) + "+" + std::to_string(weaponBytes);
    ExpectSameRows(s.UnitView, expected[0], "units " + where);
    ExpectSameRows(s.WeaponView, expected[1], "weapons " + where);
    EXPECT_EQ(s.UnitFiles.BuiltCount, s.UnitFiles.Count);
    EXPECT_EQ(s.WeaponFiles.BuiltCount, s.WeaponFiles.Count);
    if (HasFatalFailure()) return;
  }
}

TEST(RowsReference, CellStoreKeepsEveryCell) {
  std::mt19937 rng(11);
  for (int round = 0; round < 200; ++round) {
    std::vector<std::string> cells(static_cast<size_t>(std::uniform_int_distribution<int>(0, 120)(rng)));
    // Short cells only, or one longer than a byte counts (offsets then), now and then.
    for (std::string& c : cells)
      if (rng() % 2) c = std::string(rng() % 9, static_cast<char>('a' + rng() % 26));
    if (round % 3 == 0 && !cells.empty()) cells[rng() % cells.size()] = std::string(255 + round % 4, 'L');
    Row r;
    r.SetSubItems(cells);
    ASSERT_EQ(r.SubItems(), cells);
    Row copy = r;
    copy.AppendSubItem("tail");
    cells.push_back("tail");
    EXPECT_EQ(copy.SubItems(), cells);
    EXPECT_THROW(copy.SubItem(cells.size()), std::out_of_range);
  }
  // More text than 16-bit offsets reach, and more columns than 16-bit numbers.
  std::vector<std::string> wide = {std::string(70000, 'a'), "", "b", std::string(3, '\0')};
  wide.resize(70000);
  wide.back() = "last";
  Row r;
  r.SetSubItems(wide);
  EXPECT_EQ(r.SubItemCount(), 70000u);
  EXPECT_EQ(r.SubItem(0).size(), 70000u);
  EXPECT_EQ(r.SubItem(2), "b");
  EXPECT_EQ(r.SubItem(3), std::string(3, '\0'));
  EXPECT_EQ(r.SubItem(69999), "last");
  EXPECT_EQ(r.SubItem(5000), "");
  r.ClearSubItems();
  EXPECT_EQ(r.SubItemCount(), 0u);

  // Fitting columns looks at fewer cells but finds the same widths as
  // measuring every one (7 pixels a byte and 12 of margin without a window).
  RowTable t;
  for (const char* caption : {"c0", "c1", "c2", "hidden", "c4"}) t.AddColumn(caption, 10);
  t.SetColumnWidth(3, 0);
  std::vector<int> expected = {2 * 7 + 16, 2 * 7 + 16, 2 * 7 + 16, 0, 2 * 7 + 16};
  for (int i = 0; i < 300; ++i) {
    Row& row = t.AddRow();
    row.Caption = std::string(rng() % 12, 'c');
    std::vector<std::string> cells(rng() % 6);  // some rows are short, some have a cell too many
    for (std::string& c : cells) c = std::string(rng() % 40 == 0 ? 50 + rng() % 30 : rng() % 8, 'x');
    row.SetSubItems(cells);
    if (!row.Caption.empty()) expected[0] = std::max(expected[0], static_cast<int>(row.Caption.size()) * 7 + 12);
    for (size_t j = 0; j < cells.size() && j + 1 < 5; ++j)
      if (j + 1 != 3 && !cells[j].empty()) expected[j + 1] = std::max(expected[j + 1], static_cast<int>(cells[j].size()) * 7 + 12);
  }
  t.FitShownColumnsToContents();
  for (int c = 0; c < 5; ++c) EXPECT_EQ(t.ColumnWidth(c), expected[static_cast<size_t>(c)]) << c;
}

TEST(RowsReference, SortMatchesAStableSortWithItempCompare) {
  std::mt19937 rng(5);
  const std::string kTexts[] = {"10", " 10", "9", "-3", "$ff", "$FFFFFFFF", "abc",
                                "ABC", "abd", "",    "b", std::string("x\0y", 3), "Zz"};
  for (int round = 0; round < 200; ++round) {
    ScriptedDialogs d;
    AppState s{d};
    RowTable& view = s.UnitView;
    std::vector<Row> reference;
    const int rows = std::uniform_int_distribution<int>(0, 40)(rng);
    for (int i = 0; i < rows; ++i) {
      Row& r = view.AddRow();
      // Some rows lack the sort column, so comparing them fails and says so.
      std::vector<std::string> cells(rng() % 5 == 0 ? 1 : 3);
      for (std::string& c : cells) c = kTexts[rng() % 13];
      if (rng() % 7 == 0 && cells.size() > 2) cells[2] = std::string(70000, '1');  // too long to compare
      r.SetSubItems(cells);
      r.Caption = std::to_string(i);  // tells the rows apart
      reference.push_back(r);
    }
    // The comparison rule written out: a row without the column, or with a
    // cell too long to compare, fails every comparison and counts as equal.
    size_t failures = 0;
    auto fails = [](const Row& R) { return R.SubItemCount() < 3 || R.SubItem(2).size() > 65535; };
    std::stable_sort(reference.begin(), reference.end(), [&](const Row& A, const Row& B) {
      if (fails(A) || fails(B)) {
        ++failures;
        return false;
      }
      std::string a(A.SubItem(2)), b(B.SubItem(2));
      a = a.substr(0, a.find('\0'));
      b = b.substr(0, b.find('\0'));
      const auto na = ParseWholeNumber(a), nb = ParseWholeNumber(b);
      if (na && nb) return *na < *nb;
      return CompareTextFoldingLower(a, b) < 0;
    });
    s.UnitSortColumn = 3;
    SortTable(s, view);
    ASSERT_EQ(view.RowCount(), rows);
    for (int i = 0; i < rows; ++i) ASSERT_EQ(view.RowAt(i).Caption, reference[static_cast<size_t>(i)].Caption);
    ASSERT_EQ(d.Messages, std::vector<std::string>(failures, "Exception in Function ItempCompare"));
  }
}

namespace {

// The comparison rule of the table sort, written out: whole numbers by value,
// anything else as text with a to z taken as capitals, a prefix first.
bool ReferenceLess(const std::string& A, const std::string& B) {
  auto folded = [](std::string S) {
    S = S.substr(0, S.find('\0'));
    for (char& c : S)
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return S;
  };
  const std::string a = folded(A), b = folded(B);
  const auto na = ParseWholeNumber(A.substr(0, A.find('\0'))), nb = ParseWholeNumber(B.substr(0, B.find('\0')));
  if (na && nb) return *na < *nb;
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char X, char Y) {
    return static_cast<unsigned char>(X) < static_cast<unsigned char>(Y);
  });
}

// Sorts a table whose second sub-item holds Cells (row i captioned i) and
// checks the order against a stable sort by ReferenceLess.
void ExpectSortedAsReference(const std::vector<std::string>& Cells) {
  ScriptedDialogs d;
  AppState s{d};
  std::vector<std::pair<std::string, std::string>> reference;  // caption, cell
  for (size_t i = 0; i < Cells.size(); ++i) {
    Row& r = s.UnitView.AddRow();
    r.Caption = std::to_string(i);
    r.SetSubItems({"x", Cells[i]});
    reference.emplace_back(r.Caption, Cells[i]);
  }
  std::stable_sort(reference.begin(), reference.end(),
                   [&](const auto& A, const auto& B) { return ReferenceLess(A.second, B.second); });
  s.UnitSortColumn = 2;
  SortTable(s, s.UnitView);
  ASSERT_EQ(s.UnitView.RowCount(), static_cast<int>(Cells.size()));
  for (size_t i = 0; i < Cells.size(); ++i)
    ASSERT_EQ(s.UnitView.RowAt(static_cast<int>(i)).Caption, reference[i].first)
        << s.UnitView.RowAt(static_cast<int>(i)).SubItem(1) << " / " << reference[i].second;
  ASSERT_TRUE(d.Messages.empty());
}

}  // namespace

TEST(RowsReference, SortOfNumericTextAndMixedColumns) {
  // Columns of one kind are sorted by shortcuts: numbers and empty cells by
  // value, texts by their first bytes. Each must give the order of the
  // comparison rule.
  auto less = ReferenceLess;
  const std::vector<std::vector<std::string>> kinds = {
      {"", "0", "-1", "17", "  17", "+17", "$10", "2147483647", "-2147483648", "$FFFFFFFF", "900"},  // numbers
      {"", "abc", "ABC", "abcdefgh", "ABCDEFGHi", "abcdefghI", "abcdefghij", "abcdefgh\xe9", "Zz", "zZ",
       "_x", "\xff", std::string("abcdefgh\0z", 10), "1.5", "2.25", "10.0", "ab cd"},  // texts
      {"", "10", "9", "9a", "10.5", "abc", "2147483648", "-3", "$ff"},                 // both
  };
  std::mt19937 rng(12);
  for (const auto& values : kinds)
    for (int round = 0; round < 100; ++round) {
      SCOPED_TRACE(values[1]);
      ScriptedDialogs d;
      AppState s{d};
      std::vector<std::pair<std::string, std::string>> reference;  // caption, cell
      const int rows = std::uniform_int_distribution<int>(0, 60)(rng);
      for (int i = 0; i < rows; ++i) {
        Row& r = s.UnitView.AddRow();
        r.Caption = std::to_string(i);
        r.SetSubItems({"x", values[rng() % values.size()]});
        reference.emplace_back(r.Caption, r.SubItem(1));
      }
      std::stable_sort(reference.begin(), reference.end(),
                       [&](const auto& A, const auto& B) { return less(A.second, B.second); });
      s.UnitSortColumn = 2;
      SortTable(s, s.UnitView);
      ASSERT_EQ(s.UnitView.RowCount(), rows);
      for (int i = 0; i < rows; ++i)
        ASSERT_EQ(s.UnitView.RowAt(i).Caption, reference[static_cast<size_t>(i)].first) << s.UnitView.RowAt(i).SubItem(1) << " / " << reference[static_cast<size_t>(i)].second;
      ASSERT_TRUE(d.Messages.empty());
    }
}

TEST(RowsReference, SortOfLargeColumnsOfOneKind) {
  // Thousands of rows: numbers over the whole 32-bit range (every digit of
  // their ranking varies), with repeats and empty cells; texts of a few
  // letters, many sharing their first eight bytes or all of them.
  std::mt19937 rng(29);
  std::vector<std::string> numbers, texts;
  for (int i = 0; i < 3000; ++i) {
    const auto v = static_cast<int32_t>(rng());
    numbers.push_back(i % 11 == 0 ? "" : i % 7 == 0 ? "-2147483648" : std::to_string(i % 5 == 0 ? v % 50 : v));
    std::string t(rng() % 13, ' ');
    for (char& c : t) c = "aAbB.z"[rng() % 6];
    texts.push_back(t);
  }
  ExpectSortedAsReference(numbers);
  ExpectSortedAsReference(texts);
}
