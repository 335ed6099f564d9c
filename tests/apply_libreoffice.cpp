// A round trip through a real spreadsheet: LibreOffice Calc, headless, opens
// a table of kestrava-table, changes cells as a user would, and saves it as
// CSV again; kestrava-apply then writes it back, checked byte for byte.
// Skipped where LibreOffice is not installed.
#include <cstdlib>

#include "apply_support.h"

using namespace applytest;

namespace {

std::string FindProgram(const std::string& Name) {
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "/usr/bin:/bin";
  for (size_t start = 0; start <= dirs.size();) {
    const size_t colon = std::min(dirs.find(':', start), dirs.size());
    const fs::path candidate = fs::path(dirs.substr(start, colon - start)) / Name;
    if (::access(candidate.c_str(), X_OK) == 0) return candidate.string();
    start = colon + 1;
  }
  return "";
}

// A Basic macro of the profile's own library (trusted, so it runs headless):
// open the CSV as Calc's import does by default (UTF-8), set the cells,
// save as CSV.
std::string Macro(const std::string& In, const std::string& Out, const std::string& Edits) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<!DOCTYPE script:module PUBLIC \"-//OpenOffice.org//DTD OfficeDocument 1.0//EN\" \"module.dtd\">\n"
         "<script:module xmlns:script=\"http://openoffice.org/2000/script\" script:name=\"Module1\" "
         "script:language=\"StarBasic\">\n"
         "Sub Main\n"
         "  Dim args(2) As New com.sun.star.beans.PropertyValue\n"
         "  args(0).Name = &quot;FilterName&quot;\n"
         "  args(0).Value = &quot;Text - txt - csv (StarCalc)&quot;\n"
         "  args(1).Name = &quot;FilterOptions&quot;\n"
         "  args(1).Value = &quot;44,34,76,1&quot;\n"
         "  args(2).Name = &quot;Hidden&quot;\n"
         "  args(2).Value = True\n"
         "  doc = StarDesktop.loadComponentFromURL(&quot;file://" + In + "&quot;, &quot;_blank&quot;, 0, args())\n"
         "  sheet = doc.Sheets.getByIndex(0)\n" + Edits +
         "  doc.storeToURL(&quot;file://" + Out + "&quot;, args())\n"
         "  doc.close(True)\n"
         "End Sub\n"
         "</script:module>\n";
}

}  // namespace

TEST(ApplyLibreOffice, CalcRoundTrip) {
  const std::string soffice = FindProgram("soffice");
  if (soffice.empty()) GTEST_SKIP() << "LibreOffice (soffice) is not installed: the spreadsheet round trip is skipped";
  TempDir dir;
  const std::string archive = dir / "mod.ufo";
  const std::string armx =
      "[UNITINFO]\r\n{\r\n\tUnitNumber=101;\r\n\tUnitName=ARMX;\r\n\tName = Big Gun ;\r\n"
      "\t  BuildCostMetal =  36 ; // cheap\r\n\tMaxDamage=95;\r\n\tMaxVelocity=1.50;\r\n}\r\n";
  const std::string army = "[UNITINFO]\r\n{\r\n\tUnitNumber=102;\r\n\tUnitName=ARMY;\r\n\tName=Scout;\r\n}\r\n";
  const std::string weapons = "[GUN]\r\n{\r\n\tID=6;\r\n\trange=200;\r\n}\r\n";
  MakeArchive(archive, {{"units\\ARMX.FBI", armx}, {"units\\ARMY.FBI", army}, {"weapons\\W.TDF", weapons}});
  WriteDisk(dir / "in.csv", Export("units", {archive}));

  const std::string profile = dir / "profile";
  const std::string env = "-env:UserInstallation=file://" + profile;
  ASSERT_EQ(std::system(("timeout 300 '" + soffice + "' --headless --norestore --terminate_after_init '" + env +
                         "' >/dev/null 2>&1")
                            .c_str()),
            0);
  // Columns: 2 Name, 11 BuildCostMetal, 25 MaxDamage, 75 Stealth; rows 1 ARMX, 2 ARMY.
  WriteDisk(profile + "/user/basic/Standard/Module1.xba",
            Macro(dir / "in.csv", dir / "out.csv",
                  "  sheet.getCellByPosition(11, 1).setValue(40)\n"
                  "  sheet.getCellByPosition(25, 1).setValue(120)\n"
                  "  sheet.getCellByPosition(75, 2).setValue(1)\n"
                  "  sheet.getCellByPosition(2, 2).setString(&quot;Sp\xC3\xA4her&quot;)\n"));
  ASSERT_EQ(std::system(("timeout 300 '" + soffice + "' --headless --norestore '" + env +
                         "' macro:///Standard.Module1.Main >/dev/null 2>&1")
                            .c_str()),
            0);
  const std::string saved = ReadDisk(dir / "out.csv");
  ASSERT_NE(saved.find("Sp\xC3\xA4her"), std::string::npos) << "Calc did not save the edited table:\n" << saved;

  const ToolRun r = Apply({dir / "out.csv"});
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(r.Out, "units\\ARMX.FBI in " + archive + ": ARMX: BuildCostMetal, MaxDamage\n"
                   "units\\ARMY.FBI in " + archive + ": ARMY: Name, Stealth\n"
                   "4 cells in 2 files of 1 archive\n");
  const std::map<std::string, std::string> expected = {
      {"units\\ARMX.FBI",
       "[UNITINFO]\r\n{\r\n\tUnitNumber=101;\r\n\tUnitName=ARMX;\r\n\tName = Big Gun ;\r\n"
       "\t  BuildCostMetal =  40 ; // cheap\r\n\tMaxDamage=120;\r\n\tMaxVelocity=1.50;\r\n}\r\n"},
      {"units\\ARMY.FBI", "[UNITINFO]\r\n{\r\n\tUnitNumber=102;\r\n\tUnitName=ARMY;\r\n\tName=Sp\xE4her;\r\n"
                          "\tStealth=1;\r\n}\r\n"},
      {"weapons\\W.TDF", weapons},
  };
  EXPECT_EQ(ArchiveFiles(archive), expected);
}
