#pragma once
// The last step of every command-line tool: standard output is flushed, and a
// write that failed (a full disk, a closed pipe) is reported on standard error
// and turns a successful exit status into 1.
#include <cerrno>
#include <cstring>
#include <iostream>
#include <string_view>

inline int FinishStandardOutput(int Status, std::string_view Program) {
  const bool failedEarlier = !std::cout;
  errno = 0;
  std::cout.flush();
  if (std::cout) return Status;
  std::cerr << Program << ": cannot write to standard output";
  // The reason is known only when this flush was the write that failed.
  if (!failedEarlier && errno != 0) std::cerr << ": " << std::strerror(errno);
  std::cerr << "\n";
  return Status == 0 ? 1 : Status;
}
