#include "hpi/parallel.h"

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

namespace hpi {

void ParallelFor(size_t n, unsigned threads, const std::function<void(size_t)>& work) {
  if (n == 0) return;
  if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
  threads = unsigned(std::min<size_t>(threads, n));
  std::atomic<size_t> next{0};
  auto run = [&] {
    for (size_t i; (i = next.fetch_add(1, std::memory_order_relaxed)) < n;) work(i);
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
}

}  // namespace hpi
