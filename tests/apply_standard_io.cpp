// kestrava-apply and kestrava-diff at the edges of their input and output: a
// table that is not a regular file, and standard output that cannot be written.
#include <sys/stat.h>

#include "apply_support.h"

using namespace applytest;

TEST(ApplyStandardIo, AFifoTableIsRefusedWithoutBlocking) {
  TempDir dir;
  const std::string fifo = dir / "table.csv";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const ToolRun r = Apply({fifo});
  EXPECT_EQ(r.Status, 2);
  EXPECT_EQ(r.Err, "kestrava-apply: cannot read " + fifo + ": not a regular file\n");
}

TEST(ApplyStandardIo, HelpThatCannotBeWrittenIsReported) {
  for (const bool diff : {false, true}) {
    std::ostringstream out, err;
    out.setstate(std::ios::badbit);
    const int status = diff ? RunDiff({"--help"}, out, err) : RunApply({"--help"}, out, err);
    EXPECT_EQ(status, 2);
    EXPECT_EQ(err.str(), std::string(diff ? "kestrava-diff" : "kestrava-apply") + ": cannot write to standard output\n");
  }
}
