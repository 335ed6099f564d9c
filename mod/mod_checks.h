#pragma once
// Finds what will break a mod before the game does: syntax slips in the
// definition files, references to weapons, features and units that are
// defined nowhere, missing models, scripts and pictures, and conflicts
// between definitions. It reads every definition file of every source with
// the definition reader; names are compared without regard to letter case,
// as the game compares them.
//
// A file whose path (ignoring case, '\' and '/' alike) a later source gives
// again is replaced by that one, as in the game: only the later file is read.
#include <atomic>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "archive/source_reader.h"


enum class CheckSeverity { Error, Warning };

struct CheckRule {
  const char* Id;
  CheckSeverity Severity;
  const char* Summary;
};

// Every check, in the order of the manual.
const std::vector<CheckRule>& CheckRules();
// The rule with this ID, or null.
const CheckRule* FindCheckRule(std::string_view Id);

// A line of a file of the sources; valid as long as the GameSources it came from.
struct CheckPlace {
  const SourceFile* File = nullptr;
  int Line = 0;  // 1-based

  // The archive's path; empty for a loose file.
  const std::string& Archive() const { return File->Archive; }
  // Inside the archive, or the loose file's disk path.
  const std::string& Path() const { return File->Archive.empty() ? File->DiskPath : File->Path; }
  // Inside its archive or below its source directory ('\' levels).
  const std::string& SourcePath() const { return File->Path; }
};

struct CheckFinding {
  const CheckRule* Rule = nullptr;
  CheckPlace Place;
  std::string Definition;  // the unit, weapon, feature or menu entry; empty when none
  std::string Message;
  bool HasOther = false;   // conflicts: where the other definition is
  CheckPlace Other;
};

struct CheckOutcome {
  std::vector<CheckFinding> Findings;  // in file order, each file's findings by line
  std::vector<std::string> Unreadable;  // one line per definition file that could not be read
  bool Cancelled = false;               // stopped on request: nothing else is filled
};

// How a check run reports its progress and is stopped, for a caller that runs
// it on a thread of its own.
struct CheckControl {
  // Called after each definition file is read, from whichever thread read it:
  // the files done and the files to do in all.
  std::function<void(size_t Done, size_t Total)> Progress;
  // Set from any thread to stop the run: the files not read yet are passed
  // over and the outcome holds no finding.
  const std::atomic<bool>* Cancel = nullptr;

  bool Cancelled() const { return Cancel && Cancel->load(std::memory_order_relaxed); }
};

CheckOutcome CheckSources(const GameSources& Sources, const CheckControl& Control = {});

// "ARCHIVE:PATH" for a file in an archive, the disk path for a loose file.
std::string PlaceName(const CheckPlace& Place);
