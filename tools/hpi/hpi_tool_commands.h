#pragma once
// The commands of the `hpi` tool. Each returns the process exit code and
// writes its messages to the given streams; the caller flushes the output
// stream and reports a write that failed.
#include <ostream>
#include <string>

#include "hpi/format.h"

namespace hpitool {

int List(const std::string& archive, std::ostream& out, std::ostream& err);
int Extract(const std::string& archive, const std::string& dir, std::ostream& err);
int Create(const std::string& archive, const std::string& dir, hpi::Method method, std::ostream& err);

}  // namespace hpitool
