// Everything at once: three host threads keep starting random jobs of every
// job family on 16 workers each (random batch sizes, empty batches, shuffled
// workers) and check each result against the one-worker result of the same
// record, while the arena and the tracking allocator are hammered from 16
// threads and 16 threads dispose queues into one shared pool, and texts.
// Bounded in time; a watchdog stops the program if anything hangs. No
// allocation may be lost and none released twice (the host's live counts come
// back to where they started).
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <thread>

#include "tests/allocator_hammer.h"
#include "tests/kernel_cases.h"

namespace {

using Clock = std::chrono::steady_clock;
using kcases::Kernels;

struct Prepared {
  size_t kernel;
  kcases::Case c;
  kcases::Result want;
};

hammer::AllocatorFn Allocator(const char* exportName) {
  return {reinterpret_cast<hammer::AllocatorFnPtr>(vorta::host::LinkedKernel(exportName))};
}

// Aborts the program if `done` is not set within the limit.
class Watchdog {
 public:
  explicit Watchdog(std::chrono::seconds limit)
      : thread_([this, limit] {
          std::unique_lock<std::mutex> lock(mutex_);
          if (!cv_.wait_for(lock, limit, [this] { return done_; })) {
            fprintf(stderr, "stress run hung: still running after %lld s\n",
                    static_cast<long long>(limit.count()));
            abort();
          }
        }) {}
  ~Watchdog() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      done_ = true;
    }
    cv_.notify_all();
    thread_.join();
  }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  bool done_ = false;
  std::thread thread_;
};

using DisposeFn = void(VORTA_CALL*)(void*);

// Called from a frame of its own (see allocator_hammer.h on ms_abi calls).
__attribute__((noinline)) void CallDispose(const char* exportName, void* argument) {
  reinterpret_cast<DisposeFn>(vorta::host::LinkedKernel(exportName))(argument);
}

using kcases::Set;

// Sixteen threads dispose queues into one shared block pool (the surplus over
// its limit released, the rest pushed onto its free list: an atomic count and
// compare-and-swap pushes from every thread at once) and their own texts, all
// through the exports. Every chained block must end up released or pooled
// exactly once, and every other block released. Returns the calls made.
int64_t HammerContainers(int threads, int perThread, uint64_t seed) {
  struct Pool {
    void* head;
    int32_t count, limit;
  };
  std::unique_ptr<Pool> pool(new Pool{nullptr, 0, 1000});
  pool->count = pool->limit + threads * perThread;  // about half the chained blocks are surplus
  const int32_t countBefore = pool->count;
  const int64_t live = vorta::host::LiveAllocations();
  constexpr uint32_t kHandle = 5u | 2u << 16;
  auto block = [](size_t bytes) { return vorta::host::service::MallocTracked(bytes, 64, 5, 0); };
  std::atomic<int64_t> chained{0};
  std::vector<std::thread> workers;
  for (int t = 0; t < threads; ++t)
    workers.emplace_back([&, t] {
      std::mt19937_64 rng(seed * 100 + uint64_t(t));
      for (int i = 0; i < perThread; ++i) {
        void* head = nullptr;
        const int n = int(rng() % 5);
        for (int k = 0; k < n; ++k) {
          void* b = block(16);
          Set(b, 0, head);
          head = b;
        }
        chained += n;
        void* data = block(32);
        Set(data, 0, head);
        void* header = block(24);
        Set(header, 0, data), Set(header, 8, pool.get()), Set(header, 16, kHandle);
        CallDispose(VORTA_EXPORT_DISPOSAL_QUEUE, header);
        void* text = block(24);
        const int32_t capacity = 1 + int32_t(rng() % 64);
        Set(text, 0, block(size_t(capacity))), Set(text, 12, capacity), Set(text, 16, kHandle);
        void** slot = new void*(text);
        CallDispose(VORTA_EXPORT_DISPOSAL_TEXT, slot);
        delete slot;
      }
    });
  for (std::thread& w : workers) w.join();
  int64_t pooled = 0;
  for (void* b = pool->head; b; ++pooled) {
    void* next;
    memcpy(&next, b, sizeof next);
    vorta::host::service::FreeTracked(b, 4);
    b = next;
  }
  EXPECT_EQ(pooled + (countBefore - pool->count), chained.load()) << "a pooled block lost or doubled";
  EXPECT_GE(pool->count, pool->limit);
  EXPECT_EQ(vorta::host::LiveAllocations(), live) << "a container block lost or released twice";
  return 2 * int64_t(threads) * perThread;
}

