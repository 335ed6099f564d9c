// kestrava-table: its output against the rows the core builds for the same
// archives, each format parsed back, its field quoting, and its reports and
// exit statuses.
#include <gtest/gtest.h>
#include <zlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "archive/command_line_dialogs.h"
#include "archive/engine.h"
#include "archive/scripted_dialogs.h"
#include "definitions/build_rows.h"
#include "definitions/catalogue.h"
#include "hpi/archive.h"
#include "hpi/hpi.h"
#include "state/app_state.h"
#include "tools/table/table_command.h"
#include "definitions/table_format.h"

namespace fs = std::filesystem;

namespace {

using Table = std::vector<std::vector<std::string>>;  // first line: captions

void WriteDisk(const std::string& P, const std::string& Data) {
  fs::create_directories(fs::path(P).parent_path());
  std::ofstream(P, std::ios::binary) << Data;
}

void MakeArchive(const std::string& Path, const std::map<std::string, std::string>& Content) {
  HPIHANDLE pack = HPICreate(Path.c_str(), nullptr);
  for (const auto& [name, data] : Content)
    ASSERT_NE(HPIAddFileFromMemory(pack, name.c_str(), data.data(), static_cast<int32_t>(data.size())), 0);
  ASSERT_NE(HPIPackArchive(pack, 1), 0);
}

std::string Unit(const std::string& Number, const std::string& Name, const std::string& Metal,
                 const std::string& Extra = "") {
  return "[UNITINFO]\r\n{\r\n\tUnitNumber=" + Number + ";\r\n\tUnitName=" + Name + ";\r\n\tBuildCostMetal=" + Metal +
         ";\r\n\tSide=ARM;\r\n" + Extra + "}\r\n";
}

// UTF-8 back to the 8-bit text it was made from, through Qt's own codecs;
// fails the test on anything that is not valid UTF-8 of Latin-1 characters.
std::string Latin1(const std::string& Utf8) {
  const QString s = QString::fromUtf8(Utf8.data(), static_cast<qsizetype>(Utf8.size()));
  EXPECT_EQ(s.toUtf8().toStdString(), Utf8) << "not valid UTF-8";
  for (QChar c : s) EXPECT_LE(c.unicode(), 0xFF) << "not a Latin-1 character";
  return s.toLatin1().toStdString();
}

// RFC 4180: quoted fields may hold commas, quotes (doubled), CR and LF;
// records end in CR LF.
Table ParseCsv(const std::string& Text) {
  Table rows;
  std::vector<std::string> row;
  std::string field;
  bool quoted = false, wasQuoted = false;
  for (size_t i = 0; i < Text.size(); ++i) {
    const char c = Text[i];
    if (quoted) {
      if (c == '"' && i + 1 < Text.size() && Text[i + 1] == '"') {
        field += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        field += c;
      }
    } else if (c == '"' && field.empty() && !wasQuoted) {
      quoted = wasQuoted = true;
    } else if (c == ',') {
      row.push_back(Latin1(field));
      field.clear();
      wasQuoted = false;
    } else if (c == '\r' && i + 1 < Text.size() && Text[i + 1] == '\n') {
      row.push_back(Latin1(field));
      rows.push_back(row);
      row.clear();
      field.clear();
      wasQuoted = false;
      ++i;
    } else {
      EXPECT_FALSE(c == '"' || c == '\r' || c == '\n') << "unquoted special character at " << i;
      EXPECT_FALSE(wasQuoted) << "text after a closing quote at " << i;
      field += c;
    }
  }
  EXPECT_FALSE(quoted);
  EXPECT_TRUE(row.empty() && field.empty()) << "the last record does not end in CR LF";
  return rows;
}

Table ParseTsv(const std::string& Text) {
  Table rows;
  std::vector<std::string> row;
  std::string field;
  for (size_t i = 0; i < Text.size(); ++i) {
    const char c = Text[i];
    if (c == '\\') {
      EXPECT_LT(i + 1, Text.size());
      const char e = Text[++i];
      if (e == 't') field += '\t';
      else if (e == 'r') field += '\r';
      else if (e == 'n') field += '\n';
      else if (e == '\\') field += '\\';
      else ADD_FAILURE() << "unknown escape \\" << e;
    } else if (c == '\t' || c == '\n') {
      row.push_back(Latin1(field));
      field.clear();
      if (c == '\n') {
        rows.push_back(row);
        row.clear();
      }
    } else {
      EXPECT_NE(c, '\r') << "a bare CR in TSV";
      field += c;
    }
  }
  EXPECT_TRUE(row.empty() && field.empty()) << "the last line does not end in LF";
  return rows;
}

// A JSON array of objects of strings, as a table whose first line holds the
// keys of the first object, in order (QJsonObject sorts keys, so the key
// order is read from the text).
Table ParseJson(const std::string& Text, const std::vector<std::string>& Captions) {
  QJsonParseError error;
  const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(Text), &error);
  EXPECT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
  EXPECT_TRUE(doc.isArray());
  Table rows{Captions};
  for (const QJsonValue& v : doc.array()) {
    const QJsonObject o = v.toObject();
    EXPECT_EQ(static_cast<size_t>(o.size()), Captions.size());
    std::vector<std::string> row;
    for (const std::string& key : Captions) {
      const QJsonValue cell = o.value(QString::fromStdString(key));
      EXPECT_TRUE(cell.isString()) << key;
      row.push_back(cell.toString().toLatin1().toStdString());
    }
    rows.push_back(row);
  }
  return rows;
}

