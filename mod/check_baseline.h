#pragma once
// Known findings: a baseline records the findings of one day, so that later
// checks report only the new ones. A finding is matched by its check ID, its
// file, its definition and its key, not by its line, so that an edit above it
// keeps it known. Each recorded finding stands for one finding: a second
// finding of the same kind in the same place is new.
//
// The file is JSON: {"kestrava-check-baseline": 1, "findings": [{"id", "file",
// "definition", "key"}, ...]}. A file is named by its path inside its archive
// or below its source directory, after the archive's own file name, so that
// the baseline holds wherever the sources lie.
#include <map>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "mod/mod_checks.h"

class CheckBaseline {
 public:
  // Reads a baseline's text. False, with what is wrong in Error, when it is
  // not one.
  bool Read(std::string_view Text, std::string& Error);
  // Reads the baseline file Path. False, with "cannot read PATH: why" or
  // "PATH: what is wrong" in Error.
  bool Load(const std::string& Path, std::string& Error);

  // Drops the findings the baseline knows from Findings, keeping the order of
  // the others. Returns how many were dropped.
  size_t Filter(std::vector<CheckFinding>& Findings) const;

  // How many findings it holds.
  size_t Size() const;

 private:
  using Entry = std::tuple<std::string, std::string, std::string, std::string>;  // id, file, definition, key; folded
  std::map<Entry, size_t> Known_;
};

// The text of a baseline holding Findings.
std::string CheckBaselineText(const std::vector<CheckFinding>& Findings);

// Writes a baseline of Findings to Path through a temporary file renamed over
// it. False, with the reason in Error.
bool WriteCheckBaseline(const std::string& Path, const std::vector<CheckFinding>& Findings, std::string& Error);
