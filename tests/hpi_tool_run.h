#pragma once
// Runs the `hpi` command-line tool as a separate process and collects its
// exit status, standard output and standard error. Needs HPI_TOOL_PATH.
#include <sys/wait.h>

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "hpi_test_util.h"

namespace hpitest {

struct ToolRun {
  int status;
  std::string out, err;
};

// Standard output goes to a file in dir, or to Stdout when given (such as
// /dev/full); then out stays empty.
inline ToolRun Tool(const ScratchDir& dir, const std::string& args, const std::string& Stdout = "") {
  const std::string out = Stdout.empty() ? dir / "stdout.bin" : Stdout, err = dir / "stderr.txt";
  // A command that blocked (on a FIFO, say) is ended after 20 seconds and fails the test.
  const int rc = std::system(("timeout 20 '" + std::string(HPI_TOOL_PATH) + "' " + args + " >'" + out +
                              "' 2>'" + err + "'").c_str());
  const std::vector<uint8_t> o = Stdout.empty() ? ReadBytes(out) : std::vector<uint8_t>(), e = ReadBytes(err);
  return {WIFEXITED(rc) ? WEXITSTATUS(rc) : -1, std::string(o.begin(), o.end()), std::string(e.begin(), e.end())};
}

// A plain archive of stored files at the root, written byte by byte, so that
// it may hold names our writer would not write: names that differ only in
// letter case (it merges those), names with control bytes.
inline std::vector<uint8_t> StoredRootArchive(const std::vector<std::pair<std::string, std::string>>& files) {
  hpitest::RawArchive a;
  a.U32(0x49504148), a.U32(0x00010000);
  const size_t dirEnd = a.U32(0);
  a.U32(0), a.U32(20);
  a.U32(uint32_t(files.size()));
  const size_t entries = a.U32(0);
  a.Patch32(entries, uint32_t(a.size()));
  std::vector<size_t> records;
  for (size_t i = 0; i < files.size(); ++i) {
    records.push_back(a.U32(0));
    a.U32(0), a.U8(0);
  }
  std::vector<size_t> dataFields;
  for (size_t i = 0; i < files.size(); ++i) {
    a.Patch32(records[i], uint32_t(a.Name(files[i].first)));
    a.Patch32(records[i] + 4, uint32_t(a.size()));
    dataFields.push_back(a.U32(0));
    a.U32(uint32_t(files[i].second.size())), a.U8(0);
  }
  a.Patch32(dirEnd, uint32_t(a.size()));
  for (size_t i = 0; i < files.size(); ++i) {
    const std::string& data = files[i].second;
    a.Patch32(dataFields[i], uint32_t(a.Bytes(std::vector<uint8_t>(data.begin(), data.end()))));
  }
  return a.Finish(0);
}

}  // namespace hpitest
