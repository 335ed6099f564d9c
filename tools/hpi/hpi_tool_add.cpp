// hpi add: adds or replaces one file and writes the archive anew, through the
// library's locked rewrite: every other file keeps its stored bytes.
#include "hpi/paths.h"
#include "hpi/rewrite.h"
#include "tools/hpi/hpi_tool_file_commands.h"
#include "tools/common/shown_path.h"

namespace hpitool {

int Add(const std::string& archive, const std::string& path, const std::string& file,
        std::optional<hpi::Method> method, std::ostream& err) {
  const std::string unchanged = "; the archive was not changed\n";
  const std::string refused = hpi::RefusedName(path);
  if (!refused.empty()) {
    err << "hpi: cannot add " << ShownPath(path) << ": " << ShownText(refused) << unchanged;
    return 1;
  }
  std::string inside;
  for (std::string_view level : hpi::SplitLevels(path)) {
    if (!inside.empty()) inside += '\\';
    inside += level;
  }
  hpi::RewriteOptions options;
  options.method = method;
  std::string why;
  const hpi::RewriteStatus status = hpi::Rewrite(
      archive,
      [&](const hpi::Archive&, hpi::Changes& changes, std::string*) {
        // A file of that path (letter case aside) is replaced and keeps the
        // archive's spelling.
        changes.PutDiskFile(inside, file);
        return true;
      },
      options, &why);
  switch (status) {
    case hpi::RewriteStatus::Done:
      return 0;
    case hpi::RewriteStatus::CannotOpen:
      err << "hpi: " << ShownText(why) << "\n";
      return 1;
    case hpi::RewriteStatus::Damaged:
      err << "hpi: " << archive << ": " << ShownText(why) << unchanged;
      return 1;
    case hpi::RewriteStatus::ReadOnly:
    case hpi::RewriteStatus::CannotCreate:
    case hpi::RewriteStatus::WriteFailed:
      err << "hpi: cannot write archive " << archive << ": " << ShownText(why) << unchanged;
      return 1;
    case hpi::RewriteStatus::NotRewritable:
    case hpi::RewriteStatus::Refused:
      break;
  }
  err << "hpi: " << ShownText(why) << unchanged;
  return 1;
}

}  // namespace hpitool
