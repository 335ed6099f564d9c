// The main window (1280x800) with a full unit table: "&Open..." end to end
// (engine load, rows, autosize, sort, first paint) against the archive
// library's read alone, a header click on a numeric column of 2049 unit rows
// against that read, the plot of those units (Extra > Plot, with its fitted
// line) against the Open, the same click after every cell of the table was read
// through the accessibility interfaces (as a screen reader reads the whole
// table) against the click without, the peak memory growth of the Open
// against the definition bytes loaded, measured in a fresh process, and the
// include switch ("&Include Files in Total Annihillation-Subdir's", chosen
// until the window is idle with the table redrawn) turned off against turned
// on, with a game directory holding one loose weapons file of 200,000
// sections. Times are the main thread's CPU (wall times are printed beside
// them); the figures (medians of several runs) are printed last.
//
//   QT_QPA_PLATFORM=offscreen build-bench/bench/bench_ui
//   xvfb-run -s '-screen 0 1280x800x24' env QT_QPA_PLATFORM=xcb build-bench/bench/bench_ui
//
// With assistive technology listening (an AT-SPI bus), in a real window:
//
//   xvfb-run -s '-screen 0 1280x800x24' dbus-run-session -- sh -c '/usr/libexec/at-spi-bus-launcher &
//     QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_QPA_PLATFORM=xcb build-bench/bench/bench_ui'
//
// --kestrava-open [N] runs one library read and N Opens (for a profiler),
// --kestrava-open-phases [ARCHIVE] the Open's steps with their CPU times,
// --kestrava-switch [N] N cycles of the include switch (for a profiler),
// --kestrava-plot [N] N plots of the unit table after one Open (for a profiler),
// --kestrava-plot-screenshot=FILE [first] saves the plot window as that figure
// leaves it (or as it first opens),
// --kestrava-archive=FILE writes the generated archive to FILE,
// --kestrava-clicks runs header clicks alone (for a profiler; --kestrava-clicks-read
// after reading every cell through the accessibility interfaces), and
// --kestrava-screenshot=FILE [ARCHIVE] saves the window after the Open.
#include <benchmark/benchmark.h>

#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <QAccessible>
#include <QApplication>
#include <QAction>
#include <QComboBox>
#include <QPixmap>
#include <QScreen>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QEventLoop>
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "app/main_form.h"
#include "app/report_view.h"
#include "app/startup.h"
#include "plot/plot_window.h"
#include "archive/scripted_dialogs.h"
#include "definitions/catalogue.h"
#include "archive/engine.h"
#include "bench/support_process.h"
#include "definitions/build_rows.h"
#include "hpi/hpi.h"

