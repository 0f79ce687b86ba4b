#include "bake/parallel_rows.h"

#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace {

int g_threadOverride = 0;

// More threads than this never help a pass and only cost start-up time.
constexpr int kMaxThreads = 256;

}  // namespace

int BakeThreadCount() {
  if (g_threadOverride > 0) return g_threadOverride;
  if (const char* text = std::getenv("TAMSINK_THREADS")) {
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (end != text && value >= 1) return value > kMaxThreads ? kMaxThreads : static_cast<int>(value);
  }
  const unsigned cores = std::thread::hardware_concurrency();
  if (cores == 0) return 1;
  return cores > unsigned(kMaxThreads) ? kMaxThreads : static_cast<int>(cores);
}

void SetBakeThreadCount(int threads) {
  g_threadOverride = threads > kMaxThreads ? kMaxThreads : (threads < 0 ? 0 : threads);
}

void ForEachRowInOrder(int rows, int threads, const std::function<void(int)>& work,
                       const std::function<void(int)>& done) {
  if (rows <= 0) return;
  if (threads > rows) threads = rows;
  if (threads <= 1) {
    for (int row = 0; row < rows; ++row) {
      work(row);
      done(row);
    }
    return;
  }

  std::atomic<int> nextRow{0};
  std::vector<char> finished(static_cast<size_t>(rows), 0);
  std::mutex mutex;
  std::condition_variable rowFinished;

  const auto runRow = [&](int row) {
    work(row);
    {
      std::lock_guard<std::mutex> lock(mutex);
      finished[static_cast<size_t>(row)] = 1;
    }
    rowFinished.notify_all();
  };
  const auto worker = [&] {
    for (int row; (row = nextRow.fetch_add(1)) < rows;) runRow(row);
  };

  std::vector<std::thread> workers;
  workers.reserve(static_cast<size_t>(threads - 1));
  for (int i = 1; i < threads; ++i) {
    try {
      workers.emplace_back(worker);
    } catch (const std::system_error&) {
      break;  // fewer threads than asked for; the calling thread still works
    }
  }

  // The calling thread reports rows in order, and computes rows itself
  // whenever the next row to report is not finished yet.
  for (int reported = 0; reported < rows;) {
    bool ready;
    {
      std::lock_guard<std::mutex> lock(mutex);
      ready = finished[static_cast<size_t>(reported)] != 0;
    }
    if (ready) {
      done(reported++);
      continue;
    }
    const int row = nextRow.fetch_add(1);
    if (row < rows) {
      runRow(row);
      continue;
    }
    std::unique_lock<std::mutex> lock(mutex);
    rowFinished.wait(lock, [&] { return finished[static_cast<size_t>(reported)] != 0; });
  }
  for (std::thread& t : workers) t.join();
}