// The table the core builds for these sources, the way the window's menu
// commands drive it, sorted as a header click on SortColumn does.
Table CoreTable(const std::string& Kind, const std::vector<std::string>& Archives, const std::string& TaDir,
                int SortColumn) {
  ScriptedDialogs d;
  auto s = std::make_unique<AppState>(d);
  SetUpColumns(*s);
  s->AutosizeSetting = [] { return false; };
  for (const std::string& a : Archives)
    for (AllUnpacked* list : {&s->UnitFiles, &s->WeaponFiles, &s->DownloadFiles, &s->CorpseFiles})
      ReadwriteHPIDir(*s, list, a, rwLoadArchive);
  BuildRows(*s, s->UnitView, s->UnitFiles, false, brAddNew, nullptr);
  BuildRows(*s, s->WeaponView, s->WeaponFiles, true, brAddNew, nullptr);
  BuildRows(*s, s->CorpseView, s->CorpseFiles, true, brAddNew, nullptr);
  BuildRows(*s, s->DownloadView, s->DownloadFiles, true, brAddNew, nullptr);
  if (!TaDir.empty()) {
    s->TaDir = TaDir;
    for (AllUnpacked* list : {&s->UnitFiles, &s->WeaponFiles, &s->DownloadFiles, &s->CorpseFiles})
      ReadwriteHPIDir(*s, list, "", rwLoadLooseFiles);
    BuildRows(*s, s->UnitView, s->UnitFiles, false, brAddNew, nullptr);
    BuildRows(*s, s->WeaponView, s->WeaponFiles, true, brAddNew, nullptr);
    BuildRows(*s, s->DownloadView, s->DownloadFiles, true, brAddNew, nullptr);
    BuildRows(*s, s->CorpseView, s->CorpseFiles, true, brAddNew, nullptr);
  }
  RowTable& v = Kind == "units" ? s->UnitView : Kind == "weapons" ? s->WeaponView
                : Kind == "corpses" ? s->CorpseView : s->DownloadView;
  s->SortColumnOf(v) = SortColumn;
  SortTable(*s, v);
  EXPECT_TRUE(d.Messages.empty());
  // The tool adds the checksum of each row's file last: zlib's CRC-32 here,
  // not the tool's own.
  Table t(1);
  for (int c = 0; c < v.ColumnCount(); ++c) t[0].push_back(v.ColumnCaption(c));
  t[0].push_back("File CRC-32");
  for (int i = 0; i < v.RowCount(); ++i) {
    t.emplace_back();
    for (int c = 0; c < v.ColumnCount(); ++c) t.back().push_back(v.Cell(i, c));
    const UnPacked& e = *v.RowAt(i).Data;
    char crc[16];
    std::snprintf(crc, sizeof crc, "0x%08lx",
                  crc32(0, reinterpret_cast<const Bytef*>(e.Contents.get()), static_cast<uInt>(e.PFileSize)));
    t.back().push_back(crc);
  }
  return t;
}

struct ToolRun {
  int status;
  std::string out, err;
};

ToolRun RunArgs(const std::vector<std::string>& Args) {
  TableRequest r;
  const std::string wrong = ParseTableArguments(Args, r);
  EXPECT_EQ(wrong, "");
  std::ostringstream out, err;
  const int status = RunTable(r, out, err);
  return {status, out.str(), err.str()};
}

int Lines(const std::string& S) { return static_cast<int>(std::count(S.begin(), S.end(), '\n')); }

