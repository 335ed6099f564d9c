#pragma once
// Process helpers for the memory figures: a field of /proc/self/status, and
// this same program run once more with one argument in a fresh process.
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <string>

namespace benchsupport {

// A "kB" field of /proc/self/status (such as "VmHWM:"), or -1.
inline long StatusKb(const char* Field) {
  std::ifstream in("/proc/self/status");
  std::string line;
  const size_t n = std::strlen(Field);
  while (std::getline(in, line))
    if (line.compare(0, n, Field) == 0) return std::stol(line.substr(n + 1));
  return -1;
}

// Runs this program with one argument in a fresh process (so its peak memory
// starts clean) and returns what it printed on standard output.
inline std::string RunSelf(const std::string& Argument) {
  int fds[2];
  if (::pipe(fds) != 0) return {};
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(fds[1], 1);
    ::execl("/proc/self/exe", "bench", Argument.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(fds[1]);
  std::string out;
  char buf[256];
  ssize_t n;
  while ((n = ::read(fds[0], buf, sizeof buf)) > 0) out.append(buf, static_cast<size_t>(n));
  ::close(fds[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  return out;
}

}  // namespace benchsupport
