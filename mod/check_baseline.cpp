#include "mod/check_baseline.h"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "archive/ascii_case.h"
#include "archive/source_reader.h"
#include "definitions/table_format.h"
#include "hpi/atomic_file.h"

namespace {

using nlohmann::json;

constexpr const char* kFormatKey = "kestrava-check-baseline";

std::string Utf8(std::string_view S) { return TextAsUtf8(S); }

// The file of a finding as a baseline names it: "ARCHIVE-NAME:PATH" or the
// path below the source directory, '\' between levels.
std::string BaselineFile(const CheckPlace& P) {
  std::string file;
  if (!P.Archive().empty()) {
    const size_t slash = P.Archive().find_last_of('/');
    file = P.Archive().substr(slash == std::string::npos ? 0 : slash + 1) + ":";
  }
  file += P.SourcePath();
  std::replace(file.begin(), file.end(), '/', '\\');
  return Utf8(file);
}

}  // namespace

bool CheckBaseline::Read(std::string_view Text, std::string& Error) {
  const json doc = json::parse(Text, nullptr, false);
  if (doc.is_discarded() || !doc.is_object() || !doc.contains(kFormatKey) || !doc.contains("findings") ||
      !doc["findings"].is_array()) {
    Error = "not a kestrava-check baseline";
    return false;
  }
  for (const json& f : doc["findings"]) {
    const auto text = [&](const char* Name) {
      return f.is_object() && f.contains(Name) && f[Name].is_string() ? LowerAscii(f[Name].get<std::string>()) : "";
    };
    if (text("id").empty()) {
      Error = "a finding without an id";
      return false;
    }
    ++Known_[{text("id"), text("file"), text("definition"), text("key")}];
  }
  return true;
}

bool CheckBaseline::Load(const std::string& Path, std::string& Error) {
  std::string text, why;
  if (!ReadDiskFile(Path, text, why)) {
    Error = "cannot read " + Path + ": " + why;
    return false;
  }
  if (!Read(text, why)) {
    Error = Path + ": " + why;
    return false;
  }
  return true;
}

size_t CheckBaseline::Filter(std::vector<CheckFinding>& Findings) const {
  std::map<Entry, size_t> left = Known_;
  size_t dropped = 0;
  std::erase_if(Findings, [&](const CheckFinding& F) {
    const auto it = left.find({LowerAscii(F.Rule->Id), LowerAscii(BaselineFile(F.Place)),
                               LowerAscii(Utf8(F.Definition)), LowerAscii(Utf8(F.Key))});
    if (it == left.end() || it->second == 0) return false;
    --it->second;
    dropped += FindingCount(F);
    return true;
  });
  return dropped;
}

size_t CheckBaseline::Size() const {
  size_t n = 0;
  for (const auto& [entry, count] : Known_) n += count;
  return n;
}

std::string CheckBaselineText(const std::vector<CheckFinding>& Findings) {
  json list = json::array();
  for (const CheckFinding& f : Findings)
    list.push_back({{"id", f.Rule->Id}, {"file", BaselineFile(f.Place)}, {"definition", Utf8(f.Definition)},
                    {"key", Utf8(f.Key)}});
  return json{{kFormatKey, 1}, {"findings", std::move(list)}}.dump(2) + "\n";
}

bool WriteCheckBaseline(const std::string& Path, const std::vector<CheckFinding>& Findings, std::string& Error) {
  const std::string text = CheckBaselineText(Findings);
  hpi::AtomicFile file;
  std::string why;
  if (!file.Open(Path, &why) || !file.Write(text.data(), text.size(), &why) || !file.Commit(&why)) {
    Error = "cannot write " + Path + ": " + why;
    return false;
  }
  return true;
}