struct KestravaTable : ::testing::Test {
  fs::path root = fs::temp_directory_path() /
                  ("kestrava_table_" + std::to_string(::getpid()) + "_" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
  std::string modA, modB, taDir;

  void SetUp() override {
    fs::remove_all(root);
    fs::create_directories(root);
    modA = (root / "modA.ufo").string();
    modB = (root / "modB.hpi").string();
    taDir = (root / "ta").string();
    MakeArchive(modA, {
        {"units\\ARMFLEA.FBI", Unit("10", "ARMFLEA", "17")},
        {"units\\ARMTANK.fbi",
         Unit("9", "ARMTANK", "100",
              "\tName=Tank, \"heavy\";\r\n\tDescription=a\tb\\c\xe9\xff;\r\n\tDesignation=x\ry\nz;\r\n")},
        {"units\\NONUMBER.FBI", "[UNITINFO]\r\n{\r\nUnitName=NONE;\r\n}\r\n"},
        {"weapons\\W.TDF", "[GUN]\r\n{\r\nID=3;\r\nName=gun;\r\n[DAMAGE]\r\n{\r\ndefault=50;\r\n}\r\n}\r\n"
                           "[LASER]\r\n{\r\nID=1;\r\nName=laser;\r\n}\r\n"},
        {"download\\M.TDF",
         "[MENUENTRY1]\r\n{\r\nUNITMENU=ARMCOM;\r\nMENU=2;\r\nBUTTON=0;\r\nUNITNAME=ARMFLEA;\r\n}\r\n"},
        {"features\\corpses\\C.TDF", "[HEAP1]\r\n{\r\nworld=all;\r\nmetal=12;\r\n}\r\n"},
    });
    MakeArchive(modB, {
        {"units\\CORAK.FBI", Unit("$10", "CORAK", "9", "\tName=\"Quill\" Missile Tower;\r\n")},
        {"units\\corstorm.fbi", Unit("-5", "corstorm", "  42")},
        {"weapons\\W2.TDF", "[ROCKET]\r\n{\r\nID=2;\r\nName=rocket;\r\n}\r\n"},
    });
    WriteDisk(taDir + "/Units/ARMLOOSE.FBI", Unit("100", "armloose", "1000"));
    WriteDisk(taDir + "/weapons/LOOSE.TDF", "[FLAME]\r\n{\r\nID=7;\r\nName=flame;\r\n}\r\n");
  }
  void TearDown() override { fs::remove_all(root); }
};

TEST_F(KestravaTable, EveryFormatHoldsTheCoresCellsInItsOrder) {
  // modA twice, the second time spelled in capitals: loaded once, as Open does.
  std::string modAUpper = modA;
  const size_t at = modAUpper.rfind("modA.ufo");
  modAUpper.replace(at, 8, "MODA.UFO");
  ASSERT_FALSE(fs::exists(modAUpper));
  fs::copy_file(modA, modAUpper);

  for (const std::string kind : {"units", "weapons", "corpses", "download"}) {
    // "Side" and "ParentFile" tie many rows: their order shows the load order.
    for (const std::string sort : {"", "PFileSize", "Name", "ParentFile", "Side"}) {
      if (sort == "Name" && (kind == "corpses" || kind == "download")) continue;
      if (sort == "Side" && kind != "units") continue;
      std::vector<std::string> args = {kind, modB, modA, "--ta-dir", taDir};
      if (!sort.empty()) args.insert(args.end(), {"--sort", sort});
      int sortColumn = 0;
      const Table core = CoreTable(kind, {modB, modA}, taDir, 0);
      for (size_t c = 0; c < core[0].size(); ++c)
        if (core[0][c] == sort) sortColumn = static_cast<int>(c);
      const Table expected = CoreTable(kind, {modB, modA}, taDir, sortColumn);
      for (const std::string format : {"csv", "tsv", "json"}) {
        SCOPED_TRACE(kind + " sorted by " + sort + " as " + format);
        std::vector<std::string> a = args;
        a.insert(a.end(), {"--format", format});
        const ToolRun r = RunArgs(a);
        EXPECT_EQ(r.status, 0);
        // The unit without UnitNumber is counted, not an error.
        EXPECT_EQ(r.err, kind == "units" ? "kestrava-table: 1 of 6 units gives no row, without UnitNumber: NONE "
                                           "(units\\NONUMBER.FBI)\n"
                                         : "");
        const Table got = format == "csv" ? ParseCsv(r.out) : format == "tsv" ? ParseTsv(r.out)
                                                                              : ParseJson(r.out, expected[0]);
        EXPECT_EQ(got, expected);
      }
    }
  }

  // The same, checked against literal values: units by caption as numbers
  // ("$10" is 16, "9" before "10"), the row without a caption left out, the
  // awkward cells whole.
  const ToolRun r = RunArgs({"units", modB, modA, modAUpper, "--ta-dir", taDir, "--columns",
                         "unitname,UNITNUMBER,name,Description,Designation,parentfile"});
  EXPECT_EQ(r.status, 0) << r.err;
  const Table expected = {
      {"UnitName", "UnitNumber", "Name", "Description", "Designation", "ParentFile"},
      {"corstorm", "-5", "", "", "", modB},
      {"ARMTANK", "9", "Tank, \"heavy\"", "a\tb\\c\xe9\xff", "x\ry\nz", modA},
      {"ARMFLEA", "10", "", "", "", modA},
      {"CORAK", "$10", "\"Quill\" Missile Tower", "", "", modB},
      {"armloose", "100", "", "", "", "Not packed !"},
  };
  EXPECT_EQ(ParseCsv(r.out), expected);
  // Sorted by BuildCostMetal: 9, "  42", 17 < 42 < 100 < 1000 by value.
  const ToolRun m = RunArgs({"units", modA, modB, "--ta-dir", taDir, "--columns", "UnitName", "--sort",
                             "buildcostmetal", "--format", "tsv"});
  EXPECT_EQ(m.out, "UnitName\nCORAK\nARMFLEA\ncorstorm\nARMTANK\narmloose\n");
}

TEST_F(KestravaTable, FieldsOfEachFormat) {
  const std::string awkward = "a,b \"q\"\r\n\tc\\d\xe9\xff\x01";
  std::string csv, tsv, json;
  AppendCsvField(csv, awkward);
  AppendTsvField(tsv, awkward);
  AppendJsonString(json, awkward);
  EXPECT_EQ(csv, "\"a,b \"\"q\"\"\r\n\tc\\d\xc3\xa9\xc3\xbf\x01\"");
  EXPECT_EQ(tsv, "a,b \"q\"\\r\\n\\tc\\\\d\xc3\xa9\xc3\xbf\x01");
  EXPECT_EQ(json, "\"a,b \\\"q\\\"\\r\\n\\tc\\\\d\xc3\xa9\xc3\xbf\\u0001\"");
  // Only a comma, a quote, CR or LF makes a CSV field quoted.
  for (const std::string plain : {"", " lead and trail ", "tab\there", "back\\slash", "\xa0"}) {
    std::string out;
    AppendCsvField(out, plain);
    EXPECT_EQ(out.front() == '"', false) << plain;
  }
  // A quote alone, with no comma or line break, still quotes the field.
  std::string quill;
  AppendCsvField(quill, "\"Quill\" Missile Tower");
  EXPECT_EQ(quill, "\"\"\"Quill\"\" Missile Tower\"");
  for (const std::string quoted : {",", "\"", "\r", "\n"}) {
    std::string out;
    AppendCsvField(out, quoted);
    EXPECT_EQ(out.front(), '"') << quoted;
  }
  // An empty table is still a valid document in each format.
  RowTable empty;
  empty.AddColumn("A", 10);
  empty.AddColumn("B,C", 10);
  std::ostringstream csvOut, jsonOut;
  WriteTable(csvOut, TableFormat::Csv, empty, {1, 0}, true);
  EXPECT_EQ(csvOut.str(), "\"B,C\",A\r\n");
  WriteTable(jsonOut, TableFormat::Json, empty, {0, 1}, true);
  EXPECT_EQ(jsonOut.str(), "[]\n");
}

// Every column in order (the usual export): a row's texts are looked at
// sixteen bytes at a time, so a byte that needs quotes or conversion is found
// wherever it lies; columns a row has no text in stay empty fields.
TEST(WriteTableCsv, EveryColumnInOrderQuotesAndConvertsWhereNeeded) {
  RowTable table;
  for (const char* caption : {"Name", "B", "C", "D"}) table.AddColumn(caption, 10);
  const std::vector<std::vector<std::string>> rows = {
      {"u1", std::string(17, 'a') + "\xE9" + std::string(14, 'b'), "", ""},
      {"u2", std::string(20, 'c') + "," + std::string(11, 'd'), "", "e"},
      {"u3", "", std::string(31, 'f') + "\"", "=1+1"},
      {"", "plain", "", ""},
  };
  for (const auto& cells : rows) {
    Row& r = table.AddRow();
    r.Caption = cells[0];
    r.SetSubItems({cells.begin() + 1, cells.end()});
  }
  ExtraColumns extra;
  extra.Captions = {"X"};
  extra.Cells = [](int Row, std::vector<std::string>& Texts) { Texts[0] = "x" + std::to_string(Row); };
  std::ostringstream out;
  WriteTable(out, TableFormat::Csv, table, {0, 1, 2, 3, 4}, true, &extra);
  EXPECT_EQ(out.str(), "Name,B,C,D,X\r\n"
                       "u1,aaaaaaaaaaaaaaaaa\xC3\xA9" "bbbbbbbbbbbbbb,,,x0\r\n"
                       "u2,\"cccccccccccccccccccc,ddddddddddd\",,e,x1\r\n"
                       "u3,,\"fffffffffffffffffffffffffffffff\"\"\",'=1+1,x2\r\n"
                       ",plain,,,x3\r\n");
}

// Counts what reaches the stream and the largest single write to it.
struct WriteCounter : std::streambuf {
  size_t Total = 0, Largest = 0;
  std::streamsize xsputn(const char*, std::streamsize N) override {
    Total += static_cast<size_t>(N);
    Largest = std::max(Largest, static_cast<size_t>(N));
    return N;
  }
  int overflow(int C) override {
    ++Total;
    return C;
  }
};

// A table of about 2 MB reaches the stream in pieces, not as one text built
// whole first.
TEST_F(KestravaTable, RowsAreWrittenAsTheyAreFormatted) {
  RowTable big;
  big.AddColumn("Name", 10);
  for (int i = 0; i < 20000; ++i) big.AddRow().Caption = std::string(100, 'a' + i % 26);
  for (const TableFormat format : {TableFormat::Csv, TableFormat::Tsv, TableFormat::Json}) {
    WriteCounter counter;
    std::ostream out(&counter);
    WriteTable(out, format, big, {0}, true);
    EXPECT_GT(counter.Total, 2000000u);
    EXPECT_LT(counter.Largest, 256u * 1024);
  }
}

// Cells a spreadsheet would run as formulas get a leading ' in CSV and TSV,
// unless the guard is turned off; numbers and JSON stay as they are.
TEST_F(KestravaTable, FormulaCellsAreGuardedUnlessTurnedOff) {
  const std::string mod = (root / "formulas.ufo").string();
  MakeArchive(mod, {{"units\\EVIL.FBI",
                     Unit("-7", "EVIL", "+3.5", "\tName==1+1;\r\n\tDescription=-2+3;\r\n\tDesignation=@SUM(A1);\r\n")}});
  const std::vector<std::string> args = {"units", mod, "--columns", "UnitName,UnitNumber,BuildCostMetal,Name,"
                                                                    "Description,Designation"};
  auto run = [&](std::vector<std::string> extra) {
    std::vector<std::string> a = args;
    a.insert(a.end(), extra.begin(), extra.end());
    const ToolRun r = RunArgs(a);
    EXPECT_EQ(r.status, 0) << r.err;
    return r.out.substr(r.out.find('\n') + 1);  // the row after the captions
  };
  EXPECT_EQ(run({}), "EVIL,-7,+3.5,'=1+1,'-2+3,'@SUM(A1)\r\n");
  EXPECT_EQ(run({"--format", "tsv"}), "EVIL\t-7\t+3.5\t'=1+1\t'-2+3\t'@SUM(A1)\n");
  EXPECT_EQ(run({"--no-formula-guard"}), "EVIL,-7,+3.5,=1+1,-2+3,@SUM(A1)\r\n");
  EXPECT_EQ(run({"--format", "tsv", "--no-formula-guard"}), "EVIL\t-7\t+3.5\t=1+1\t-2+3\t@SUM(A1)\n");
  EXPECT_NE(run({"--format", "json"}).find("\"Name\":\"=1+1\",\"Description\":\"-2+3\""), std::string::npos);
}

// Each way a cell may begin, straight through the writer: the guard goes
// before exactly the cells a spreadsheet would run.
TEST_F(KestravaTable, TheGuardGoesByTheCellsStart) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"=1+1", "'=1+1"}, {"@A1", "'@A1"},   {"\tx", "'\tx"},   {"\rx", "\"'\rx\""}, {"+x", "'+x"},
      {"-x", "'-x"},     {"''=1", "'''=1"}, {"'@A1", "''@A1"}, {"+3.5", "+3.5"},   {"-7", "-7"},
      {"'-7", "'-7"},    {"a=1", "a=1"},    {"", ""},          {"1", "1"},         {"'", "'"},
      {"x@y", "x@y"},    {"Tank", "Tank"},
  };
  RowTable table;
  table.AddColumn("Cell", 10);
  for (const auto& c : cases) table.AddRow().Caption = c.first;
  std::ostringstream guarded, plain;
  WriteTable(guarded, TableFormat::Csv, table, {0}, true);
  WriteTable(plain, TableFormat::Csv, table, {0}, false);
  std::string expectGuarded = "Cell\r\n", expectPlain = "Cell\r\n";
  for (const auto& [cell, written] : cases) {
    expectGuarded += written + "\r\n";
    expectPlain += (cell.find('\r') != std::string::npos ? "\"" + cell + "\"" : cell) + "\r\n";
  }
  EXPECT_EQ(guarded.str(), expectGuarded);
  EXPECT_EQ(plain.str(), expectPlain);
}

