// The main window with a full unit table: "&Open..." end to end (engine load,
// rows, autosize, sort, first paint) against the archive library's read alone,
// and a header click on a numeric column of 2049 unit rows.
//
//   QT_QPA_PLATFORM=offscreen build-rel/bench/bench_ui
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTemporaryDir>
#include <random>
#include <string>
#include <vector>

#include "app/main_form.h"
#include "app/startup.h"
#include "archive/scripted_dialogs.h"
#include "definitions/catalogue.h"
#include "hpi/hpi.h"

namespace {

constexpr int kUnits = 2049;
constexpr int kWeaponFiles = 300;
constexpr int kSectionsPerWeaponFile = 4;

std::string Value(std::mt19937& Rng, int Kind) {
  std::uniform_int_distribution<int> num(0, 30000), len(4, 24), letter(0, 25);
  switch (Kind % 4) {
    case 0:
    case 1: return std::to_string(num(Rng));
    case 2: return std::to_string(num(Rng) / 100) + "." + std::to_string(num(Rng) % 1000);
    default: {
      std::string s;
      for (int i = len(Rng); i > 0; --i) s += static_cast<char>('a' + letter(Rng));
      return s;
    }
  }
}

// A unit definition of 60 to 100 keys, 2 to 4 KB, as the game's files look:
// a header, braces, indented Key=Value; lines, some comments and unknown keys.
std::string UnitFile(std::mt19937& Rng, int N) {
  std::uniform_int_distribution<int> keys(60, 100), pick(0, 100);
  std::string t = "[UNITINFO]\r\n\t{\r\n\tUnitNumber=";
  t.append(std::to_string(N)).append(";\r\n\tUnitName=UNIT").append(std::to_string(N));
  t.append(";\r\n\tSide=").append(N % 2 ? "ARM" : "CORE").append(";\r\n");
  const int count = keys(Rng);
  for (int k = 0; k < count; ++k) {
    const int key = pick(Rng);
    if (k % 9 == 4) t += "\t// tuned for the campaign, do not change without testing the missions\r\n";
    if (k % 13 == 7) {
      t.append("\tCustomKey").append(std::to_string(k)).append("=").append(Value(Rng, k)).append(";\r\n");
      continue;
    }
    t.append("\t").append(UnitKeys[key]).append("=").append(Value(Rng, key)).append(";\r\n");
  }
  while (t.size() < 2048) t += "\t// padding comment describing the unit's behaviour in some detail\r\n";
  return t + "\t}\r\n";
}

std::string WeaponFile(std::mt19937& Rng, int N) {
  std::string t;
  for (int s = 0; s < kSectionsPerWeaponFile; ++s) {
    const int id = N * kSectionsPerWeaponFile + s;
    t.append("[WEAPON").append(std::to_string(id)).append("]\r\n\t{\r\n\tID=").append(std::to_string(id));
    t.append(";\r\n");
    for (int k = 1; k < 40; ++k) t.append("\t").append(WeaponKeys[k]).append("=").append(Value(Rng, k)).append(";\r\n");
    t += "\t}\r\n";
  }
  return t;
}

// The generated archive, written once per run.
struct TestArchive {
  QTemporaryDir Dir;
  std::string Path;
  size_t Bytes = 0;

  TestArchive() {
    Path = Dir.path().toStdString() + "/big.ufo";
    std::mt19937 rng(2049);
    std::vector<std::pair<std::string, std::string>> files;
    for (int u = 0; u < kUnits; ++u) files.emplace_back("units\\unit" + std::to_string(u) + ".fbi", UnitFile(rng, u));
    for (int w = 0; w < kWeaponFiles; ++w)
      files.emplace_back("weapons\\weap" + std::to_string(w) + ".tdf", WeaponFile(rng, w));
    HPIHANDLE pack = HPICreate(Path.c_str(), nullptr);
    for (const auto& [name, data] : files) {
      HPIAddFileFromMemory(pack, name.c_str(), data.data(), static_cast<int32_t>(data.size()));
      Bytes += data.size();
    }
    if (!pack || !HPIPackArchive(pack, 1)) Path.clear();
  }
};

TestArchive& Archive() {
  static TestArchive a;
  return a;
}

// Reads every unit and weapon file through the library, as loading does.
size_t ReadThroughLibrary(const std::string& Path) {
  size_t total = 0;
  HPIHANDLE hpi = HPIOpen(Path.c_str());
  if (!hpi) return 0;
  std::vector<char> name(HPI_NAME_BUFFER);
  std::vector<char> buffer;
  for (const char* dir : {"units", "weapons", "download", "features\\corpses"}) {
    int32_t next = 0, type = 0, size = 0;
    while ((next = HPIDir(hpi, next, dir, name.data(), &type, &size)) != 0) {
      if (type) continue;
      const std::string path = std::string(dir) + "\\" + name.data();
      HPIHANDLE f = HPIOpenFile(hpi, path.c_str());
      if (!f) continue;
      buffer.resize(static_cast<size_t>(size));
      total += static_cast<size_t>(HPIGet(buffer.data(), f, 0, size));
      HPICloseFile(f);
    }
  }
  HPIClose(hpi);
  return total;
}

void BM_LibraryReadAlone(benchmark::State& St) {
  const std::string path = Archive().Path;
  if (path.empty()) return St.SkipWithError("archive not written");
  for (auto _ : St) benchmark::DoNotOptimize(ReadThroughLibrary(path));
  St.counters["MB"] = static_cast<double>(Archive().Bytes) / 1e6;
}
BENCHMARK(BM_LibraryReadAlone)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_OpenEndToEnd(benchmark::State& St) {
  const std::string path = Archive().Path;
  if (path.empty()) return St.SkipWithError("archive not written");
  int rows = 0;
  for (auto _ : St) {
    St.PauseTiming();
    ScriptedDialogs d;
    auto p = StartUp(&d);
    p->MainForm->show();
    QApplication::processEvents();
    d.FileChoices.push_back({path});
    St.ResumeTiming();

    p->MainForm->Open1Click();
    benchmark::DoNotOptimize(p->MainForm->grab());  // the first paint of the full table

    St.PauseTiming();
    rows = p->State->UnitView.RowCount();
    p.reset();
    St.ResumeTiming();
  }
  St.counters["unit_rows"] = rows;
}
BENCHMARK(BM_OpenEndToEnd)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_HeaderClickNumericColumn(benchmark::State& St) {
  const std::string path = Archive().Path;
  if (path.empty()) return St.SkipWithError("archive not written");
  ScriptedDialogs d;
  auto p = StartUp(&d);
  p->MainForm->show();
  d.FileChoices.push_back({path});
  p->MainForm->Open1Click();
  QApplication::processEvents();
  const RowTable& t = p->State->UnitView;
  // Two numeric columns in turn, so every click sorts a different order.
  const int columns[] = {TMainForm::ColumnIndexByCaption(t, "BuildCostEnergy"),
                         TMainForm::ColumnIndexByCaption(t, "MaxDamage")};
  int i = 0;
  for (auto _ : St) {
    p->MainForm->UnitViewColumnClick(columns[i++ % 2]);
    QApplication::processEvents();  // the repaint of the new order
  }
  St.counters["unit_rows"] = t.RowCount();
}
BENCHMARK(BM_HeaderClickNumericColumn)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  qunsetenv("TA_DIR");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
