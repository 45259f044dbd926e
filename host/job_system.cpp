// The job system: a lazily grown pool of worker threads, RunJob, and the
// work-stealing range dispenser behind GetWorkStealingRange.
#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <numeric>
#include <optional>
#include <random>
#include <stdexcept>
#include <thread>
#include <vector>

#include "host/host.h"

namespace vorta::host {
namespace {

// One job index's contiguous part of the index space, cut into batches. The
// cursor counts batches taken from the front, by the owner or by thieves.
struct alignas(64) Share {
  std::atomic<int64_t> cursor{0};
  int32_t begin = 0;
  int32_t end = 0;
  int32_t batchSize = 1;
  int64_t batchCount = 0;
  // Batch k is [cuts[k], cuts[k + 1]); null when every batch has batchSize
  // indices (the last one fewer).
  const int32_t* cuts = nullptr;
  // Batches of this share handed to another job index.
  std::atomic<int64_t> stolen{0};
};

constexpr uint32_t kRangesMagic = 0x52414e47u;

}  // namespace
}  // namespace vorta::host

// What a job's BatchRanges pointer points to. Kernels never look inside, except
// that a job owning one fixed range per job index reads the pair array at
// offset 16.
struct vorta::BatchRanges {
  uint32_t magic;
  int32_t length;
  uint32_t workers;
  int32_t batchSize;
  const int32_t* fixedRanges;  // (begin, end) of share j at [2j], [2j + 1]
  vorta::host::Share* shares;
};
static_assert(offsetof(vorta::BatchRanges, fixedRanges) == 16,
              "fixed-range jobs read their pair array at offset 16");

namespace vorta::host {
namespace {

bool TakeBatch(Share& s, int32_t* begin, int32_t* end) {
  if (s.cursor.load(std::memory_order_relaxed) >= s.batchCount) return false;
  int64_t k = s.cursor.fetch_add(1, std::memory_order_relaxed);
  if (k >= s.batchCount) return false;
  if (s.cuts) {
    *begin = s.cuts[k];
    *end = s.cuts[k + 1];
  } else {
    int64_t b = s.begin + k * static_cast<int64_t>(s.batchSize);
    int64_t e = std::min<int64_t>(b + s.batchSize, s.end);
    *begin = static_cast<int32_t>(b);
    *end = static_cast<int32_t>(e);
  }
  return true;
}

// --- worker pool -----------------------------------------------------------

// Grows so that every posted task starts at once on a thread of its own: job
// calls of one RunJob always run concurrently, and jobs started from several
// threads (or from inside a job) never wait for each other.
class Pool {
 public:
  void PostAll(std::vector<std::function<void()>>& tasks) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto& t : tasks) queue_.push_back(std::move(t));
    while (idle_ < queue_.size()) {
      threads_.emplace_back([this] { Loop(); });
      ++idle_;
    }
    cv_.notify_all();
  }

 private:
  void Loop() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      cv_.wait(lock, [this] { return !queue_.empty(); });
      std::function<void()> task = std::move(queue_.front());
      queue_.pop_front();
      --idle_;
      lock.unlock();
      task();
      task = nullptr;
      lock.lock();
      ++idle_;
    }
  }

  std::mutex mutex_;
  std::condition_variable cv_;
  std::deque<std::function<void()>> queue_;
  std::vector<std::thread> threads_;
  size_t idle_ = 0;
};

Pool& ThePool() {
  static Pool* pool = new Pool;  // never destroyed: its threads live until exit
  return *pool;
}

std::atomic<uint32_t> g_threadIndexCount{0};  // 0: DefaultWorkerCount()
std::atomic<int64_t> g_lastBatches{0};
std::atomic<int64_t> g_lastSteals{0};
std::mutex g_privateMutex;
std::vector<std::vector<uint8_t>> g_lastPrivate;