// A run can hand what it loaded to its caller (the program leaves it to the
// system at exit): the output is the same, and what is handed over is the
// loaded state, alive until the caller lets it go.
TEST_F(KestravaTable, WhatWasLoadedCanBeHandedOver) {
  TableRequest r;
  ASSERT_EQ(ParseTableArguments({"units", modA, modB}, r), "");
  std::ostringstream out1, err1, out2, err2;
  const int freed = RunTable(r, out1, err1);
  std::shared_ptr<void> loaded;
  const int kept = RunTable(r, out2, err2, &loaded);
  EXPECT_EQ(kept, freed);
  EXPECT_EQ(out2.str(), out1.str());
  EXPECT_EQ(err2.str(), err1.str());
  EXPECT_NE(out1.str(), "");
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(loaded.use_count(), 1);
}

TEST_F(KestravaTable, ReportsGoToStandardErrorOneLineEach) {
  // An archive that cannot be read is named; the others still print.
  ToolRun r = RunArgs({"units", (root / "missing.ufo").string(), modB, "--columns", "UnitName"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(Lines(r.err), 1) << r.err;
  EXPECT_NE(r.err.find("missing.ufo"), std::string::npos) << r.err;
  EXPECT_EQ(r.out, "UnitName\r\ncorstorm\r\nCORAK\r\n");

  // A damaged file inside an archive is named with its archive; the rest loads.
  const std::string damaged = (root / "damaged.ufo").string();
  fs::copy_file(modA, damaged);
  {
    std::unique_ptr<hpi::Archive> a = hpi::Archive::Open(damaged);
    ASSERT_TRUE(a);
    const uint32_t at = a->at(*a->Find("units\\ARMFLEA.FBI")).dataOffset;
    a.reset();
    std::string bytes;
    {
      std::ifstream in(damaged, std::ios::binary);
      bytes.assign(std::istreambuf_iterator<char>(in), {});
    }
    bytes[at + 4 + 19 + 2] ^= 0x10;  // a byte of the packed data: its checksum no longer agrees
    WriteDisk(damaged, bytes);
  }
  r = RunArgs({"units", damaged, "--columns", "UnitName", "--sort", "UnitName"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "kestrava-table: cannot read units\\ARMFLEA.FBI in " + damaged +
                       "; what it defines is left out\n"
                       "kestrava-table: 1 of 2 units gives no row, without UnitNumber: NONE (units\\NONUMBER.FBI)\n");
  EXPECT_EQ(r.out, "UnitName\r\nARMTANK\r\n");

  r = RunArgs({"units", modB, "--ta-dir", (root / "nodir").string()});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "kestrava-table: The ta-dir " + (root / "nodir").string() + " path does not exist.\n");

  // A read-only loose file: the engine's own message, as one line.
  const std::string readOnly = taDir + "/Units/ARMLOOSE.FBI";
  ASSERT_EQ(::chmod(readOnly.c_str(), 0444), 0);
  r = RunArgs({"units", "--ta-dir", taDir});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "kestrava-table: Error in ReadwriteHPIDir with file " + readOnly + "\n");

  // Nothing to report: status 0 and silence, even with no rows at all.
  r = RunArgs({"corpses", modB});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(Lines(r.out), 1);

  // Unknown captions are bad usage, checked before anything is printed.
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"units", modA, "--columns", "UnitName,Bogus"}, {"units", modA, "--sort", "Bogus"},
           {"units", modA, "--columns", "UnitName,unitname"}, {"download", modA, "--columns", "ID"}}) {
    r = RunArgs(args);
    EXPECT_EQ(r.status, 2) << args.back();
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(Lines(r.err), 1) << r.err;
  }
  EXPECT_NE(RunArgs({"units", modA, "--columns", "UnitName,Bogus"}).err.find("Bogus"), std::string::npos);

  // The command-line dialogs: one line per message, questions answered No.
  std::ostringstream err;
  CommandLineDialogs d(err, "tool: ");
  d.ShowMessage("first\r\nsecond\nthird");
  EXPECT_FALSE(d.AskYesNo("Save?"));
  std::vector<std::string> files{"x"};
  EXPECT_FALSE(d.OpenArchives("title", files));
  EXPECT_TRUE(files.empty());
  EXPECT_EQ(err.str(), "tool: first second third\ntool: Save? (answered No)\n");
  EXPECT_EQ(d.Reported, 2);
}

