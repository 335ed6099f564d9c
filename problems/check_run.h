#pragma once
// The check of what the window has open: kestrava-check's checks with the
// kestrava-check.conf of the current directory, run by the Problems list on a
// thread of its own. The findings come back as plain texts, free of the
// sources they were read from.
#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "mod/mod_checks.h"

struct Problem {
  CheckSeverity Severity = CheckSeverity::Error;
  std::string Id;
  std::string Archive;  // empty for a loose file
  std::string File;     // inside the archive, or the loose file's disk path
  std::string Place;    // as kestrava-check names the file: ARCHIVE:PATH, or the disk path
  int Line = 0;
  std::string Definition;
  std::string Message;
  std::string Key;  // the key the finding is about (a broken reference's); empty when none
};

struct ProblemSources {
  std::vector<std::string> Archives;  // in the order they were opened
  std::string LooseDirectory;         // the game directory, when its loose files are included
};

struct ProblemCheck {
  std::vector<Problem> Problems;
  std::vector<std::string> Notes;  // what could not be read, or a configuration that is wrong
  bool Failed = false;             // nothing was checked (see Notes)
  bool Cancelled = false;
};

// Checks Sources with the same checks, configuration (ConfigPath, read when
// that file exists), suppression comments and cap as kestrava-check. Cancel
// stops the run between files; a cancelled check returns no findings.
// Progress, when given, is called from the reading threads with the files
// done and the files in all.
ProblemCheck RunProblemCheck(const ProblemSources& Sources, const std::string& ConfigPath,
                             const std::atomic<bool>& Cancel,
                             std::function<void(size_t Done, size_t Total)> Progress = {});
