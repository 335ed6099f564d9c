#include "check_report.h"

#include <charconv>
#include <map>
#include <nlohmann/json.hpp>

#include "hpi/parallel.h"
#include "hpi_tool_shown_path.h"
#include "table_format.h"

namespace {

using nlohmann::json;

const char* Level(const CheckFinding& F) { return F.Rule->Severity == CheckSeverity::Error ? "error" : "warning"; }

bool ValidUtf8(std::string_view S) {
  size_t i = 0;
  while (i < S.size()) {
    const auto c = static_cast<unsigned char>(S[i]);
    const size_t n = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
    if (n == 0 || i + n > S.size()) return false;
    for (size_t k = 1; k < n; ++k)
      if ((static_cast<unsigned char>(S[i + k]) & 0xC0) != 0x80) return false;
    i += n;
  }
  return true;
}

// Text for JSON: kept when it is UTF-8 already (disk paths), else each byte
// as its Latin-1 character (the game's 8-bit texts).
std::string Utf8(std::string_view S) {
  if (ValidUtf8(S)) return std::string(S);
  std::string out;
  AppendLatin1AsUtf8(out, S);
  return out;
}

json PlaceJson(const CheckPlace& P) {
  return {{"archive", P.Archive().empty() ? json(nullptr) : json(Utf8(P.Archive()))},
          {"path", Utf8(P.Path())},
          {"line", P.Line}};
}

// A relative URI reference for a path: '\' levels become '/', and every byte
// outside the unreserved set and '/' is percent-encoded.
std::string UriOf(std::string_view Path) {
  static const char hex[] = "0123456789ABCDEF";
  std::string out;
  for (char ch : Path) {
    const auto c = static_cast<unsigned char>(ch == '\\' ? '/' : ch);
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
        c == '_' || c == '~' || c == '/') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

// A disk path as a URI: absolute paths as file URIs, others relative.
std::string DiskUri(std::string_view Path) {
  return !Path.empty() && Path[0] == '/' ? "file://" + UriOf(Path) : UriOf(Path);
}

// The artifacts of a SARIF run: each archive once, each file once; a file
// in an archive names the archive as its parent.
class Artifacts {
 public:
  int IndexOf(const CheckPlace& P) {
    if (P.Archive().empty()) return Add(DiskUri(P.Path()), -1, P.Path());
    const int parent = Add(DiskUri(P.Archive()), -1, P.Archive());
    return Add(UriOf(P.Path()), parent, P.Archive() + "\n" + P.Path());
  }
  json List() const { return list_; }
  const std::string& Uri(int I) const { return uris_[static_cast<size_t>(I)]; }

 private:
  int Add(const std::string& Uri, int Parent, const std::string& Key) {
    auto [it, fresh] = index_.emplace(Key, static_cast<int>(uris_.size()));
    if (fresh) {
      json a = {{"location", {{"uri", Uri}}}};
      if (Parent >= 0) a["parentIndex"] = Parent;
      list_.push_back(a);
      uris_.push_back(Uri);
    }
    return it->second;
  }
  std::map<std::string, int> index_;
  std::vector<std::string> uris_;
  json list_ = json::array();
};

json SarifLocation(Artifacts& A, const CheckPlace& P) {
  const int index = A.IndexOf(P);
  return {{"physicalLocation",
           {{"artifactLocation", {{"uri", A.Uri(index)}, {"index", index}}}, {"region", {{"startLine", P.Line}}}}}};
}

// The text lines of the findings from Begin to End appended to Out.
void AppendTextLines(std::string& Out, const CheckFinding* Begin, const CheckFinding* End) {
  Out.reserve(Out.size() + static_cast<size_t>(End - Begin) * 128);
  // Names and values come from the mod's files: control bytes are escaped so
  // that none reaches the terminal. Findings come by file: a file's shown
  // place is worked out once for all of its findings.
  const SourceFile* file = nullptr;
  std::string place;
  for (const CheckFinding* f = Begin; f != End; ++f) {
    if (f->Place.File != file) {
      file = f->Place.File;
      place.clear();
      if (!f->Place.Archive().empty()) place.append(hpitool::ShownPath(f->Place.Archive())).append(1, ':');
      place.append(hpitool::ShownPath(f->Place.Path())).append(1, ':');
    }
    char line[16];
    const auto [end, ec] = std::to_chars(line, line + sizeof line, f->Place.Line);
    Out.append(place).append(line, end).append(": ").append(Level(*f)).append(": ");
    hpitool::AppendShownText(Out, f->Message);
    Out.append(" [").append(f->Rule->Id).append("]\n");
  }
}

// Below this many findings a second thread for the text costs more than it saves.
constexpr size_t kSplitFindings = 4096;

}  // namespace

void WriteCheckText(std::string& Out, const std::vector<CheckFinding>& Findings) {
  // A long report is written in two halves on two threads, joined in order.
  const CheckFinding* all = Findings.data();
  const size_t count = Findings.size(), half = count < kSplitFindings ? count : count / 2;
  Out.reserve(Out.size() + count * 128);
  std::string second;
  hpi::ParallelFor(half < count ? 2 : 1, 2, [&](size_t Part) {
    if (Part == 0)
      AppendTextLines(Out, all, all + half);
    else
      AppendTextLines(second, all + half, all + count);
  });
  Out += second;
}

void WriteCheckJson(std::string& Out, const std::vector<CheckFinding>& Findings) {
  json all = json::array();
  for (const CheckFinding& f : Findings) {
    json o = PlaceJson(f.Place);
    o["id"] = f.Rule->Id;
    o["severity"] = Level(f);
    o["definition"] = f.Definition.empty() ? json(nullptr) : json(Utf8(f.Definition));
    o["message"] = Utf8(f.Message);
    if (f.HasOther) o["other"] = PlaceJson(f.Other);
    all.push_back(std::move(o));
  }
  Out += all.dump(2);
  Out += '\n';
}

void WriteCheckSarif(std::string& Out, const std::vector<CheckFinding>& Findings, const std::string& Version) {
  json rules = json::array();
  std::map<std::string, int> ruleIndex;
  for (const CheckRule& r : CheckRules()) {
    ruleIndex[r.Id] = static_cast<int>(rules.size());
    rules.push_back({{"id", r.Id},
                     {"shortDescription", {{"text", r.Summary}}},
                     {"defaultConfiguration", {{"level", r.Severity == CheckSeverity::Error ? "error" : "warning"}}}});
  }
  Artifacts artifacts;
  json results = json::array();
  for (const CheckFinding& f : Findings) {
    json r = {{"ruleId", f.Rule->Id},
              {"ruleIndex", ruleIndex[f.Rule->Id]},
              {"level", Level(f)},
              {"message", {{"text", Utf8(f.Message)}}},
              {"locations", json::array({SarifLocation(artifacts, f.Place)})}};
    if (!f.Definition.empty())
      r["locations"][0]["logicalLocations"] = json::array({{{"name", Utf8(f.Definition)}}});
    if (f.HasOther) {
      json other = SarifLocation(artifacts, f.Other);
      other["id"] = 1;
      other["message"] = {{"text", "the other definition"}};
      r["relatedLocations"] = json::array({other});
    }
    results.push_back(std::move(r));
  }
  const json log = {
      {"$schema", "https://json.schemastore.org/sarif-2.1.0.json"},
      {"version", "2.1.0"},
      {"runs", json::array({{{"tool", {{"driver", {{"name", "kestrava-check"}, {"version", Version}, {"rules", rules}}}}},
                             {"artifacts", artifacts.List()},
                             {"results", results}}})}};
  Out += log.dump(2);
  Out += '\n';
}