TEST_F(KestravaTable, CommandLineErrors) {
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {}, {"unitz"}, {"units", "--format"}, {"units", "--format", "xml"}, {"units", "--frobnicate"},
           {"units", "--columns", "a,,b"}, {"units", "--ta-dir"}, {"units", "--sort="}, {"units"},
           {"units", "--format", "csv"}}) {
    TableRequest r;
    EXPECT_NE(ParseTableArguments(args, r), "") << (args.empty() ? "" : args.back());
  }
  TableRequest r;
  EXPECT_EQ(ParseTableArguments({"--format=tsv", "weapons", "a.hpi", "--sort", "Name", "--", "--b.ufo"}, r), "");
  EXPECT_EQ(r.Kind, "weapons");
  EXPECT_EQ(r.Archives, (std::vector<std::string>{"a.hpi", "--b.ufo"}));
  EXPECT_EQ(r.Format, TableFormat::Tsv);
  EXPECT_EQ(r.Sort, "Name");
  EXPECT_EQ(ParseTableArguments({"units", "--sort", "a", "--sort", "b", "--ta-dir=x"}, r), "");
  EXPECT_EQ(r.Sort, "b");
  TableRequest nothing;
  EXPECT_EQ(ParseTableArguments({"download"}, nothing), "nothing to load: give an ARCHIVE or --ta-dir DIR");
}