struct CallContext {
  JobEntry entry;
  void* job;
  void* additional;
  BatchRanges* ranges;
  uint32_t jobIndex;
};

void CallEntry(void* p) {
  const CallContext* c = static_cast<const CallContext*>(p);
  c->entry(c->job, c->additional, nullptr, c->ranges, c->jobIndex);
}

// Outcome of all the calls of one job: the first abort or exception wins.
struct JobOutcome {
  std::mutex mutex;
  std::condition_variable done;
  int remaining = 0;
  std::optional<KernelAbort> abort;
  std::exception_ptr error;
};

void RunOneCall(const CallContext& ctx, JobOutcome& outcome) {
  CallContext c = ctx;
  std::optional<KernelAbort> aborted;
  std::exception_ptr error;
  try {
    if (detail::RunGuarded(&CallEntry, &c)) aborted = detail::PendingAbort();
  } catch (...) {
    error = std::current_exception();
  }
  std::lock_guard<std::mutex> lock(outcome.mutex);
  if (aborted && !outcome.abort && !outcome.error) outcome.abort = std::move(aborted);
  if (error && !outcome.abort && !outcome.error) outcome.error = error;
  if (--outcome.remaining == 0) outcome.done.notify_all();
}

}  // namespace

int DefaultWorkerCount() {
  unsigned n = std::thread::hardware_concurrency();
  return n < 2 ? 2 : static_cast<int>(n);
}

void SetThreadIndexCount(uint32_t count) { g_threadIndexCount.store(count); }

uint32_t ThreadIndexCount() {
  uint32_t n = g_threadIndexCount.load();
  return n ? n : static_cast<uint32_t>(DefaultWorkerCount());
}

int64_t LastJobBatchCount() { return g_lastBatches.load(); }
int64_t LastJobStealCount() { return g_lastSteals.load(); }

std::vector<std::vector<uint8_t>> LastPrivateRecords() {
  std::lock_guard<std::mutex> lock(g_privateMutex);
  return g_lastPrivate;
}

