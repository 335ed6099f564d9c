#pragma once
// kestrava-apply's planning: which cells of a table read back from a
// spreadsheet change which definitions, checked against the files as they
// are now. Nothing is written here.
#include <cstdint>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "definitions/table_read.h"

// One cell that differs from the definition's current value.
struct CellChange {
  std::string Key;       // the column caption
  std::string OldValue;  // as the table shows it now (8-bit)
  std::string NewValue;  // the cell, 8-bit
  // A key of a table of every key that no catalogue column shows: the first
  // of its name directly in the definition's own section is the one changed.
  bool OwnSection = false;
};

// The changes of one table row.
struct DefinitionChange {
  int Row = 0;
  std::string Name;     // UnitName for a unit, the section name otherwise
  std::string Section;  // the section name the row names; empty for a unit
  std::vector<CellChange> Cells;
};

// What names a file's version: device, inode, size and modification time.
// An archive whose stamp is unchanged since planning still holds the bytes
// the plan was made from.
struct FileStamp {
  uint64_t Device = 0, Inode = 0, Size = 0;
  int64_t Seconds = 0, Nanoseconds = 0;
  bool Valid = false;
  static FileStamp Of(const std::string& Path);
  bool Same(const FileStamp& O) const {
    return Valid && O.Valid && Device == O.Device && Inode == O.Inode && Size == O.Size && Seconds == O.Seconds &&
           Nanoseconds == O.Nanoseconds;
  }
};

// One file with changes.
struct FilePlan {
  std::string ParentFile;    // as the table names it: an archive path, or "Not packed !"
  std::string UnPackedFile;  // path inside the archive as stored, or the disk path
  bool Loose = false;
  FileStamp ArchiveStamp;    // its archive before it was read
  std::string Original;      // its bytes when planned
  std::string Updated;       // its bytes with every change
  std::vector<DefinitionChange> Definitions;
  int CellCount = 0;
};

struct ApplyPlan {
  std::string Kind;              // units, weapons, corpses or download
  std::vector<FilePlan> Files;   // in the order their first row came
  int Refused = 0;               // rows and cells that apply nothing
};

struct ApplyOptions {
  // Apply a number whose new value is the old one with its decimal point
  // dropped (2.175 -> 2175), which is otherwise refused as a spreadsheet's
  // locale misreading it.
  bool AcceptLocaleChanges = false;
};

// Plans the changes of Table. Messages (refusals with their row, emptied
// cells, a table that cannot tell changed files) go to Err, one line each,
// after Prefix. Returns false with UsageError set when the table cannot be
// used at all (no ParentFile or UnPackedFile column, a caption given twice,
// no way to tell its kind).
//
// A caption of no column of the table's kind is a key of the definitions
// (a table of every key) when a key can be named so; a caption no key can
// have (one holding a blank, such as File CRC-32) is not applied.
bool PlanApply(const ReadTable& Table, ApplyPlan& Plan, std::ostream& Err, const std::string& Prefix,
               std::string& UsageError, const ApplyOptions& Options = {});