namespace {

using benchsupport::RunSelf;
using benchsupport::StatusKb;

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

constexpr int kWindowWidth = 1280, kWindowHeight = 800;

// Runs the event loop until nothing is left to do: work a step defers (the
// views' delayed layouts, the repaints they cause) belongs to that step and
// must not fall into the next one measured.
void Settle() { QApplication::processEvents(QEventLoop::AllEvents, 10000); }

// The program's window, shown at 1280x800 and painted once.
std::unique_ptr<Program> ShownProgram(ScriptedDialogs& D) {
  auto p = StartUp(&D);
  p->MainForm->resize(kWindowWidth, kWindowHeight);
  p->MainForm->show();
  Settle();
  return p;
}

double Seconds(const std::function<void()>& Work) {
  const auto t0 = std::chrono::steady_clock::now();
  Work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// "&Open..." of the archive and the first paint of the full table.
void OpenAndPaint(Program& P, ScriptedDialogs& D, const std::string& Path) {
  D.FileChoices.push_back({Path});
  P.MainForm->Open1Click();
  P.MainForm->repaint();
  Settle();
}

void BM_OpenEndToEnd(benchmark::State& St) {
  const std::string path = Archive().Path;
  if (path.empty()) return St.SkipWithError("archive not written");
  int rows = 0;
  for (auto _ : St) {
    St.PauseTiming();
    ScriptedDialogs d;
    auto p = ShownProgram(d);
    St.ResumeTiming();

    OpenAndPaint(*p, d, path);

    St.PauseTiming();
    rows = p->State->UnitView.RowCount();
    p.reset();
    St.ResumeTiming();
  }
  St.counters["unit_rows"] = rows;
}
BENCHMARK(BM_OpenEndToEnd)->Unit(benchmark::kMillisecond)->UseRealTime();

// Extra > Plot of the unit table in front (its numeric columns found, the
// points, the least-squares line, the outlier lists) until the plot window
// is shown and painted. In this workload BuildCostMetal is text and other
// keys fill about half the rows, so the plot opens on UnitNumber against
// MaxDamage; Y then switches to UnitNumber, which every unit has, and the
// time includes that second plot of all 2049 points: more than an Open of
// a plot of 2049 points costs.
double OpenPlot(Program& P) {
  P.MainForm->MainPanelControl->setCurrentWidget(P.MainForm->UnitSheet);
  PlotWindow* plot = nullptr;
  const double seconds = Seconds([&] {
    P.MainForm->Plot1Click();
    Settle();
    plot = P.MainForm->findChild<PlotWindow*>();
    if (!plot) return;
    plot->YAxis->setCurrentIndex(plot->YAxis->findText("UnitNumber"));
    plot->repaint();
    Settle();
  });
  if (!plot || !plot->FitSeries() || plot->Points().Points.size() != static_cast<size_t>(kUnits))
    std::fprintf(stderr, "the plot has no line or not every unit\n");
  delete plot;
  return seconds;
}

void BM_PlotOfUnits(benchmark::State& St) {
  const std::string path = Archive().Path;
  if (path.empty()) return St.SkipWithError("archive not written");
  ScriptedDialogs d;
  auto p = ShownProgram(d);
  OpenAndPaint(*p, d, path);
  for (auto _ : St) St.SetIterationTime(OpenPlot(*p));
  St.counters["unit_rows"] = p->State->UnitView.RowCount();
}
BENCHMARK(BM_PlotOfUnits)->Unit(benchmark::kMillisecond)->UseManualTime();

// Two numeric columns, clicked in turn so that every click sorts a different order.
std::array<int, 2> SortColumns(const RowTable& T) {
  return {TMainForm::ColumnIndexByCaption(T, "BuildCostEnergy"), TMainForm::ColumnIndexByCaption(T, "MaxDamage")};
}

void BM_HeaderClickNumericColumn(benchmark::State& St) {
  const std::string path = Archive().Path;
  if (path.empty()) return St.SkipWithError("archive not written");
  ScriptedDialogs d;
  auto p = ShownProgram(d);
  OpenAndPaint(*p, d, path);
  const RowTable& t = p->State->UnitView;
  const std::array<int, 2> columns = SortColumns(t);
  int i = 0;
  for (auto _ : St) {
    p->MainForm->UnitViewColumnClick(columns[i++ % 2]);
    Settle();  // the repaint of the new order
  }
  St.counters["unit_rows"] = t.RowCount();
}
BENCHMARK(BM_HeaderClickNumericColumn)->Unit(benchmark::kMillisecond)->UseRealTime();

// In a fresh process: the window shown and painted, then "&Open..." and the
// first paint; prints the peak resident memory before and after, and the
// definition bytes loaded.
int MeasureMemory(const std::string& Path) {
  ScriptedDialogs d;
  auto p = ShownProgram(d);
  const long baseline = StatusKb("VmHWM:");
  OpenAndPaint(*p, d, Path);
  const long peak = StatusKb("VmHWM:");
  long long bytes = 0;
  AppState& s = *p->State;
  for (AllUnpacked* list : {&s.UnitFiles, &s.WeaponFiles, &s.DownloadFiles, &s.CorpseFiles})
    for (int i = 0; i < list->Count; ++i) bytes += (*list)[i].PFileSize;
  std::printf("%ld %ld %lld\n", baseline, peak, bytes);
  std::fflush(stdout);
  std::_Exit(0);
}

double MemoryRatio(const std::string& Path) {
  const std::string out = RunSelf("--kestrava-memory=" + Path);
  long baseline = 0, peak = 0;
  long long bytes = 0;
  if (std::sscanf(out.c_str(), "%ld %ld %lld", &baseline, &peak, &bytes) != 3 || bytes <= 0) return -1;
  return static_cast<double>(peak - baseline) * 1024 / static_cast<double>(bytes);
}

// The CPU time of the calling thread, in seconds: what the window's own
// thread spends, whatever else runs on the machine at the same time.
double ThreadCpu() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// A step's wall time and the main thread's CPU time, in seconds.
struct Cost {
  double Wall = 0, Cpu = 0;
};

Cost Timed(const std::function<void()>& Work) {
  const double c0 = ThreadCpu();
  const double wall = Seconds(Work);
  return {wall, ThreadCpu() - c0};
}

double Median(std::vector<double> V) {
  std::sort(V.begin(), V.end());
  return V.empty() ? -1 : V[V.size() / 2];
}

double MedianCpu(const std::vector<Cost>& V) {
  std::vector<double> c;
  for (const Cost& x : V) c.push_back(x.Cpu);
  return Median(c);
}

double MedianWall(const std::vector<Cost>& V) {
  std::vector<double> w;
  for (const Cost& x : V) w.push_back(x.Wall);
  return Median(w);
}

// Reads the text of every cell of View through the accessibility
// interfaces, as a screen reader reading the whole table does. Returns the
// number of cells read.
size_t ReadEveryCell(QWidget* View) {
  QAccessibleInterface* view = QAccessible::queryAccessibleInterface(View);
  QAccessibleTableInterface* table = view ? view->tableInterface() : nullptr;
  if (!table) return 0;
  size_t cells = 0;
  for (int r = 0; r < table->rowCount(); ++r)
    for (int c = 0; c < table->columnCount(); ++c)
      if (QAccessibleInterface* cell = table->cellAt(r, c)) {
        benchmark::DoNotOptimize(cell->text(QAccessible::Name));
        ++cells;
      }
  return cells;
}

void Figure(const std::string& Name, double Ratio, double Target, bool Strictly = false) {
  const bool met = Ratio >= 0 && (Strictly ? Ratio < Target : Ratio <= Target);
  std::printf("figure: %-75s %6.3fx  target %s %.2fx  %s\n", Name.c_str(), Ratio, Strictly ? "< " : "<=", Target,
              met ? "met" : "NOT MET");
}

// ---- the include switch: a game directory with one loose weapons file

constexpr int kLooseSections = 200000;

struct LooseGameDirectory {
  QTemporaryDir Dir;
  std::string Path;

  LooseGameDirectory() {
    Path = Dir.path().toStdString();
    std::filesystem::create_directory(Path + "/weapons");
    std::string text;
    text.reserve(static_cast<size_t>(kLooseSections) * 90);
    for (int i = 0; i < kLooseSections; ++i)
      text += "[W" + std::to_string(i) + "]\r\n\t{\r\n\tID=" + std::to_string(i % 5000) + ";\r\n\tName=weapon " +
              std::to_string(i) + ";\r\n\tRange=" + std::to_string(i % 977) + ";\r\n\t}\r\n";
    std::ofstream(Path + "/weapons/many.tdf", std::ios::binary).write(text.data(), static_cast<std::streamsize>(text.size()));
  }
};

LooseGameDirectory& LooseDirectory() {
  static LooseGameDirectory d;
  return d;
}

// The window with the game directory set to the loose file's, showing the weapons table.
std::unique_ptr<Program> ProgramWithLooseFile(ScriptedDialogs& D) {
  auto p = ShownProgram(D);
  p->State->TaDir = LooseDirectory().Path;
  p->MainForm->MainPanelControl->setCurrentWidget(p->MainForm->WeaponSheet);
  Settle();
  return p;
}

// "&Include Files in Total Annihillation-Subdir's" chosen, until the window
// is idle with the table redrawn.
void ChooseIncludeSwitch(Program& P) {
  P.MainForm->IncludeTaFiles->trigger();
  Settle();
}

// Not inlined, so that a profiler can tell them apart.
[[gnu::noinline]] void SwitchOn(Program& P) { ChooseIncludeSwitch(P); }
[[gnu::noinline]] void SwitchOff(Program& P) { ChooseIncludeSwitch(P); }

// Switching on and off in turn: the main thread's CPU time of each.
void SwitchCycles(Program& P, int Cycles, std::vector<Cost>& On, std::vector<Cost>& Off) {
  for (int c = 0; c < Cycles; ++c) {
    On.push_back(Timed([&] { SwitchOn(P); }));
    if (!P.MainForm->IncludeTaFiles->isChecked() || P.State->WeaponView.RowCount() != kLooseSections)
      std::fprintf(stderr, "the switch did not load the loose file\n");
    Off.push_back(Timed([&] { SwitchOff(P); }));
    if (P.MainForm->IncludeTaFiles->isChecked() || P.State->WeaponView.RowCount() != 0)
      std::fprintf(stderr, "the switch did not remove the loose file\n");
  }
}

void BM_IncludeSwitch(benchmark::State& St) {
  ScriptedDialogs d;
  auto p = ProgramWithLooseFile(d);
  std::vector<Cost> on, off;
  for (auto _ : St) SwitchCycles(*p, 1, on, off);
  St.counters["on_cpu_ms"] = MedianCpu(on) * 1e3;
  St.counters["off_cpu_ms"] = MedianCpu(off) * 1e3;
}
BENCHMARK(BM_IncludeSwitch)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void PrintFigures() {
  constexpr int kRuns = 9, kClicksPerOpen = 10, kSwitchCycles = 5;
  const std::string path = Archive().Path;
  const std::string where = QGuiApplication::platformName() == "offscreen" ? "offscreen" : "in a real window";
  std::vector<double> openRatio, clickRatio;
  std::vector<Cost> reads, opens, clicks;
  std::vector<double> plots;
  for (int run = 0; run < kRuns; ++run) {
    const Cost read = Timed([&] { ReadThroughLibrary(path); });
    reads.push_back(read);
    ScriptedDialogs d;
    auto p = ShownProgram(d);
    const Cost open = Timed([&] { OpenAndPaint(*p, d, path); });
    openRatio.push_back(open.Cpu / read.Cpu);
    opens.push_back(open);
    plots.push_back(OpenPlot(*p));
    const std::array<int, 2> columns = SortColumns(p->State->UnitView);
    for (int c = 0; c < kClicksPerOpen; ++c) {
      const Cost click = Timed([&] {
        p->MainForm->UnitViewColumnClick(columns[c % 2]);
        Settle();  // the repaint of the new order
      });
      clicks.push_back(click);
      clickRatio.push_back(click.Cpu / read.Cpu);
    }
  }
  // Header clicks after a screen reader has read every cell of the table.
  std::vector<Cost> readClicks;
  size_t cellsRead = 0;
  double reading = 0;
  {
    ScriptedDialogs d;
    auto p = ShownProgram(d);
    OpenAndPaint(*p, d, path);
    reading = Seconds([&] { cellsRead = ReadEveryCell(p->MainForm->UnitView); });
    const std::array<int, 2> columns = SortColumns(p->State->UnitView);
    for (int c = 0; c < kClicksPerOpen; ++c)
      readClicks.push_back(Timed([&] {
        p->MainForm->UnitViewColumnClick(columns[c % 2]);
        Settle();
      }));
  }
  // The include switch, on and off in turn.
  std::vector<Cost> on, off;
  {
    ScriptedDialogs d;
    auto p = ProgramWithLooseFile(d);
    ChooseIncludeSwitch(*p);  // a first cycle warms the caches, as later ones find them
    ChooseIncludeSwitch(*p);
    SwitchCycles(*p, kSwitchCycles, on, off);
  }
  const std::string tools = QAccessible::isActive() ? "assistive technology active" : "no assistive technology listening";
  std::vector<double> memory;
  for (int run = 0; run < 3; ++run) memory.push_back(MemoryRatio(path));
  double load[3] = {};
  getloadavg(load, 3);
  std::printf("\nFigures (%s, %dx%d window; main-thread CPU, medians of %d Opens, %zu header clicks, %d switch "
              "cycles, 3 memory runs; load average %.2f):\n",
              where.c_str(), kWindowWidth, kWindowHeight, kRuns, clicks.size(), kSwitchCycles, load[0]);
  std::printf("(main-thread CPU: the read %.2f ms, the Open %.2f ms, a header click %.2f ms, %.2f ms with every cell "
              "read; wall: %.2f, %.2f, %.2f, %.2f ms)\n",
              MedianCpu(reads) * 1e3, MedianCpu(opens) * 1e3, MedianCpu(clicks) * 1e3, MedianCpu(readClicks) * 1e3,
              MedianWall(reads) * 1e3, MedianWall(opens) * 1e3, MedianWall(clicks) * 1e3, MedianWall(readClicks) * 1e3);
  Figure("Open end to end (" + where + "), against the library's read alone", Median(openRatio), 1.5);
  Figure("a header click (sort + repaint, " + where + "), against the library's read", Median(clickRatio), 0.08);
  std::printf("(%zu cells read through the accessibility interfaces in %.2f s, %s)\n", cellsRead, reading,
              tools.c_str());
  Figure("a header click with every cell read (" + where + ", " + tools + "), against one without",
         MedianCpu(readClicks) / MedianCpu(clicks), 3.0);
  Figure("peak memory growth of the Open (" + where + "), against the bytes loaded", Median(memory), 1.3);
  std::printf("(include switch, %d loose weapon sections, main-thread CPU: on %.2f ms, off %.2f ms; wall %.2f, %.2f ms)\n",
              kLooseSections, MedianCpu(on) * 1e3, MedianCpu(off) * 1e3, MedianWall(on) * 1e3, MedianWall(off) * 1e3);
  Figure("the include switch turned off (" + where + "), against turning it on", MedianCpu(off) / MedianCpu(on), 1.0,
         true);
  Figure("the plot of the units with its line (" + where + "), against that Open", Median(plots) / MedianWall(opens),
         0.3);
}

// Not inlined, so that a profiler can collect each on its own.
[[gnu::noinline]] void ProfiledRead(const std::string& Path) { benchmark::DoNotOptimize(ReadThroughLibrary(Path)); }
[[gnu::noinline]] void ProfiledOpen(Program& P, ScriptedDialogs& D, const std::string& Path) {
  OpenAndPaint(P, D, Path);
}
[[gnu::noinline]] double ProfiledPlot(Program& P) { return OpenPlot(P); }

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  qunsetenv("TA_DIR");
  QApplication app(argc, argv);
  const std::string flag = "--kestrava-memory=";
  if (argc == 2 && std::strncmp(argv[1], flag.c_str(), flag.size()) == 0) return MeasureMemory(argv[1] + flag.size());
  if ((argc == 2 || argc == 3) && std::strcmp(argv[1], "--kestrava-open-phases") == 0) {
    // The Open in its steps, each with the main thread's CPU time, in several
    // fresh windows: the engine's load, the rows of the four tables (built,
    // fitted and sorted), and the repaint that follows.
    const std::string path = argc == 3 ? std::string(argv[2]) : Archive().Path;
    for (int run = 0; run < 5; ++run) {
      ScriptedDialogs d;
      auto p = ShownProgram(d);
      AppState& s = *p->State;
      const Cost read = Timed([&] { ReadThroughLibrary(path); });
      const Cost load = Timed([&] {
        KeepArchiveOpen keep(s);
        for (AllUnpacked* list : {&s.UnitFiles, &s.WeaponFiles, &s.DownloadFiles, &s.CorpseFiles})
          ReadwriteHPIDir(s, list, path, rwLoadArchive);
      });
      std::vector<NewRowsOfTable> tables;
      for (RowTable* view : {&s.UnitView, &s.WeaponView, &s.CorpseView, &s.DownloadView})
        tables.push_back({view, &s.FilesOf(*view), s.MultiSectionOf(*view)});
      const double rows = Timed([&] { BuildNewRowsOfTables(s, tables); }).Cpu;
      const Cost paint = Timed([&] {
        p->MainForm->repaint();
        Settle();
      });
      std::printf("main-thread CPU, ms: the read %.2f; the Open %.2f: load %.2f, rows of the four tables %.2f, "
                  "repaint %.2f\n",
                  read.Cpu * 1e3, (load.Cpu + rows + paint.Cpu) * 1e3, load.Cpu * 1e3, rows * 1e3, paint.Cpu * 1e3);
    }
    return 0;
  }
  const std::string keep = "--kestrava-archive=";
  if (argc == 2 && std::strncmp(argv[1], keep.c_str(), keep.size()) == 0) {
    // A copy of the generated archive, for profiling the memory or an Open
    // of it in a process of its own (--kestrava-memory=FILE).
    std::error_code failed;
    std::filesystem::copy_file(Archive().Path, argv[1] + keep.size(),
                               std::filesystem::copy_options::overwrite_existing, failed);
    return failed ? 1 : 0;
  }
  const std::string shot = "--kestrava-screenshot=";
  if ((argc == 2 || argc == 3) && std::strncmp(argv[1], shot.c_str(), shot.size()) == 0) {
    // The window after the Open (of the archive given after the file name,
    // or of the generated one), with one row selected, as a PNG for looking at.
    ScriptedDialogs d;
    auto p = ShownProgram(d);
    OpenAndPaint(*p, d, argc == 3 ? std::string(argv[2]) : Archive().Path);
    p->State->UnitView.Select(3);
    p->State->UnitView.SetColumnWidth(3, 70);  // elided descriptions
    p->State->UnitView.SetColumnWidth(8, 31);
    Settle();
    return p->MainForm->grab().save(QString::fromStdString(argv[1] + shot.size())) ? 0 : 1;
  }
  if ((argc == 2 || argc == 3) && std::strcmp(argv[1], "--kestrava-open") == 0) {
    // One library read, then Opens (one, or as many as given) each with its
    // first paint, for a profiler, after a first Open that warms the caches
    // as the benchmark's runs are. The costs of an Open on every thread are
    // those of a run with one Open more, less those of the run without.
    const std::string path = Archive().Path;
    {
      ScriptedDialogs d;
      OpenAndPaint(*ShownProgram(d), d, path);
    }
    const double read = Seconds([&] { ProfiledRead(path); });
    const int opens = argc == 3 ? std::atoi(argv[2]) : 1;
    for (int i = 0; i < opens; ++i) {
      ScriptedDialogs d;
      auto p = ShownProgram(d);
      const double open = Seconds([&] { ProfiledOpen(*p, d, path); });
      std::printf("%.2f ms the library read, %.2f ms the Open, %d unit rows\n", read * 1e3, open * 1e3,
                  p->State->UnitView.RowCount());
    }
    return 0;
  }
  if ((argc == 2 || argc == 3) && std::strcmp(argv[1], "--kestrava-switch") == 0) {
    // Include switch cycles alone (one, or as many as given), for a profiler,
    // after a first cycle that warms the caches.
    ScriptedDialogs d;
    auto p = ProgramWithLooseFile(d);
    ChooseIncludeSwitch(*p);
    ChooseIncludeSwitch(*p);
    std::vector<Cost> on, off;
    SwitchCycles(*p, argc == 3 ? std::atoi(argv[2]) : 1, on, off);
    for (size_t i = 0; i < on.size(); ++i)
      std::printf("main-thread CPU: on %.2f ms, off %.2f ms (wall %.2f, %.2f ms)\n", on[i].Cpu * 1e3, off[i].Cpu * 1e3,
                  on[i].Wall * 1e3, off[i].Wall * 1e3);
    return 0;
  }
  if ((argc == 2 || argc == 3) && std::strcmp(argv[1], "--kestrava-plot") == 0) {
    // Plots of the unit table alone (one, or as many as given), for a
    // profiler, after one Open and a first plot that warms the caches.
    ScriptedDialogs d;
    auto p = ShownProgram(d);
    const double open = Seconds([&] { OpenAndPaint(*p, d, Archive().Path); });
    OpenPlot(*p);
    const int plots = argc == 3 ? std::atoi(argv[2]) : 1;
    for (int i = 0; i < plots; ++i) {
      const Cost plot = Timed([&] { ProfiledPlot(*p); });
      std::printf("%.2f ms the plot (main-thread CPU %.2f ms), %.2f ms the Open before it\n", plot.Wall * 1e3,
                  plot.Cpu * 1e3, open * 1e3);
    }
    return 0;
  }
  const std::string plotShot = "--kestrava-plot-screenshot=";
  if ((argc == 2 || argc == 3) && std::strncmp(argv[1], plotShot.c_str(), plotShot.size()) == 0) {
    const bool first = argc == 3 && std::strcmp(argv[2], "first") == 0;
    // The plot window as the plot figure leaves it (UnitNumber against
    // UnitNumber) or, with "first", as it opens, as a PNG for looking at:
    // the window as it is on the screen where the platform can tell, else
    // as it renders itself.
    ScriptedDialogs d;
    auto p = ShownProgram(d);
    OpenAndPaint(*p, d, Archive().Path);
    // The menu item and the choice of Y come from a running event loop, as
    // in the program, which then runs on for a while: what Qt deletes later
    // is gone and the window shows what the user sees.
    PlotWindow* plot = nullptr;
    QEventLoop loop;
    QTimer::singleShot(0, &loop, [&] {
      p->MainForm->MainPanelControl->setCurrentWidget(p->MainForm->UnitSheet);
      p->MainForm->Plot1Click();
    });
    QTimer::singleShot(200, &loop, [&] {
      plot = p->MainForm->findChild<PlotWindow*>();
      if (plot && !first) plot->YAxis->setCurrentIndex(plot->YAxis->findText("UnitNumber"));
    });
    QTimer::singleShot(500, &loop, &QEventLoop::quit);
    loop.exec();
    if (!plot) return 1;
    QPixmap shot = plot->screen()->grabWindow(plot->winId());
    if (shot.isNull() || QGuiApplication::platformName() == "offscreen") shot = plot->grab();
    return shot.save(QString::fromStdString(argv[1] + plotShot.size())) ? 0 : 1;
  }
  const bool readFirst = argc == 2 && std::strcmp(argv[1], "--kestrava-clicks-read") == 0;
  if (readFirst || (argc == 2 && std::strcmp(argv[1], "--kestrava-clicks") == 0)) {
    // Header clicks alone after one Open, for a profiler to look at: the time
    // of a click, and of its two halves (the sort with the view told, and
    // the repaint of the table with its flush to the screen).
    ScriptedDialogs d;
    auto p = ShownProgram(d);
    OpenAndPaint(*p, d, Archive().Path);
    if (readFirst) ReadEveryCell(p->MainForm->UnitView);
    const std::array<int, 2> columns = SortColumns(p->State->UnitView);
    constexpr int kClicks = 2000;
    double sort = 0, repaint = 0;
    const double all = Seconds([&] {
      for (int c = 0; c < kClicks; ++c) {
        p->MainForm->UnitViewColumnClick(columns[c % 2]);
        Settle();
      }
    });
    for (int c = 0; c < kClicks; ++c) {
      sort += Seconds([&] { p->MainForm->UnitViewColumnClick(columns[c % 2]); });
      repaint += Seconds([&] { p->MainForm->UnitView->viewport()->repaint(); });
    }
    std::printf("%.3f ms a click: %.3f ms the sort, %.3f ms the repaint\n", all / kClicks * 1e3,
                sort / kClicks * 1e3, repaint / kClicks * 1e3);
    return 0;
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  PrintFigures();
  return 0;
}