void RunJob(JobEntry entry, void* record, size_t recordSize, int32_t length, const JobOptions& opt,
            void* additional) {
  if (length < 0) throw std::invalid_argument("RunJob: negative length");
  if (opt.privateRecords && recordSize > 0 && !record)
    throw std::invalid_argument("RunJob: private records need a record to copy");
  const uint32_t n = static_cast<uint32_t>(opt.workers > 0 ? opt.workers : DefaultWorkerCount());
  int32_t batchSize = opt.batchSize;
  if (batchSize <= 0) batchSize = std::max<int32_t>(64, length / static_cast<int32_t>(n * 8));

  // Shares and their batches.
  std::unique_ptr<Share[]> shares(new Share[n]);
  std::vector<int32_t> fixed(2 * static_cast<size_t>(n));
  std::vector<std::vector<int32_t>> cuts(n);
  // An empty index space has no batches at all, not even empty ones: the
  // first call is told the work is done.
  const bool empties = opt.emptyBatches && length > 0;
  const bool tabled = opt.randomBatchSizes || empties;
  for (uint32_t w = 0; w < n; ++w) {
    Share& s = shares[w];
    s.begin = static_cast<int32_t>(static_cast<int64_t>(length) * w / n);
    s.end = static_cast<int32_t>(static_cast<int64_t>(length) * (w + 1) / n);
    s.batchSize = batchSize;
    fixed[2 * w] = s.begin;
    fixed[2 * w + 1] = s.end;
    if (!tabled) {
      s.batchCount = (static_cast<int64_t>(s.end) - s.begin + batchSize - 1) / batchSize;
      continue;
    }
    std::mt19937_64 rng(opt.seed * 0x9e3779b97f4a7c15ull + w + 1);
    std::uniform_int_distribution<int64_t> size(1, 2 * static_cast<int64_t>(batchSize));
    std::vector<int32_t>& c = cuts[w];
    c.push_back(s.begin);
    if (empties) c.push_back(s.begin);
    for (int64_t pos = s.begin; pos < s.end;) {
      int64_t step = opt.randomBatchSizes ? size(rng) : batchSize;
      pos = std::min<int64_t>(pos + step, s.end);
      c.push_back(static_cast<int32_t>(pos));
      if (empties && rng() % 4 == 0) c.push_back(static_cast<int32_t>(pos));
    }
    if (empties) c.push_back(s.end);
    s.cuts = c.data();
    s.batchCount = static_cast<int64_t>(c.size()) - 1;
  }

  BatchRanges ranges;
  ranges.magic = kRangesMagic;
  ranges.length = length;
  ranges.workers = n;
  ranges.batchSize = batchSize;
  ranges.fixedRanges = fixed.data();
  ranges.shares = shares.get();

  std::vector<std::vector<uint8_t>> copies;
  if (opt.privateRecords) {
    const uint8_t* r = static_cast<const uint8_t*>(record);
    copies.assign(n, std::vector<uint8_t>(r, r + recordSize));
  }

  std::vector<uint32_t> order(n);
  std::iota(order.begin(), order.end(), 0u);
  if (opt.shuffleWorkers) {
    std::mt19937_64 rng(opt.seed ^ 0x5bd1e995u);
    std::shuffle(order.begin(), order.end(), rng);
  }

  std::vector<CallContext> calls(n);
  for (uint32_t j = 0; j < n; ++j) {
    void* job = opt.privateRecords ? static_cast<void*>(copies[j].data()) : record;
    calls[j] = CallContext{entry, job, additional, &ranges, j};
  }

  JobOutcome outcome;
  outcome.remaining = static_cast<int>(n);
  if (n > 1) {
    std::vector<std::function<void()>> tasks;
    for (uint32_t i = 1; i < n; ++i) {
      const CallContext* c = &calls[order[i]];
      tasks.push_back([c, &outcome] { RunOneCall(*c, outcome); });
    }
    ThePool().PostAll(tasks);
  }
  RunOneCall(calls[order[0]], outcome);
  {
    std::unique_lock<std::mutex> lock(outcome.mutex);
    outcome.done.wait(lock, [&] { return outcome.remaining == 0; });
  }

  int64_t batches = 0, steals = 0;
  for (uint32_t w = 0; w < n; ++w) {
    batches += std::min(shares[w].cursor.load(), shares[w].batchCount);
    steals += shares[w].stolen.load();
  }
  g_lastBatches.store(batches);
  g_lastSteals.store(steals);
  if (opt.privateRecords) {
    std::lock_guard<std::mutex> lock(g_privateMutex);
    g_lastPrivate = std::move(copies);
  }
  if (outcome.abort) throw *outcome.abort;
  if (outcome.error) std::rethrow_exception(outcome.error);
}

namespace service {

VORTA_MSABI uintptr_t GetWorkStealingRange(BatchRanges* ranges, uint32_t jobIndex, int32_t* begin,
                                           int32_t* end) {
  if (!ranges || ranges->magic != kRangesMagic) {
    fprintf(stderr, "vorta host: GetWorkStealingRange got %p, which is not a job's ranges\n",
            static_cast<void*>(ranges));
    fflush(stderr);
    abort();
  }
  const uint32_t n = ranges->workers;
  const uint32_t own = jobIndex % n;
  for (uint32_t i = 0; i < n; ++i) {
    uint32_t w = own + i < n ? own + i : own + i - n;
    Share& s = ranges->shares[w];
    if (TakeBatch(s, begin, end)) {
      if (i != 0 || jobIndex >= n) s.stolen.fetch_add(1, std::memory_order_relaxed);
      return 1;
    }
  }
  return 0;
}

VORTA_MSABI uint32_t GetThreadIndexCount() { return ThreadIndexCount(); }

}  // namespace service
}  // namespace vorta::host