#ifdef KESTRAVA_TABLE_PATH
ToolRun Process(const fs::path& Dir, const std::string& Args, const std::string& Stdout = "") {
  const std::string out = Stdout.empty() ? (Dir / "stdout.txt").string() : Stdout;
  const std::string err = (Dir / "stderr.txt").string();
  // A run that blocked (on a FIFO, say) is ended after 20 seconds and fails.
  const int rc = std::system(("timeout 20 '" + std::string(KESTRAVA_TABLE_PATH) + "' " + Args + " >'" + out +
                              "' 2>'" + err + "'").c_str());
  auto read = [](const std::string& P) {
    std::ifstream in(P, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  return {WIFEXITED(rc) ? WEXITSTATUS(rc) : -1, Stdout.empty() ? read(out) : "", read(err)};
}

TEST_F(KestravaTable, TheProgramsExitStatus) {
  const std::string fifo = (root / "pipe.hpi").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  ToolRun r = Process(root, "units '" + fifo + "' '" + modB + "' --columns UnitName");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(Lines(r.err), 1) << r.err;
  EXPECT_EQ(r.out, "UnitName\r\ncorstorm\r\nCORAK\r\n");

  r = Process(root, "weapons '" + modA + "' --format json --columns name,id");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "[\n{\"Name\":\"laser\",\"ID\":\"1\"},\n{\"Name\":\"gun\",\"ID\":\"3\"}\n]\n");

  for (const std::string args :
       {"", "unitz", "units --format xml", "units --sort", "units --columns Bogus", "units --format csv"}) {
    r = Process(root, args);
    EXPECT_EQ(r.status, 2) << args;
    EXPECT_EQ(r.out, "") << args;
    EXPECT_EQ(Lines(r.err), 1) << args << ": " << r.err;
  }
  r = Process(root, "--help");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  for (const char* word : {"KIND", "--ta-dir", "--format", "--columns", "--sort", "--no-formula-guard", "Exit status"})
    EXPECT_NE(r.out.find(word), std::string::npos) << word;

  // Output that cannot be written is reported and fails the run.
  for (const std::string& args :
       std::vector<std::string>{"units '" + modB + "'", "units '" + modB + "' --format json", "--help"}) {
    r = Process(root, args, "/dev/full");
    EXPECT_EQ(r.status, 1) << args;
    EXPECT_EQ(Lines(r.err), 1) << args << ": " << r.err;
    EXPECT_NE(r.err.find("cannot write"), std::string::npos) << args << ": " << r.err;
  }
}
#endif

}  // namespace

