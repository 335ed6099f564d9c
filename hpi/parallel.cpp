#include "hpi/parallel.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace hpi {

void ParallelFor(size_t n, unsigned threads, const std::function<void(size_t)>& work) {
  if (n == 0) return;
  if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
  threads = unsigned(std::min<size_t>(threads, n));
  std::atomic<size_t> next{0};
  std::exception_ptr failure;
  std::mutex failureLock;
  auto run = [&] {
    try {
      for (size_t i; (i = next.fetch_add(1, std::memory_order_relaxed)) < n;) work(i);
    } catch (...) {
      // The first failure stops the jobs not begun and is thrown again to
      // the caller once every thread is done.
      const std::lock_guard<std::mutex> lock(failureLock);
      if (!failure) failure = std::current_exception();
      next.store(n, std::memory_order_relaxed);
    }
  };
  std::vector<std::thread> pool;
  for (unsigned t = 1; t < threads; ++t) {
    try {
      pool.emplace_back(run);
    } catch (...) {
      break;  // fewer threads; the ones running take the rest
    }
  }
  run();
  for (std::thread& t : pool) t.join();
  if (failure) std::rethrow_exception(failure);
}

}  // namespace hpi
