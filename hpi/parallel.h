#pragma once
// Spreading independent jobs over the cores.
#include <cstddef>
#include <functional>

namespace hpi {

// Calls work(i) once for every i below n, on up to `threads` threads (0 = one
// per core), the calling thread among them, and returns when all are done.
// Jobs are taken in index order. When `work` throws (out of memory), no
// further job begins and the first exception is thrown again here once the
// jobs begun are done. When no further thread can be started, the threads
// that run do all the jobs.
void ParallelFor(size_t n, unsigned threads, const std::function<void(size_t)>& work);

}  // namespace hpi
