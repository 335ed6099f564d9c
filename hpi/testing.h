#pragma once
// Test hooks of the archive library. Not for use by the program.
#include <cstdint>

namespace hpi::testing {

// Makes archive writes fail once `bytes` more bytes were written (the write
// that would pass the limit fails). A negative value turns the failure off.
void FailWritesAfter(int64_t bytes);

}  // namespace hpi::testing
