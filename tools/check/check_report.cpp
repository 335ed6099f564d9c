#include "tools/check/check_report.h"

#include <charconv>
#include <map>
#include <nlohmann/json.hpp>

#include "hpi/parallel.h"
#include "tools/common/shown_path.h"
#include "definitions/table_format.h"

namespace {

using nlohmann::json;

const char* Level(const CheckFinding& F) { return SeverityWord(F.Rule->Severity); }

std::string Utf8(std::string_view S) { return TextAsUtf8(S); }

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

// Value as json's dump with an indent of two spaces would write it at
// nesting depth Depth, from that depth's indentation on.
void AppendIndented(std::string& Out, const json& Value, int Depth) {
  const std::string pad(size_t(2 * Depth), ' ');
  const std::string text = Value.dump(2);
  Out += pad;
  for (size_t from = 0;;) {
    const size_t nl = text.find('\n', from);
    if (nl == std::string::npos) {
      Out.append(text, from);
      return;
    }
    Out.append(text, from, nl + 1 - from).append(pad);
    from = nl + 1;
  }
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

// Text for a GitHub workflow command: control bytes escaped as on a
// terminal, then '%', CR and LF as the command syntax wants; in a property
// also ':' and ','.
void AppendGithubText(std::string& Out, std::string_view Text, bool Property) {
  for (const char c : hpitool::ShownText(Text)) {
    if (c == '%') Out += "%25";
    else if (c == '\r') Out += "%0D";
    else if (c == '\n') Out += "%0A";
    else if (Property && c == ':') Out += "%3A";
    else if (Property && c == ',') Out += "%2C";
    else Out += c;
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
  // Each finding is made and written on its own: a report of many findings
  // never holds them all as JSON values at once.
  for (size_t i = 0; i < Findings.size(); ++i) {
    const CheckFinding& f = Findings[i];
    json o = PlaceJson(f.Place);
    o["id"] = f.Rule->Id;
    o["severity"] = Level(f);
    o["definition"] = f.Definition.empty() ? json(nullptr) : json(Utf8(f.Definition));
    o["key"] = f.Key.empty() ? json(nullptr) : json(Utf8(f.Key));
    o["message"] = Utf8(f.Message);
    if (f.Omitted) o["omitted"] = f.Omitted;
    if (f.HasOther) o["other"] = PlaceJson(f.Other);
    Out += i == 0 ? "[\n" : ",\n";
    AppendIndented(Out, o, 1);
  }
  Out += Findings.empty() ? "[]\n" : "\n]\n";
}

void WriteCheckSarif(std::string& Out, const std::vector<CheckFinding>& Findings, const std::string& Version) {
  json rules = json::array();
  std::map<std::string, int> ruleIndex;
  for (const CheckRule& r : CheckRules()) {
    ruleIndex[r.Id] = static_cast<int>(rules.size());
    rules.push_back({{"id", r.Id},
                     {"shortDescription", {{"text", r.Summary}}},
                     {"defaultConfiguration", {{"level", SeverityWord(r.Severity)}}}});
  }
  // The artifacts come before the results in the log: every place is
  // numbered first, then the results are made and written one at a time.
  Artifacts artifacts;
  for (const CheckFinding& f : Findings) {
    artifacts.IndexOf(f.Place);
    if (f.HasOther) artifacts.IndexOf(f.Other);
  }
  const std::string mark = "\x01results\x01";  // no text of the log holds a control byte unescaped
  const json log = {
      {"$schema", "https://json.schemastore.org/sarif-2.1.0.json"},
      {"version", "2.1.0"},
      {"runs", json::array({{{"tool", {{"driver", {{"name", "kestrava-check"}, {"version", Version}, {"rules", rules}}}}},
                             {"artifacts", artifacts.List()},
                             {"results", mark}}})}};
  const std::string frame = log.dump(2), markText = json(mark).dump();
  const size_t at = frame.find(markText);
  Out.append(frame, 0, at);
  // The results array stands at the fourth level: log, runs, the run, results.
  constexpr int kResultsDepth = 3;
  for (size_t i = 0; i < Findings.size(); ++i) {
    const CheckFinding& f = Findings[i];
    json r = {{"ruleId", f.Rule->Id},
              {"ruleIndex", ruleIndex[f.Rule->Id]},
              {"level", Level(f)},
              {"message", {{"text", Utf8(f.Message)}}},
              {"locations", json::array({SarifLocation(artifacts, f.Place)})}};
    if (!f.Definition.empty())
      r["locations"][0]["logicalLocations"] = json::array({{{"name", Utf8(f.Definition)}}});
    if (f.Omitted) r["properties"] = {{"omitted", f.Omitted}};
    if (f.HasOther) {
      json other = SarifLocation(artifacts, f.Other);
      other["id"] = 1;
      other["message"] = {{"text", std::string_view(f.Rule->Id) == "duplicate-key" ? "the key's other line"
                                                                                   : "the other definition"}};
      r["relatedLocations"] = json::array({other});
    }
    Out += i == 0 ? "[\n" : ",\n";
    AppendIndented(Out, r, kResultsDepth + 1);
  }
  if (Findings.empty()) Out += "[]";
  else Out.append("\n").append(size_t(2 * kResultsDepth), ' ').append("]");
  Out.append(frame, at + markText.size());
  Out += '\n';
}

void WriteCheckGithub(std::string& Out, const std::vector<CheckFinding>& Findings) {
  for (const CheckFinding& f : Findings) {
    // Notes are notices; a file in an archive is annotated on the archive,
    // its path and line leading the message.
    const CheckSeverity severity = f.Rule->Severity;
    Out += severity == CheckSeverity::Error ? "::error file=" : severity == CheckSeverity::Warning ? "::warning file=" : "::notice file=";
    const bool packed = !f.Place.Archive().empty();
    AppendGithubText(Out, packed ? f.Place.Archive() : f.Place.Path(), true);
    if (!packed) Out.append(",line=").append(std::to_string(f.Place.Line));
    Out += ",title=";
    AppendGithubText(Out, f.Rule->Id, true);
    Out += "::";
    if (packed) AppendGithubText(Out, f.Place.Path() + ":" + std::to_string(f.Place.Line) + ": ", false);
    AppendGithubText(Out, f.Message, false);
    Out.append(" [").append(f.Rule->Id).append("]\n");
  }
}
