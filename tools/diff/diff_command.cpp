#include "tools/diff/diff_command.h"


#include "tools/common/command_line.h"
#include "mod/diff_compare.h"
#include "tools/diff/diff_report.h"
#include "mod/diff_source.h"

namespace {
const std::string kPrefix = "kestrava-diff: ";
}  // namespace

int RunDiff(const std::vector<std::string>& Args, std::ostream& Out, std::ostream& Err) {
  CLI::App app("Lists the definitions added, removed and changed between two versions of a mod.", "kestrava-diff");
  std::string oldPath, newPath, kind, formatName = "text";
  bool noGuard = false;
  app.add_option("OLD", oldPath, "the old version: an archive, or a game directory")->required();
  app.add_option("NEW", newPath, "the new version: an archive, or a game directory")->required();
  app.add_option("--kind", kind, "only this kind of definition")
      ->option_text("units|weapons|corpses|download")
      ->check(CLI::IsMember({"units", "weapons", "corpses", "download"}));
  app.add_option("--format", formatName, "text (the default), csv or json")
      ->option_text("text|csv|json")
      ->check(CLI::IsMember({"text", "csv", "json"}));
  app.add_flag("--no-formula-guard", noGuard, "write CSV cells that start like a formula as they are");
  app.footer("Exit status: 0 when the two are the same, 1 when they differ, 2 for trouble.");
  if (const int status = ParseCommandLine(app, Args, Out, Err); status >= 0) return status;
  std::vector<DiffFile> oldFiles, newFiles;
  std::string why;
  for (auto [path, files] : {std::pair{&oldPath, &oldFiles}, std::pair{&newPath, &newFiles}})
    if (!ReadSourceFiles(*path, *files, why)) {
      Err << kPrefix << "cannot read " << *path << ": " << why << "\n";
      return 2;
    }
  const std::vector<DefinitionDifference> diffs =
      CompareSources(oldFiles, newFiles, kind.empty() ? std::vector<std::string>() : std::vector<std::string>{kind});
  const DiffFormat format =
      formatName == "csv" ? DiffFormat::Csv : formatName == "json" ? DiffFormat::Json : DiffFormat::Text;
  std::string text;
  WriteDiffReport(text, format, diffs, !noGuard);
  Out.write(text.data(), static_cast<std::streamsize>(text.size()));
  Out.flush();
  if (!Out) {
    Err << kPrefix << "cannot write to standard output\n";
    return 2;
  }
  return diffs.empty() ? 0 : 1;
}
