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


// Errors and warnings make the exit status of kestrava-check (warnings with
// --werror); notes never do.
enum class CheckSeverity { Error, Warning, Note };

// "error", "warning" or "note".
const char* SeverityWord(CheckSeverity Severity);

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

// At most this many findings of one check are kept for one file; one more
// finding then counts the rest, so that a file of a million mistakes costs
// no more than one of a hundred.
constexpr size_t kMaxFindingsPerFile = 100;

struct CheckFinding {
  const CheckRule* Rule = nullptr;
  CheckPlace Place;
  std::string Definition;  // the unit, weapon, feature or menu entry; empty when none
  std::string Key;         // the key the finding is about, as written; empty when none
  std::string Message;
  bool HasOther = false;   // conflicts and keys given twice: where the other one is
  CheckPlace Other;
  // Not 0 for the finding that counts those of its check left out of its file
  // beyond kMaxFindingsPerFile: how many; Place is the first one left out.
  size_t Omitted = 0;
};

// How many findings F stands for: itself, or those it counts.
inline size_t FindingCount(const CheckFinding& F) { return F.Omitted ? F.Omitted : 1; }

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
