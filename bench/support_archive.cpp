#include "bench/support_archive.h"

#include <algorithm>
#include <cstdio>
#include <random>
#include <utility>
#include <vector>

#include "definitions/catalogue.h"
#include "hpi/hpi.h"

namespace {

class DefinitionWriter {
 public:
  explicit DefinitionWriter(uint32_t Seed) : Rng_(Seed) {}

  int Between(int Lo, int Hi) { return std::uniform_int_distribution<int>(Lo, Hi)(Rng_); }

  std::string Word(int Lo, int Hi) {
    static const char* kSyllables[] = {"ar", "cor", "la", "ser", "vik", "to", "ran", "mek", "dus", "ol"};
    std::string w;
    int n = Between(Lo, Hi);
    while (static_cast<int>(w.size()) < n) w += kSyllables[Between(0, 9)];
    return w.substr(0, static_cast<size_t>(n));
  }

  std::string Value() {
    switch (Between(0, 5)) {
      case 0: return std::to_string(Between(0, 9));
      case 1:
      case 2: return std::to_string(Between(10, 99999));
      case 3: return "." + std::to_string(Between(1, 999));
      case 4: return Word(3, 12);
      default: return Word(4, 10) + " " + Word(3, 9) + " " + Word(2, 14);
    }
  }

  // Key=Value lines for Count keys picked from Keys, plus a few of the file's
  // own keys that are not columns, with the usual tabs, terminators and comments.
  void Statements(std::string& Out, const char* const* Keys, int KeyCount, int Count, const char* Indent) {
    std::vector<int> order(static_cast<size_t>(KeyCount));
    for (int i = 0; i < KeyCount; ++i) order[static_cast<size_t>(i)] = i;
    std::shuffle(order.begin(), order.end(), Rng_);
    for (int i = 0; i < Count; ++i) {
      Out += Indent;
      if (i < KeyCount)
        Out += Keys[order[static_cast<size_t>(i)]];
      else
        Out += "Extra" + Word(3, 10);
      Out += "=" + Value() + ";";
      if (Between(0, 9) == 0) Out += " // " + Word(8, 30);
      Out += "\r\n";
    }
  }

  std::string Unit(int N) {
    std::string s = "[UNITINFO]\r\n\t{\r\n\tUnitNumber=" + std::to_string(N) + ";\r\n\tUnitName=KS" +
                    std::to_string(N) + ";\r\n";
    const int keys = Between(60, 100);
    Statements(s, UnitKeys.data() + 2, static_cast<int>(UnitKeys.size()) - 2, keys - 2, "\t");
    if (Between(0, 2) == 0) s += "\t/* " + Word(40, 200) + " */\r\n";
    s += "\t}\r\n";
    return s;
  }

  std::string Weapons(int N) {
    std::string s;
    const int sections = Between(2, 5);
    for (int k = 0; k < sections; ++k) {
      s += "[KS_WEAPON_" + std::to_string(N) + "_" + std::to_string(k) + "]\r\n\t{\r\n\tID=" +
           std::to_string(N * 8 + k) + ";\r\n";
      Statements(s, WeaponKeys.data() + 1, static_cast<int>(WeaponKeys.size()) - 1, Between(18, 34), "\t");
      s += "\t[DAMAGE]\r\n\t\t{\r\n\t\tdefault=" + std::to_string(Between(5, 3000)) + ";\r\n";
      for (int d = Between(0, 6); d > 0; --d) s += "\t\t" + Word(4, 10) + "=" + std::to_string(Between(1, 900)) + ";\r\n";
      s += "\t\t}\r\n\t}\r\n";
    }
    return s;
  }

  std::string Menu(int N) {
    std::string s;
    for (int k = 0; k < 6; ++k)
      s += "[MENUENTRY" + std::to_string(k + 1) + "]\r\n\t{\r\n\tUNITMENU=KS" + std::to_string(N) +
           ";\r\n\tMENU=" + std::to_string(Between(1, 4)) + ";\r\n\tBUTTON=" + std::to_string(k) +
           ";\r\n\tUNITNAME=KS" + std::to_string(Between(0, 2048)) + ";\r\n\t}\r\n";
    return s;
  }

  std::string Corpse(int N) {
    std::string s;
    for (int k = 0; k < Between(2, 4); ++k) {
      s += "[KS" + std::to_string(N) + "_DEAD" + std::to_string(k) + "]\r\n\t{\r\n";
      Statements(s, CorpseKeys.data() + 1, static_cast<int>(CorpseKeys.size()) - 1, Between(8, 15), "\t");
      s += "\t}\r\n";
    }
    return s;
  }

 private:
  std::mt19937 Rng_;
};

}  // namespace

GeneratedArchive GenerateCoreBenchArchive(const std::string& Path) {
  GeneratedArchive g;
  g.Path = Path;
  DefinitionWriter w(20261207);
  std::vector<std::pair<std::string, std::string>> files;
  for (int i = 0; i < 2049; ++i) files.emplace_back("units\\KS" + std::to_string(i) + ".FBI", w.Unit(i));
  for (int i = 0; i < 2049; ++i) files.emplace_back("weapons\\KSW" + std::to_string(i) + ".TDF", w.Weapons(i));
  for (int i = 0; i < 400; ++i) files.emplace_back("download\\KSM" + std::to_string(i) + ".TDF", w.Menu(i));
  for (int i = 0; i < 600; ++i)
    files.emplace_back("features\\corpses\\KSD" + std::to_string(i) + ".TDF", w.Corpse(i));
  files.emplace_back("gamedata\\sidedata.tdf", "[SIDE0]\r\n{\r\nname=ARM;\r\n}\r\n");

  HPIHANDLE pack = HPICreate(Path.c_str(), nullptr);
  for (const auto& [name, text] : files) {
    HPIAddFileFromMemory(pack, name.c_str(), text.data(), static_cast<int32_t>(text.size()));
    if (name.rfind("gamedata", 0) != 0) {
      g.DefinitionBytes += static_cast<int64_t>(text.size());
      ++g.Files;
    }
  }
  if (!pack || !HPIPackArchive(pack, 1)) std::fprintf(stderr, "cannot write %s\n", Path.c_str());
  return g;
}

