#pragma once
// The whole program built by start-up with scripted dialogs, and helpers that
// write real archives and definition files for it in a temporary directory.
#include <QSettings>
#include <QAction>
#include <QApplication>
#include <QTemporaryDir>
#include <QTest>
#include <fstream>
#include <map>
#include <memory>

#include "app/main_form.h"
#include "app/report_view.h"
#include "app/startup.h"
#include "archive/scripted_dialogs.h"
#include "hpi/hpi.h"

namespace uitest {

using Strings = std::vector<std::string>;
using ArchiveFiles = std::map<std::string, std::string>;  // path inside -> bytes

inline std::string Unit(const std::string& Number, const std::map<std::string, std::string>& Keys = {}) {
  std::string t = "[UNITINFO]\r\n{\r\n\tUnitNumber=" + Number + ";\r\n";
  for (const auto& [k, v] : Keys) t += "\t" + k + "=" + v + ";\r\n";
  return t + "}\r\n";
}
// One section per id, in the given order; build menus and corpses alike.
inline std::string Sections(const std::string& Key, const Strings& Ids) {
  std::string t;
  for (const std::string& id : Ids) t += "[" + id + "]\r\n{\r\n\t" + Key + "=" + id + ";\r\n\tname=Gun " + id + ";\r\n}\r\n";
  return t;
}
inline void WriteFile(const std::string& Path, const std::string& Bytes) { std::ofstream(Path, std::ios::binary) << Bytes; }

struct Fixture {
  ScriptedDialogs D;
  std::unique_ptr<Program> P;
  QTemporaryDir Dir;

  // A program without settings, or with the given ones.
  explicit Fixture(std::unique_ptr<QSettings> Settings = nullptr) : P(StartUp(&D, std::move(Settings))) {}

  TMainForm& M() { return *P->MainForm; }
  AppState& S() { return *P->State; }
  std::string Path(const std::string& Name) const { return Dir.path().toStdString() + "/" + Name; }

  std::string Archive(const std::string& Name, const ArchiveFiles& Files) {
    HPIHANDLE pack = HPICreate(Path(Name).c_str(), nullptr);
    for (const auto& [name, bytes] : Files)
      HPIAddFileFromMemory(pack, name.c_str(), bytes.data(), static_cast<int32_t>(bytes.size()));
    HPIPackArchive(pack, 2);
    return Path(Name);
  }
  void Open(const Strings& Files) {
    D.FileChoices.push_back(Files);
    M().Open1Click();
  }
  static Strings Column(const RowTable& T, int Col = 0) {
    Strings c;
    for (int i = 0; i < T.RowCount(); ++i) c.push_back(T.Cell(i, Col));
    return c;
  }
  static int ColumnOf(const RowTable& T, const std::string& Caption) { return TMainForm::ColumnIndexByCaption(T, Caption); }
  static Strings Parents(const AllUnpacked& L) {
    Strings p;
    for (int i = 0; i < L.Count; ++i) p.push_back(L[i].ParentFile);
    return p;
  }
};

// One unit, weapon, build menu and corpse, each named after Tag.
inline ArchiveFiles Full(const std::string& Tag) {
  return {{"units\\" + Tag + ".fbi", Unit(Tag)}, {"weapons\\" + Tag + ".tdf", Sections("ID", {"1" + Tag})},
          {"download\\" + Tag + ".tdf", Sections("UnitMenu", {"M" + Tag})},
          {"features\\corpses\\" + Tag + ".tdf", Sections("World", {"dead" + Tag})}};
}
// Every caption of the four tables.
inline Strings Rows(AppState& S) {
  Strings all;
  for (RowTable* t : {&S.UnitView, &S.WeaponView, &S.DownloadView, &S.CorpseView})
    for (const std::string& c : Fixture::Column(*t)) all.push_back(c);
  return all;
}
// The menus that need an open archive are enabled.
inline bool MenusOn(TMainForm& M) {
  return M.Close1->isEnabled() && M.CloseAll1->isEnabled() && M.UnitNameList->isEnabled();
}

}  // namespace uitest

namespace QTest {
template <>
inline char* toString(const std::string& S) { return qstrdup(S.c_str()); }
template <>
inline char* toString(const uitest::Strings& V) {
  std::string out;
  for (const std::string& s : V) out += "\"" + s + "\" ";
  return qstrdup(out.c_str());
}
}  // namespace QTest
