#pragma once
// The whole program, built by start-up with scripted dialogs, plus helpers that
// write real archives and loose definition files for it in a temporary
// directory.
#include <QAction>
#include <QApplication>
#include <QTemporaryDir>
#include <QTest>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/main_form.h"
#include "app/report_view.h"
#include "app/startup.h"
#include "archive/scripted_dialogs.h"
#include "hpi/hpi.h"

namespace uitest {

using ArchiveFiles = std::map<std::string, std::string>;  // path inside -> bytes

// A unit definition: UnitNumber is the row's caption; Extra adds key=value pairs.
inline std::string Unit(const std::string& Number, const std::string& Name,
                        const std::map<std::string, std::string>& Extra = {}) {
  std::string t = "[UNITINFO]\r\n{\r\n\tUnitNumber=" + Number + ";\r\n\tUnitName=" + Name + ";\r\n";
  for (const auto& [k, v] : Extra) t += "\t" + k + "=" + v + ";\r\n";
  return t + "}\r\n";
}

// A weapon file with one section per ID.
inline std::string Weapons(const std::vector<std::string>& Ids) {
  std::string t;
  for (const std::string& id : Ids) t += "[W" + id + "]\r\n{\r\n\tID=" + id + ";\r\n\tname=Gun " + id + ";\r\n}\r\n";
  return t;
}

inline std::string Download(const std::string& Menu, const std::string& Unit) {
  return "[MENUENTRY1]\r\n{\r\n\tUNITMENU=" + Menu + ";\r\n\tMENU=2;\r\n\tBUTTON=1;\r\n\tUNITNAME=" + Unit +
         ";\r\n}\r\n";
}

inline std::string Corpse(const std::string& Name) {
  return "[" + Name + "]\r\n{\r\n\tworld=allworld;\r\n\tdescription=Wreck;\r\n\tmetal=120;\r\n}\r\n";
}

inline void WriteFile(const std::string& Path, const std::string& Bytes) {
  std::ofstream(Path, std::ios::binary) << Bytes;
}

class Fixture {
 public:
  Fixture() { P = StartUp(&D); }
  ~Fixture() { P.reset(); }

  ScriptedDialogs D;
  std::unique_ptr<Program> P;
  QTemporaryDir Dir;

  TMainForm& M() { return *P->MainForm; }
  AppState& S() { return *P->State; }

  std::string Path(const std::string& Name) const { return Dir.path().toStdString() + "/" + Name; }

  // Packs Files into the archive Name below the temporary directory; its path.
  std::string Archive(const std::string& Name, const ArchiveFiles& Files, int Compression = 2) {
    const std::string path = Path(Name);
    HPIHANDLE pack = HPICreate(path.c_str(), nullptr);
    if (!pack) return path;
    for (const auto& [name, bytes] : Files)
      HPIAddFileFromMemory(pack, name.c_str(), bytes.data(), static_cast<int32_t>(bytes.size()));
    HPIPackArchive(pack, Compression);
    return path;
  }

  // Runs "&Open..." with the dialog answering Files.
  void Open(const std::vector<std::string>& Files) {
    D.FileChoices.push_back(Files);
    M().Open1Click();
  }

  // Selects row I of a table as the user would, through its view.
  void SelectInView(ReportView* View, int I) {
    View->selectionModel()->setCurrentIndex(View->model()->index(I, 0),
                                            QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  }

  // Captions (column 0) of a table, top to bottom.
  static std::vector<std::string> Captions(const RowTable& T) {
    std::vector<std::string> c;
    for (int i = 0; i < T.RowCount(); ++i) c.push_back(T.RowAt(i).Caption);
    return c;
  }
  // Cells of column Col, top to bottom.
  static std::vector<std::string> ColumnCells(const RowTable& T, int Col) {
    std::vector<std::string> c;
    for (int i = 0; i < T.RowCount(); ++i) c.push_back(T.Cell(i, Col));
    return c;
  }
  static int ColumnOf(const RowTable& T, const std::string& Caption) {
    return TMainForm::ColumnIndexByCaption(T, Caption);
  }
  // ParentFile of every entry of a list, in list order.
  static std::vector<std::string> Parents(const AllUnpacked& L) {
    std::vector<std::string> p;
    for (int i = 0; i < L.Count; ++i) p.push_back(L[i].ParentFile);
    return p;
  }
};

using Strings = std::vector<std::string>;

}  // namespace uitest

// Lets QCOMPARE print std::string values.
namespace QTest {
template <>
inline char* toString(const std::string& S) {
  return qstrdup(S.c_str());
}
template <>
inline char* toString(const std::vector<std::string>& V) {
  std::string out = "{";
  for (size_t i = 0; i < V.size(); ++i) out += (i ? ", \"" : "\"") + V[i] + "\"";
  return qstrdup((out + "}").c_str());
}
}  // namespace QTest
