#pragma once
// Process helpers for the memory figures: a field of /proc/self/status, and
// this same program run once more with one argument in a fresh process.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

extern char** environ;

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

// What a program run to its end took: its exit status (-1 when it did not
// exit normally), CPU time (user and system, all its threads) in seconds and
// peak resident memory in kB.
struct ChildRun {
  int status = -1;
  double cpu = -1;
  long peakKb = -1;
};

// Runs Args[0] with the other arguments, standard output to /dev/null.
inline ChildRun RunQuiet(const std::vector<std::string>& Args) {
  std::vector<char*> argv;
  for (const std::string& a : Args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t quiet;
  posix_spawn_file_actions_init(&quiet);
  posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  ChildRun r;
  if (posix_spawn(&pid, argv[0], &quiet, nullptr, argv.data(), environ) == 0) {
    int status = 0;
    struct rusage ru {};
    if (::wait4(pid, &status, 0, &ru) == pid && WIFEXITED(status)) {
      const auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
      r.status = WEXITSTATUS(status);
      r.cpu = seconds(ru.ru_utime) + seconds(ru.ru_stime);
      r.peakKb = ru.ru_maxrss;
    }
  }
  posix_spawn_file_actions_destroy(&quiet);
  return r;
}

}  // namespace benchsupport