TEST_F(KestravaTable, ComputedFiguresInEveryFormat) {
  const std::string modC = (root / "modC.ufo").string();
  MakeArchive(modC, {
      {"weapons\\W.TDF", "[LASER2]\r\n{\r\nID=1;\r\nreloadtime=2;\r\nenergypershot=10;\r\nrange=300;\r\n"
                         "[DAMAGE]\r\n{\r\ndefault=19;\r\n}\r\n}\r\n"
                         "[BIG]\r\n{\r\nID=2;\r\nreloadtime=0.5;\r\nburst=2;\r\n[DAMAGE]\r\n{\r\ndefault=100;\r\n}\r\n}\r\n"},
      {"units\\U1.FBI", Unit("1", "U1", "30", "\tMaxDamage=60;\r\n\tWeapon1=laser2;\r\n\tWorkerTime=50;\r\n")},
      {"units\\U2.FBI", Unit("2", "U2", "200", "\tMaxDamage=500;\r\n\tWeapon1=Big;\r\n\tBuildTime=100;\r\n")},
      {"units\\U3.FBI", Unit("3", "U3", "100", "\tMaxDamage=10;\r\n")},
      {"download\\M.TDF", "[MENUENTRY1]\r\n{\r\nUNITMENU=U1;\r\nUNITNAME=U2;\r\n}\r\n"},
  });
  // Sorted by a figure: by value (9.5 before 400), the empty cell first.
  const ToolRun sorted = RunArgs({"units", modC, "--computed", "--columns",
                                  "UnitName,DPS (computed),Hit points per 100 metal (computed),Range (computed),"
                                  "Built by (computed),Build seconds (computed)",
                                  "--sort", "dps (COMPUTED)", "--format", "tsv"});
  EXPECT_EQ(sorted.status, 0) << sorted.err;
  EXPECT_EQ(sorted.out,
            "UnitName\tDPS (computed)\tHit points per 100 metal (computed)\tRange (computed)\tBuilt by (computed)\t"
            "Build seconds (computed)\n"
            "U3\t\t10\t\t\t\nU1\t9.5\t200\t300\t\t\nU2\t400\t250\t\tU1\t2\n");

  // Every format: the key columns as before, then the same figure captions.
  const std::vector<std::string> unitFigures = {"DPS (computed)", "DPS per 100 metal (computed)",
                                                "Hit points per 100 metal (computed)", "Range (computed)",
                                                "Built by (computed)", "Build seconds (computed)"};
  const std::vector<std::string> weaponFigures = {"Damage per salvo (computed)", "DPS (computed)",
                                                  "Energy per second (computed)"};
  for (const std::string kind : {"units", "weapons", "corpses"}) {
    const Table plain = ParseCsv(RunArgs({kind, modC, modA}).out);
    Table csv, tsv, json;
    csv = ParseCsv(RunArgs({kind, modC, modA, "--computed"}).out);
    tsv = ParseTsv(RunArgs({kind, modC, modA, "--computed", "--format", "tsv"}).out);
    ASSERT_FALSE(csv.empty());
    json = ParseJson(RunArgs({kind, modC, modA, "--computed", "--format", "json"}).out, csv[0]);
    EXPECT_EQ(csv, tsv) << kind;
    EXPECT_EQ(csv, json) << kind;
    const std::vector<std::string>& figures = kind == "units" ? unitFigures : kind == "weapons" ? weaponFigures
                                                                                                : std::vector<std::string>{};
    // The figures come before the file checksum, which stays the last column.
    ASSERT_EQ(plain[0].back(), "File CRC-32");
    std::vector<std::string> captions = plain[0];
    captions.insert(captions.end() - 1, figures.begin(), figures.end());
    EXPECT_EQ(csv[0], captions) << kind;
    ASSERT_EQ(csv.size(), plain.size());
    for (size_t i = 1; i < csv.size(); ++i) {
      const long keys = static_cast<long>(plain[i].size()) - 1;
      EXPECT_EQ(std::vector<std::string>(csv[i].begin(), csv[i].begin() + keys),
                std::vector<std::string>(plain[i].begin(), plain[i].begin() + keys));
      EXPECT_EQ(csv[i].back(), plain[i].back());
    }
  }
  const Table weapons = ParseCsv(RunArgs({"weapons", modC, "--computed", "--columns",
                                          "SName,Damage per salvo (computed),DPS (computed),Energy per second (computed)",
                                          "--sort", "SName"}).out);
  EXPECT_EQ(weapons, (Table{{"SName", "Damage per salvo (computed)", "DPS (computed)", "Energy per second (computed)"},
                            {"BIG", "200", "400", ""},
                            {"LASER2", "19", "9.5", "5"}}));

  // Without --computed there are no such columns.
  TableRequest r;
  ASSERT_EQ(ParseTableArguments({"units", modC, "--columns", "DPS (computed)"}, r), "");
  std::ostringstream out, err;
  EXPECT_EQ(RunTable(r, out, err), 2);
  EXPECT_NE(err.str().find("unknown column DPS (computed)"), std::string::npos);
}
