#pragma once
// Runs the `hpi` command-line tool as a separate process and collects its
// exit status, standard output and standard error. Needs HPI_TOOL_PATH.
#include <sys/wait.h>

#include <cstdlib>
#include <string>

#include "hpi_test_util.h"

namespace hpitest {

struct ToolRun {
  int status;
  std::string out, err;
};

inline ToolRun Tool(const ScratchDir& dir, const std::string& args) {
  const std::string out = dir / "stdout.bin", err = dir / "stderr.txt";
  // A command that blocked (on a FIFO, say) is ended after 20 seconds and fails the test.
  const int rc = std::system(("timeout 20 '" + std::string(HPI_TOOL_PATH) + "' " + args + " >'" + out +
                              "' 2>'" + err + "'").c_str());
  const std::vector<uint8_t> o = ReadBytes(out), e = ReadBytes(err);
  return {WIFEXITED(rc) ? WEXITSTATUS(rc) : -1, std::string(o.begin(), o.end()), std::string(e.begin(), e.end())};
}

}  // namespace hpitest