void Stress(std::chrono::seconds length) {
  vorta::host::InitializeLinked(vorta::host::ProbedVariant());
  std::mt19937_64 rng(20261209);
  std::vector<Prepared> work;
  for (size_t k = 0; k < Kernels().size(); ++k)
    for (int32_t size : {40, 2000}) {
      Prepared p{k, Kernels()[k].make(rng, size), {}};
      vorta::host::JobOptions one;
      one.workers = 1;
      p.want = kcases::Run(Kernels()[k], p.c, one, false);
      work.push_back(std::move(p));
    }
  const int64_t liveBefore = vorta::host::LiveAllocations();
  const int64_t untrackedBefore = vorta::host::LiveUntrackedAllocations();

  Watchdog watchdog(length + std::chrono::seconds(120));
  const auto deadline = Clock::now() + length;
  std::atomic<int64_t> jobs{0}, wrong{0}, hammerRounds{0}, disposals{0};
  std::mutex privateRuns;  // the private record copies are the host's last run's
  // The tracking hammer checks the host's global count of tracked blocks, so
  // it excludes the kernels whose scratch is tracked host memory.
  std::shared_mutex trackedScratch;
  auto usesTrackedScratch = [](const kcases::Kernel& k) {
    return std::string(k.family) == "depthbins" || std::string(k.family) == "light_binning" ||
           std::string(k.family) == "matmul";
  };
  std::vector<std::thread> hosts;
  for (int h = 0; h < 3; ++h) {
    hosts.emplace_back([&, h] {
      std::mt19937_64 r(1000 + h);
      while (Clock::now() < deadline) {
        const Prepared& p = work[r() % work.size()];
        const vorta::host::JobOptions opt =
            vorta_test::Schedule(16, 1 + int32_t(r() % 9), r() % 2, r() % 2, r());
        std::unique_lock<std::mutex> lock(privateRuns, std::defer_lock);
        if (p.c.privateRecords) lock.lock();
        std::shared_lock<std::shared_mutex> tracked(trackedScratch, std::defer_lock);
        if (usesTrackedScratch(Kernels()[p.kernel])) tracked.lock();
        const kcases::Result got = kcases::Run(Kernels()[p.kernel], p.c, opt, r() % 2);
        if (!kcases::SameOutputs(p.want, got)) {
          ++wrong;
          ADD_FAILURE() << Kernels()[p.kernel].name << " " << p.c.text << ": wrong result";
        }
        ++jobs;
      }
    });
  }
  std::thread allocators([&] {
    uint64_t seed = 1;
    while (Clock::now() < deadline) {
      hammer::HammerArena(Allocator(VORTA_EXPORT_ALLOCATORS_ARENA_ALLOCATOR), 16, 2000, seed++);
      std::unique_lock<std::shared_mutex> alone(trackedScratch);
      hammer::HammerTracking(Allocator(VORTA_EXPORT_ALLOCATORS_TRACKING_ALLOCATOR), 16, 1500,
                             seed++);
      disposals += HammerContainers(16, 200, seed++);
      alone.unlock();
      ++hammerRounds;
    }
  });
  for (std::thread& t : hosts) t.join();
  allocators.join();
  printf("stress: %lld s, %lld jobs on 16 workers, %lld allocator and container rounds on 16 "
         "threads (%lld disposals), %lld wrong results\n",
         static_cast<long long>(length.count()), static_cast<long long>(jobs.load()),
         static_cast<long long>(hammerRounds.load()), static_cast<long long>(disposals.load()),
         static_cast<long long>(wrong.load()));
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_GT(jobs.load(), int64_t(work.size()));
  EXPECT_EQ(vorta::host::LiveAllocations(), liveBefore) << "allocations lost or released twice";
  EXPECT_EQ(vorta::host::LiveUntrackedAllocations(), untrackedBefore) << "scratch lost";
}

TEST(StressAllFamilies, SixteenWorkersForTwentySeconds) { Stress(std::chrono::seconds(20)); }
TEST(StressAllFamilies, LongTenMinutes) { Stress(std::chrono::seconds(600)); }

}  // namespace
