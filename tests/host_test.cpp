// Tests of the reference host: resolver, range dispenser and job system, abort
// guard, memory and shared memory, half conversion, maths and transform services.
#include "host/host.h"

#include <gtest/gtest.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <random>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "host/module.h"

using namespace vorta;
using namespace vorta::host;

namespace {

const char* const kServiceNames[] = {
    "Orvex.Jobs.LowLevel.Unsafe.JobsUtility::GetWorkStealingRange",
    "Orvex.Jobs.LowLevel.Unsafe.JobsUtility::get_ThreadIndexCount",
    "Orvex.Collections.LowLevel.Unsafe.UnsafeUtility::Malloc",
    "Orvex.Collections.LowLevel.Unsafe.UnsafeUtility::MallocTracked",
    "Orvex.Collections.LowLevel.Unsafe.UnsafeUtility::Free",
    "Orvex.Collections.LowLevel.Unsafe.UnsafeUtility::FreeTracked",
    "Orvex.Collections.LowLevel.Unsafe.UnsafeUtility::MemCpyReplicate",
    "Orvex.Vorta.LowLevel.VortaCompilerService::GetOrCreateSharedMemory",
    "vorta_abort",
    "OrvexEngine.Jobs.TransformAccess::GetLocalScale",
    "OrvexEngine.Jobs.TransformAccess::GetLocalToWorldMatrix",
    "OrvexEngine.Jobs.TransformAccess::GetPosition",
    "OrvexEngine.Jobs.TransformAccess::GetRotation",
    "OrvexEngine.Jobs.TransformAccessArray::GetSortedToUserIndex",
    "OrvexEngine.Jobs.TransformAccessArray::GetSortedTransformAccess",
    "OrvexEngine.Mathf::HalfToFloat",
    "OrvexEngine.Mathf::FloatToHalf",
    "OrvexEngine.Quaternion::Inverse_Injected",
    "OrvexEngine.Vector3::Slerp_Injected",
};

template <class T>
T Resolve(const char* name) {
  return reinterpret_cast<T>(Resolver()(name));
}

// Services as a kernel sees them: only through the resolver.
svc::GetWorkStealingRange RangeFn() {
  static const auto f = Resolve<svc::GetWorkStealingRange>(kServiceNames[0]);
  return f;
}
svc::Abort AbortFn() {
  static const auto f = Resolve<svc::Abort>("vorta_abort");
  return f;
}
svc::MallocTracked MallocTrackedFn() { return Resolve<svc::MallocTracked>(kServiceNames[3]); }
svc::FreeTracked FreeTrackedFn() { return Resolve<svc::FreeTracked>(kServiceNames[5]); }
svc::Malloc MallocFn() { return Resolve<svc::Malloc>(kServiceNames[2]); }
svc::Free FreeFn() { return Resolve<svc::Free>(kServiceNames[4]); }
svc::GetOrCreateSharedMemory SharedFn() {
  return Resolve<svc::GetOrCreateSharedMemory>(kServiceNames[7]);
}

bool Got(uintptr_t r) { return (r & 0xff) != 0; }

constexpr float kPi = 3.14159265358979f;

// ===========================================================================
// Resolver

TEST(Resolver, EveryServiceNameHasOneStableDistinctAddress) {
  ASSERT_EQ(ServiceCount(), 19u);
  std::set<void*> seen;
  for (const char* name : kServiceNames) {
    void* first = Resolver()(name);
    ASSERT_NE(first, nullptr) << name;
    for (int i = 0; i < 100; ++i) ASSERT_EQ(Resolver()(name), first) << name;
    // A copy of the name (different address, same text) resolves the same.
    std::string copy(name);
    EXPECT_EQ(Resolver()(copy.c_str()), first) << name;
    seen.insert(first);
  }
  EXPECT_EQ(seen.size(), 19u);
  for (size_t i = 0; i < ServiceCount(); ++i) EXPECT_STREQ(ServiceName(i), kServiceNames[i]);
}

TEST(Resolver, UnknownNamesGetACallableStubNeverNull) {
  void* a = Resolver()("Orvex.Jobs.LowLevel.Unsafe.JobsUtility::NoSuchService");
  void* b = Resolver()("vorta_abort ");  // trailing space: not the abort service
  void* c = Resolver()("");
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a, b);
  EXPECT_EQ(a, c);
  for (const char* name : kServiceNames) EXPECT_NE(Resolver()(name), a) << name;
}

TEST(Resolver, LogRecordsEveryNameInOrderWhileOn) {
  StopResolverLog();
  Resolver()(kServiceNames[1]);  // not recorded: the log is off
  StartResolverLog();
  Resolver()(kServiceNames[8]);
  Resolver()(kServiceNames[0]);
  Resolver()("unknown.service");
  Resolver()(kServiceNames[8]);
  std::vector<std::string> log = TakeResolverLog();
  EXPECT_EQ(log, (std::vector<std::string>{kServiceNames[8], kServiceNames[0], "unknown.service",
                                           kServiceNames[8]}));
  EXPECT_TRUE(TakeResolverLog().empty());  // taking clears

  // Concurrent resolution from several threads loses no entry.
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([t] {
      for (int i = 0; i < 250; ++i) Resolver()(kServiceNames[(t + i) % 19]);
    });
  for (auto& th : threads) th.join();
  EXPECT_EQ(TakeResolverLog().size(), 1000u);
  StopResolverLog();
  Resolver()(kServiceNames[2]);
  EXPECT_TRUE(TakeResolverLog().empty());
}

using ResolverDeathTest = ::testing::Test;
TEST(ResolverDeathTest, CallingAnUnknownServiceAbortsNamingIt) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(
      {
        auto f = Resolve<void(VORTA_MSABI*)()>("OrvexEngine.Nothing::Here");
        f();
      },
      "OrvexEngine.Nothing::Here");
}

// ===========================================================================
// Range dispenser and job system

// Shared state of the marking job; the job record points at it.
struct MarkState {
  int32_t length = 0;
  int32_t maxBatch = 0;  // largest nonempty batch allowed, 0: no limit
  std::unique_ptr<std::atomic<uint32_t>[]> hits;
  std::atomic<int> calls{0};
  std::atomic<int> callsPerIndex[64] = {};
  std::atomic<int> badBatches{0};  // begin > end, or outside [0, length)
  std::atomic<int> oversized{0};   // longer than maxBatch
  std::atomic<int> emptyBatches{0};
  std::atomic<int> nonemptyBatches{0};
  std::atomic<int> trueAfterFalse{0};  // a batch handed out after the call was told "done"
  std::atomic<int> firstCallFalse{0};
  std::atomic<int> badFixedRanges{0};

  explicit MarkState(int32_t n) : length(n), hits(new std::atomic<uint32_t>[n > 0 ? n : 1]) {
    for (int32_t i = 0; i < n; ++i) hits[i].store(0, std::memory_order_relaxed);
  }
};

struct MarkRecord {
  MarkState* state;
};

// The batch loop, marking each index handed out.
VORTA_MSABI void MarkEntry(void* job, void*, void* patch, BatchRanges* ranges, uint32_t jobIndex) {
  MarkState& s = *static_cast<MarkRecord*>(job)->state;
  s.calls.fetch_add(1);
  if (jobIndex < 64) s.callsPerIndex[jobIndex].fetch_add(1);
  if (patch) s.badBatches.fetch_add(1);
  auto range = RangeFn();
  int32_t b = -1, e = -1;
  bool first = true;
  while (Got(range(ranges, jobIndex, &b, &e))) {
    first = false;
    if (b > e || b < 0 || e > s.length) {
      s.badBatches.fetch_add(1);
      continue;
    }
    if (b == e) {
      s.emptyBatches.fetch_add(1);
      continue;
    }
    s.nonemptyBatches.fetch_add(1);
    if (s.maxBatch && e - b > s.maxBatch) s.oversized.fetch_add(1);
    for (int32_t i = b; i < e; ++i) s.hits[i].fetch_add(1, std::memory_order_relaxed);
  }
  if (first) s.firstCallFalse.fetch_add(1);
  if (Got(range(ranges, jobIndex, &b, &e))) s.trueAfterFalse.fetch_add(1);
}

enum class Mode { AutoBatch, FixedBatch5, RandomBatch7, EmptyBatches, RandomEmptyShuffled };

const char* ModeName(Mode m) {
  switch (m) {
    case Mode::AutoBatch:
      return "Auto";
    case Mode::FixedBatch5:
      return "Fixed5";
    case Mode::RandomBatch7:
      return "Random7";
    case Mode::EmptyBatches:
      return "Empty";
    case Mode::RandomEmptyShuffled:
      return "RandomEmptyShuffled";
  }
  return "?";
}

JobOptions OptionsFor(Mode m, int workers) {
  JobOptions o;
  o.workers = workers;
  o.seed = 12345 + workers;
  switch (m) {
    case Mode::AutoBatch:
      break;
    case Mode::FixedBatch5:
      o.batchSize = 5;
      break;
    case Mode::RandomBatch7:
      o.batchSize = 7;
      o.randomBatchSizes = true;
      break;
    case Mode::EmptyBatches:
      o.batchSize = 3;
      o.emptyBatches = true;
      break;
    case Mode::RandomEmptyShuffled:
      o.batchSize = 11;
      o.randomBatchSizes = true;
      o.emptyBatches = true;
      o.shuffleWorkers = true;
      break;
  }
  return o;
}

class DispenserTest : public ::testing::TestWithParam<std::tuple<int, int32_t, Mode>> {};

TEST_P(DispenserTest, HandsEveryIndexOutExactlyOnce) {
  const auto [workers, length, mode] = GetParam();
  JobOptions opt = OptionsFor(mode, workers);
  MarkState s(length);
  int32_t autoBatch = std::max<int32_t>(64, length / (workers * 8));
  int32_t bs = opt.batchSize ? opt.batchSize : autoBatch;
  s.maxBatch = opt.randomBatchSizes ? 2 * bs : bs;
  MarkRecord rec{&s};
  RunJob(&MarkEntry, &rec, sizeof rec, length, opt);

  EXPECT_EQ(s.calls.load(), workers);
  for (int j = 0; j < workers; ++j) EXPECT_EQ(s.callsPerIndex[j].load(), 1) << "job index " << j;
  int64_t wrong = 0;
  int32_t firstWrong = -1;
  for (int32_t i = 0; i < length; ++i) {
    if (s.hits[i].load() != 1) {
      if (firstWrong < 0) firstWrong = i;
      ++wrong;
    }
  }
  EXPECT_EQ(wrong, 0) << "first index not handed out exactly once: " << firstWrong;
  EXPECT_EQ(s.badBatches.load(), 0);
  EXPECT_EQ(s.oversized.load(), 0);
  EXPECT_EQ(s.trueAfterFalse.load(), 0);
  EXPECT_EQ(LastJobBatchCount(), s.emptyBatches.load() + s.nonemptyBatches.load());
  if (opt.emptyBatches && length > 0) {
    // Every share, even an empty one, gets empty batches.
    EXPECT_GE(s.emptyBatches.load(), 2 * workers);
  } else {
    EXPECT_EQ(s.emptyBatches.load(), 0);
  }
  if (!opt.randomBatchSizes && !opt.emptyBatches) {
    // Stealing moves whole batches, so the batch count is fixed by the cut.
    int64_t expected = 0;
    for (int w = 0; w < workers; ++w) {
      int64_t b = int64_t(length) * w / workers, e = int64_t(length) * (w + 1) / workers;
      expected += (e - b + bs - 1) / bs;
    }
    EXPECT_EQ(LastJobBatchCount(), expected);
  }
  if (length == 0) {
    EXPECT_EQ(s.firstCallFalse.load(), workers);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Jobs, DispenserTest,
    ::testing::Combine(::testing::Values(1, 2, 3, 8), ::testing::Values(0, 1, 7, 1000003),
                       ::testing::Values(Mode::AutoBatch, Mode::FixedBatch5, Mode::RandomBatch7,
                                         Mode::EmptyBatches, Mode::RandomEmptyShuffled)),
    [](const auto& info) {
      return "W" + std::to_string(std::get<0>(info.param)) + "_L" +
             std::to_string(std::get<1>(info.param)) + "_" + ModeName(std::get<2>(info.param));
    });

// With one worker there is no one to steal from: batches come in index order,
// back to back, each of the fixed size but the last.
struct OrderRecord {
  std::vector<std::pair<int32_t, int32_t>>* batches;
};
VORTA_MSABI void OrderEntry(void* job, void*, void*, BatchRanges* ranges, uint32_t jobIndex) {
  auto* out = static_cast<OrderRecord*>(job)->batches;
  int32_t b, e;
  while (Got(RangeFn()(ranges, jobIndex, &b, &e))) out->push_back({b, e});
}

TEST(JobSystem, SingleWorkerTakesItsShareInOrder) {
  std::vector<std::pair<int32_t, int32_t>> batches;
  OrderRecord rec{&batches};
  JobOptions opt;
  opt.workers = 1;
  opt.batchSize = 10;
  RunJob(&OrderEntry, &rec, sizeof rec, 95, opt);
  ASSERT_EQ(batches.size(), 10u);
  for (size_t k = 0; k < batches.size(); ++k) {
    EXPECT_EQ(batches[k].first, int32_t(10 * k));
    EXPECT_EQ(batches[k].second, std::min<int32_t>(int32_t(10 * k + 10), 95));
  }
  EXPECT_EQ(LastJobStealCount(), 0);
}

// Job index `slow` takes one batch and then waits until another call has been
// told that all work is gone: everything else, its own share included, must
// have been stolen by then.
struct SlowState {
  uint32_t slow;
  int32_t length;
  std::unique_ptr<std::atomic<uint32_t>[]> hits;
  std::unique_ptr<std::atomic<int32_t>[]> takenBy;  // job index that processed i
  std::atomic<bool> slowStarted{false};
  std::atomic<bool> someoneFinished{false};
  std::atomic<bool> timedOut{false};
};
VORTA_MSABI void SlowEntry(void* job, void*, void*, BatchRanges* ranges, uint32_t jobIndex) {
  SlowState& s = **static_cast<SlowState**>(job);
  int32_t b, e;
  bool waited = false;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  // The others start only once the slow call holds its first batch, so that
  // batch is the first of its own share.
  while (jobIndex != s.slow && !s.slowStarted.load()) {
    if (std::chrono::steady_clock::now() > deadline) {
      s.timedOut = true;
      break;
    }
    std::this_thread::yield();
  }
  while (Got(RangeFn()(ranges, jobIndex, &b, &e))) {
    for (int32_t i = b; i < e; ++i) {
      s.hits[i].fetch_add(1);
      s.takenBy[i].store(int32_t(jobIndex));
    }
    if (jobIndex == s.slow && !waited) {
      waited = true;
      s.slowStarted = true;
      while (!s.someoneFinished.load()) {
        if (std::chrono::steady_clock::now() > deadline) {
          s.timedOut = true;
          break;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
      }
    }
  }
  if (jobIndex != s.slow) s.someoneFinished = true;
}

TEST(JobSystem, IdleWorkersStealFromASlowWorkersShare) {
  for (int workers : {2, 3, 8}) {
    SlowState s;
    s.slow = uint32_t(workers) - 1;
    s.length = 20011;
    s.hits.reset(new std::atomic<uint32_t>[s.length]);
    s.takenBy.reset(new std::atomic<int32_t>[s.length]);
    for (int32_t i = 0; i < s.length; ++i) {
      s.hits[i] = 0;
      s.takenBy[i] = -1;
    }
    SlowState* rec = &s;
    JobOptions opt;
    opt.workers = workers;
    opt.batchSize = 13;
    opt.shuffleWorkers = workers == 8;
    RunJob(&SlowEntry, &rec, sizeof rec, s.length, opt);
    ASSERT_FALSE(s.timedOut.load()) << workers;
    int64_t bySlow = 0, wrong = 0;
    for (int32_t i = 0; i < s.length; ++i) {
      wrong += s.hits[i].load() != 1;
      bySlow += s.takenBy[i].load() == int32_t(s.slow);
    }
    EXPECT_EQ(wrong, 0) << workers;
    // The slow call kept only the first batch of its own share.
    EXPECT_EQ(bySlow, 13) << workers;
    int32_t slowShareBegin = int32_t(int64_t(s.length) * s.slow / workers);
    for (int32_t i = slowShareBegin; i < slowShareBegin + 13; ++i)
      EXPECT_EQ(s.takenBy[i].load(), int32_t(s.slow)) << i;
    int32_t slowShareEnd = int32_t(int64_t(s.length) * (s.slow + 1) / workers);
    int64_t shareBatches = (slowShareEnd - slowShareBegin + 12) / 13;
    EXPECT_GE(LastJobStealCount(), shareBatches - 1) << workers;
  }
}

TEST(JobSystem, EmptyIndexSpaceFirstCallReturnsFalse) {
  for (int workers : {1, 2, 5}) {
    MarkState s(0);
    MarkRecord rec{&s};
    JobOptions opt;
    opt.workers = workers;
    RunJob(&MarkEntry, &rec, sizeof rec, 0, opt);
    EXPECT_EQ(s.firstCallFalse.load(), workers);
    EXPECT_EQ(s.calls.load(), workers);
    EXPECT_EQ(LastJobBatchCount(), 0);
  }
}

// A job that owns one fixed range per job index reads the (begin, end) pairs
// at offset 16 of the ranges descriptor.
struct FixedState {
  std::atomic<int32_t> begins[16];
  std::atomic<int32_t> ends[16];
};
VORTA_MSABI void FixedEntry(void* job, void*, void*, BatchRanges* ranges, uint32_t jobIndex) {
  FixedState& s = **static_cast<FixedState**>(job);
  const int32_t* pairs;
  memcpy(&pairs, reinterpret_cast<const char*>(ranges) + 16, sizeof pairs);
  s.begins[jobIndex] = pairs[2 * jobIndex];
  s.ends[jobIndex] = pairs[2 * jobIndex + 1];
}

TEST(JobSystem, FixedRangePairsTileTheIndexSpace) {
  for (int workers : {1, 3, 7}) {
    FixedState s;
    FixedState* rec = &s;
    JobOptions opt;
    opt.workers = workers;
    RunJob(&FixedEntry, &rec, sizeof rec, 1001, opt);
    EXPECT_EQ(s.begins[0].load(), 0);
    EXPECT_EQ(s.ends[workers - 1].load(), 1001);
    for (int j = 0; j < workers; ++j) {
      EXPECT_LE(s.begins[j].load(), s.ends[j].load());
      if (j) {
        EXPECT_EQ(s.begins[j].load(), s.ends[j - 1].load());
      }
    }
  }
}

// Private records: each call sees its own copy, the caller's record is untouched.
struct PrivateRecord {
  uint32_t tag;
  uint32_t writtenBy;
  uint64_t filler[5];
};
struct PrivateShared {
  std::atomic<void*> seen[16];
  std::atomic<int> badContents{0};
  bool writeRecord = true;
};
VORTA_MSABI void PrivateEntry(void* job, void* additional, void*, BatchRanges* ranges,
                              uint32_t jobIndex) {
  auto* r = static_cast<PrivateRecord*>(job);
  auto* shared = static_cast<PrivateShared*>(additional);
  if (r->tag != 0xC0FFEEu || r->writtenBy != 0 || r->filler[4] != 77) shared->badContents++;
  shared->seen[jobIndex] = job;
  if (!shared->writeRecord) return;  // the record is shared: only look at it
  int32_t b, e;
  while (Got(RangeFn()(ranges, jobIndex, &b, &e))) r->filler[0] += uint64_t(e - b);
  r->writtenBy = jobIndex + 1;
}

TEST(JobSystem, PrivateRecordsAreDistinctCopiesNotCopiedBack) {
  const int workers = 5;
  PrivateRecord rec{0xC0FFEEu, 0, {0, 0, 0, 0, 77}};
  PrivateShared shared;
  JobOptions opt;
  opt.workers = workers;
  opt.privateRecords = true;
  opt.batchSize = 7;
  RunJob(&PrivateEntry, &rec, sizeof rec, 999, opt, &shared);
  EXPECT_EQ(shared.badContents.load(), 0);
  std::set<void*> ptrs;
  for (int j = 0; j < workers; ++j) {
    void* p = shared.seen[j].load();
    EXPECT_NE(p, static_cast<void*>(&rec));
    ptrs.insert(p);
  }
  EXPECT_EQ(ptrs.size(), size_t(workers));
  EXPECT_EQ(rec.writtenBy, 0u);
  EXPECT_EQ(rec.filler[0], 0u);
  auto copies = LastPrivateRecords();
  ASSERT_EQ(copies.size(), size_t(workers));
  uint64_t total = 0;
  for (int j = 0; j < workers; ++j) {
    ASSERT_EQ(copies[j].size(), sizeof rec);
    PrivateRecord c;
    memcpy(&c, copies[j].data(), sizeof c);
    EXPECT_EQ(c.writtenBy, uint32_t(j + 1));
    EXPECT_EQ(c.tag, 0xC0FFEEu);
    total += c.filler[0];
  }
  EXPECT_EQ(total, 999u);

  // Without private records every call gets the caller's record itself.
  PrivateShared shared2;
  shared2.writeRecord = false;
  opt.privateRecords = false;
  RunJob(&PrivateEntry, &rec, sizeof rec, 0, opt, &shared2);
  for (int j = 0; j < workers; ++j) EXPECT_EQ(shared2.seen[j].load(), static_cast<void*>(&rec));
}

struct Barrier {
  std::atomic<int> arrived{0};
  std::atomic<bool> timedOut{false};
  int workers;
};
VORTA_MSABI void BarrierEntry(void* job, void*, void*, BatchRanges*, uint32_t) {
  Barrier& b = **static_cast<Barrier**>(job);
  b.arrived++;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (b.arrived.load() < b.workers) {
    if (std::chrono::steady_clock::now() > deadline) {
      b.timedOut = true;
      return;
    }
    std::this_thread::yield();
  }
}

TEST(JobSystem, CallsOfOneJobRunConcurrently) {
  // Every call waits until all calls have started: this finishes only if the
  // pool really runs `workers` calls at the same time.
  for (int workers : {2, 6, 12}) {
    Barrier bar;
    bar.workers = workers;
    Barrier* rec = &bar;
    JobOptions opt;
    opt.workers = workers;
    RunJob(&BarrierEntry, &rec, sizeof rec, 10, opt);
    EXPECT_FALSE(bar.timedOut.load()) << workers;
  }
}

TEST(JobSystem, JobsFromSeveralThreadsAtOnce) {
  std::vector<std::thread> threads;
  std::atomic<int> failures{0};
  for (int t = 0; t < 3; ++t)
    threads.emplace_back([t, &failures] {
      for (int round = 0; round < 5; ++round) {
        int32_t length = 5003 + 17 * t + round;
        MarkState s(length);
        MarkRecord rec{&s};
        JobOptions opt;
        opt.workers = 3;
        opt.batchSize = 9;
        opt.randomBatchSizes = (round & 1) != 0;
        opt.seed = uint64_t(t * 100 + round);
        RunJob(&MarkEntry, &rec, sizeof rec, length, opt);
        for (int32_t i = 0; i < length; ++i)
          if (s.hits[i].load() != 1) {
            failures++;
            break;
          }
      }
    });
  for (auto& th : threads) th.join();
  EXPECT_EQ(failures.load(), 0);
}

VORTA_MSABI void CountEntry(void* job, void*, void*, BatchRanges*, uint32_t) {
  auto c = Resolve<svc::GetThreadIndexCount>(kServiceNames[1]);
  (*static_cast<std::atomic<uint32_t>**>(job))->fetch_add(c());
}

TEST(JobSystem, ThreadIndexCountIsSettable) {
  auto count = Resolve<svc::GetThreadIndexCount>(kServiceNames[1]);
  EXPECT_EQ(count(), uint32_t(DefaultWorkerCount()));
  EXPECT_GE(DefaultWorkerCount(), 2);
  SetThreadIndexCount(7);
  EXPECT_EQ(count(), 7u);
  // Callable from worker threads as well.
  std::atomic<uint32_t> seen{0};
  std::atomic<uint32_t>* rec = &seen;
  JobOptions opt;
  opt.workers = 3;
  RunJob(&CountEntry, &rec, sizeof rec, 0, opt);
  EXPECT_EQ(seen.load(), 21u);
  SetThreadIndexCount(0);
  EXPECT_EQ(count(), uint32_t(DefaultWorkerCount()));
}

// ===========================================================================
// Abort

// A job whose call at job index `failing` takes one batch and aborts; the
// others run the batch loop to the end.
struct AbortState {
  uint32_t failing;  // 0xffffffff: every call aborts
  int32_t length;
  std::unique_ptr<std::atomic<uint32_t>[]> hits;
  std::atomic<int32_t> abortedBegin{-1};
  std::atomic<int32_t> abortedEnd{-1};
  std::atomic<int> resumed{0};
  std::atomic<int> finished{0};
};
VORTA_MSABI void AbortEntry(void* job, void*, void*, BatchRanges* ranges, uint32_t jobIndex) {
  AbortState& s = **static_cast<AbortState**>(job);
  int32_t b = 0, e = 0;
  if (s.failing == 0xffffffffu || jobIndex == s.failing) {
    if (Got(RangeFn()(ranges, jobIndex, &b, &e))) {
      s.abortedBegin = b;
      s.abortedEnd = e;
    }
    char message[64];
    snprintf(message, sizeof message, "failed at job index %u", jobIndex);
    AbortFn()("System.InvalidOperationException",
              s.failing == 0xffffffffu
                  ? message
                  : "UnsafeQueue has yet to be created or has been destroyed!");
    s.resumed++;  // never reached
    for (int32_t i = b; i < e; ++i) s.hits[i].fetch_add(1);
    return;
  }
  while (Got(RangeFn()(ranges, jobIndex, &b, &e)))
    for (int32_t i = b; i < e; ++i) s.hits[i].fetch_add(1);
  s.finished++;
}

TEST(Abort, FromAWorkerPropagatesAndOtherWorkersFinish) {
  for (uint32_t failing : {0u, 2u, 3u}) {
    AbortState s;
    s.failing = failing;
    s.length = 100003;
    s.hits.reset(new std::atomic<uint32_t>[s.length]);
    for (int32_t i = 0; i < s.length; ++i) s.hits[i] = 0;
    AbortState* rec = &s;
    JobOptions opt;
    opt.workers = 4;
    opt.batchSize = 101;
    opt.shuffleWorkers = failing == 3;
    try {
      RunJob(&AbortEntry, &rec, sizeof rec, s.length, opt);
      ADD_FAILURE() << "RunJob returned normally";
    } catch (const KernelAbort& a) {
      EXPECT_EQ(a.type, "System.InvalidOperationException");
      EXPECT_EQ(a.message, "UnsafeQueue has yet to be created or has been destroyed!");
      EXPECT_STREQ(a.what(),
                   "System.InvalidOperationException: UnsafeQueue has yet to be created or has "
                   "been destroyed!");
    }
    EXPECT_EQ(s.resumed.load(), 0);
    EXPECT_EQ(s.finished.load(), 3);
    int32_t ab = s.abortedBegin, ae = s.abortedEnd;
    int64_t wrong = 0;
    for (int32_t i = 0; i < s.length; ++i) {
      uint32_t want = (i >= ab && i < ae) ? 0u : 1u;
      wrong += s.hits[i].load() != want;
    }
    EXPECT_EQ(wrong, 0) << "failing job index " << failing;
  }
  // The workers that carried the abort are still good for the next job.
  MarkState m(77777);
  MarkRecord rec{&m};
  JobOptions opt;
  opt.workers = 4;
  RunJob(&MarkEntry, &rec, sizeof rec, m.length, opt);
  int64_t wrong = 0;
  for (int32_t i = 0; i < m.length; ++i) wrong += m.hits[i].load() != 1;
  EXPECT_EQ(wrong, 0);
}

TEST(Abort, EveryCallAbortingGivesOneKernelAbort) {
  AbortState s;
  s.failing = 0xffffffffu;
  s.length = 10;
  s.hits.reset(new std::atomic<uint32_t>[s.length]);
  for (int32_t i = 0; i < s.length; ++i) s.hits[i] = 0;
  AbortState* rec = &s;
  JobOptions opt;
  opt.workers = 6;
  opt.batchSize = 1;
  try {
    RunJob(&AbortEntry, &rec, sizeof rec, s.length, opt);
    ADD_FAILURE() << "RunJob returned normally";
  } catch (const KernelAbort& a) {
    EXPECT_EQ(a.type, "System.InvalidOperationException");
    EXPECT_EQ(a.message.rfind("failed at job index ", 0), 0u) << a.message;
  }
  EXPECT_EQ(s.resumed.load(), 0);
}

// Kernel-like code: ms_abi frames that hold values in callee-saved registers
// when the abort comes.
VORTA_MSABI __attribute__((noinline)) int DeepKernel(int depth, const char* message) {
  if (depth == 0) {
    AbortFn()("System.ArgumentException", message);
    return -1000;
  }
  volatile int local = depth * 3;
  int r = DeepKernel(depth - 1, message);
  return r + local;
}

TEST(Abort, CallGuardedThrowsAfterTheKernelIsLeft) {
  bool after = false;
  try {
    CallGuarded([&] {
      DeepKernel(5, "fingerId must be a valid value!");
      after = true;
    });
    ADD_FAILURE() << "no exception";
  } catch (const KernelAbort& a) {
    EXPECT_EQ(a.type, "System.ArgumentException");
    EXPECT_EQ(a.message, "fingerId must be a valid value!");
  }
  EXPECT_FALSE(after);

  // An empty message and a normal return.
  try {
    CallGuarded([] { AbortFn()("System.ArgumentOutOfRangeException", ""); });
    ADD_FAILURE() << "no exception";
  } catch (const KernelAbort& a) {
    EXPECT_EQ(a.type, "System.ArgumentOutOfRangeException");
    EXPECT_EQ(a.message, "");
  }
  int value = 0;
  EXPECT_NO_THROW(CallGuarded([&] { value = 5; }));
  EXPECT_EQ(value, 5);
}

TEST(Abort, HostStateSurvivesManyAborts) {
  // Values the host keeps across guarded calls (likely in callee-saved
  // registers) must be intact after each longjmp.
  uint64_t a = 1, b = 2, c = 3;
  int caught = 0;
  for (int i = 0; i < 2000; ++i) {
    a = a * 6364136223846793005ull + 1442695040888963407ull;
    b += a >> 7;
    c ^= b + uint64_t(i);
    try {
      CallGuarded([&] { DeepKernel(i % 7, "x"); });
    } catch (const KernelAbort&) {
      ++caught;
    }
  }
  uint64_t ra = 1, rb = 2, rc = 3;
  for (int i = 0; i < 2000; ++i) {
    ra = ra * 6364136223846793005ull + 1442695040888963407ull;
    rb += ra >> 7;
    rc ^= rb + uint64_t(i);
  }
  EXPECT_EQ(caught, 2000);
  EXPECT_EQ(a, ra);
  EXPECT_EQ(b, rb);
  EXPECT_EQ(c, rc);
}

TEST(Abort, NestedGuardsCatchTheirOwnAborts) {
  std::string inner, outer;
  try {
    CallGuarded([&] {
      try {
        CallGuarded([] { AbortFn()("Inner", "one"); });
      } catch (const KernelAbort& a) {
        inner = a.message;
      }
      // A C++ exception leaving an inner guard restores the outer guard.
      try {
        CallGuarded([] { throw std::runtime_error("host error"); });
      } catch (const std::runtime_error&) {
      }
      AbortFn()("Outer", "two");
    });
  } catch (const KernelAbort& a) {
    outer = a.type + "/" + a.message;
  }
  EXPECT_EQ(inner, "one");
  EXPECT_EQ(outer, "Outer/two");
}

TEST(Abort, AbortOnTheCallingThreadOfASingleWorkerJob) {
  AbortState s;
  s.failing = 0;
  s.length = 50;
  s.hits.reset(new std::atomic<uint32_t>[s.length]);
  for (int32_t i = 0; i < s.length; ++i) s.hits[i] = 0;
  AbortState* rec = &s;
  JobOptions opt;
  opt.workers = 1;
  EXPECT_THROW(RunJob(&AbortEntry, &rec, sizeof rec, s.length, opt), KernelAbort);
  EXPECT_EQ(s.resumed.load(), 0);
  EXPECT_EQ(s.abortedBegin.load(), 0);
}

VORTA_MSABI void ThrowingEntry(void* job, void*, void*, BatchRanges*, uint32_t j) {
  (*static_cast<std::atomic<int>**>(job))->fetch_add(1);
  if (j == 1) throw std::logic_error("test entry");
}

TEST(Abort, CppExceptionFromAJobCallIsRethrownAfterAllCalls) {
  std::atomic<int> done{0};
  std::atomic<int>* rec = &done;
  JobOptions opt;
  opt.workers = 3;
  EXPECT_THROW(RunJob(&ThrowingEntry, &rec, sizeof rec, 0, opt), std::logic_error);
  EXPECT_EQ(done.load(), 3);
}

using AbortDeathTest = ::testing::Test;
TEST(AbortDeathTest, WithoutAGuardPrintsTypeAndMessageAndDies) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(AbortFn()("System.InvalidOperationException", "no guard here"),
               "System.InvalidOperationException.*no guard here");
}

// ===========================================================================
// Memory

TEST(Memory, TrackedAllocationsHonourAlignmentAndAreLogged) {
  StartMemoryLog();
  TakeMemoryLog();
  int64_t live = LiveAllocations();
  const uint32_t handle = 3u | (5u << 16);
  std::vector<void*> ptrs;
  std::vector<uint32_t> aligns;
  for (uint32_t a = 16; a <= 4096; a *= 2) {
    void* p = MallocTrackedFn()(1000 + a, a, handle, 0);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % a, 0u) << a;
    memset(p, 0xAB, 1000 + a);  // the whole block is usable
    ptrs.push_back(p);
    aligns.push_back(a);
  }
  EXPECT_EQ(LiveAllocations(), live + int64_t(ptrs.size()));
  for (void* p : ptrs) FreeTrackedFn()(p, handle);
  EXPECT_EQ(LiveAllocations(), live);

  std::vector<MemoryEvent> log = TakeMemoryLog();
  ASSERT_EQ(log.size(), 2 * ptrs.size());
  for (size_t i = 0; i < ptrs.size(); ++i) {
    EXPECT_EQ(log[i].kind, MemoryEvent::MallocTracked);
    EXPECT_EQ(log[i].ptr, ptrs[i]);
    EXPECT_EQ(log[i].size, 1000u + aligns[i]);
    EXPECT_EQ(log[i].alignment, aligns[i]);
    EXPECT_EQ(log[i].allocator, handle);
    const MemoryEvent& f = log[ptrs.size() + i];
    EXPECT_EQ(f.kind, MemoryEvent::FreeTracked);
    EXPECT_EQ(f.ptr, ptrs[i]);
    EXPECT_EQ(f.size, 1000u + aligns[i]);
    EXPECT_EQ(f.allocator, handle);
  }
  StopMemoryLog();
}

TEST(Memory, UntrackedAllocationsSmallAlignmentsZeroFlagAndNullRelease) {
  StartMemoryLog();
  TakeMemoryLog();
  int64_t liveU = LiveUntrackedAllocations();
  int64_t liveT = LiveAllocations();
  void* p = MallocFn()(200, 64, 2);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 64, 0u);
  EXPECT_EQ(LiveUntrackedAllocations(), liveU + 1);
  EXPECT_EQ(LiveAllocations(), liveT);  // not a tracked allocation
  FreeFn()(p, 2);
  EXPECT_EQ(LiveUntrackedAllocations(), liveU);

  // Alignments below a pointer's size and zero-size requests still work.
  for (uint32_t a : {0u, 1u, 2u, 4u, 8u}) {
    void* q = MallocTrackedFn()(0, a, 4, 0);
    ASSERT_NE(q, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(q) % (a ? a : 1), 0u);
    FreeTrackedFn()(q, 4);
  }
  // A nonzero fourth argument asks for zeroed memory.
  auto* z = static_cast<uint8_t*>(MallocTrackedFn()(4096, 16, 4, 1));
  bool allZero = true;
  for (int i = 0; i < 4096; ++i) allZero = allZero && z[i] == 0;
  EXPECT_TRUE(allZero);
  FreeTrackedFn()(z, 4);
  FreeTrackedFn()(nullptr, 4);  // releasing null is a no-op, but it is logged

  std::vector<MemoryEvent> log = TakeMemoryLog();
  ASSERT_EQ(log.size(), 2u + 10u + 2u + 1u);
  EXPECT_EQ(log[0].kind, MemoryEvent::Malloc);
  EXPECT_EQ(log[0].allocator, 2u);
  EXPECT_EQ(log[0].alignment, 64u);
  EXPECT_EQ(log[1].kind, MemoryEvent::Free);
  EXPECT_EQ(log[1].ptr, p);
  EXPECT_EQ(log.back().kind, MemoryEvent::FreeTracked);
  EXPECT_EQ(log.back().ptr, nullptr);
  EXPECT_EQ(LiveAllocations(), liveT);
  StopMemoryLog();
}

VORTA_MSABI void AllocEntry(void* job, void*, void*, BatchRanges* ranges, uint32_t j) {
  auto& bad = **static_cast<std::atomic<int>**>(job);
  auto m = MallocTrackedFn();
  auto f = FreeTrackedFn();
  int32_t b, e;
  while (Got(RangeFn()(ranges, j, &b, &e)))
    for (int32_t i = b; i < e; ++i) {
      uint32_t align = 16u << (i % 8);
      auto* p = static_cast<uint8_t*>(m(uint64_t(i % 300) + 1, align, 7, 0));
      if (reinterpret_cast<uintptr_t>(p) % align) bad++;
      p[0] = uint8_t(i);
      f(p, 7);
    }
}

TEST(Memory, ConcurrentAllocationFromWorkers) {
  StartMemoryLog();
  TakeMemoryLog();
  int64_t live = LiveAllocations();
  std::atomic<int> misaligned{0};
  std::atomic<int>* rec = &misaligned;
  JobOptions opt;
  opt.workers = 4;
  opt.batchSize = 3;
  RunJob(&AllocEntry, &rec, sizeof rec, 2000, opt);
  EXPECT_EQ(misaligned.load(), 0);
  EXPECT_EQ(LiveAllocations(), live);
  std::vector<MemoryEvent> log = TakeMemoryLog();
  EXPECT_EQ(log.size(), 4000u);
  size_t mallocs = 0;
  for (const MemoryEvent& ev : log) mallocs += ev.kind == MemoryEvent::MallocTracked;
  EXPECT_EQ(mallocs, 2000u);
  StopMemoryLog();
}

using MemoryDeathTest = ::testing::Test;
TEST(MemoryDeathTest, DoubleReleaseIsCaught) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(
      {
        void* p = MallocTrackedFn()(16, 16, 4, 0);
        FreeTrackedFn()(p, 4);
        FreeTrackedFn()(p, 4);
      },
      "did not hand out, or a second release");
}

TEST(Memory, MemCpyReplicate) {
  auto rep = Resolve<svc::MemCpyReplicate>(kServiceNames[6]);
  for (uint32_t size : {1u, 3u, 12u, 64u}) {
    for (uint32_t count : {0u, 1u, 2u, 7u, 1000u}) {
      std::vector<uint8_t> src(size);
      for (uint32_t i = 0; i < size; ++i) src[i] = uint8_t(i * 37 + size);
      std::vector<uint8_t> dst(size * count + 16, 0xEE);
      rep(dst.data(), src.data(), size, count);
      for (uint32_t k = 0; k < count; ++k)
        ASSERT_EQ(memcmp(dst.data() + k * size, src.data(), size), 0)
            << "size " << size << " copy " << k;
      for (size_t i = size * count; i < dst.size(); ++i)
        ASSERT_EQ(dst[i], 0xEE) << "wrote past the end, size " << size << " count " << count;
    }
  }
}

TEST(SharedMemory, SameKeySameZeroedBlockOtherKeyOtherBlock) {
  auto shared = SharedFn();
  int calls = SharedMemoryCallCount();
  uint8_t key[16] = {0x83, 0x8f, 0x3b, 0x26, 0x8b, 0xcb, 0xfc, 0xed};
  key[15] = 0x42;  // not a key the module uses
  auto* a = static_cast<uint8_t*>(shared(key, 0x1000, 4096));
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(a) % 4096, 0u);
  bool zero = true;
  for (int i = 0; i < 0x1000; ++i) zero = zero && a[i] == 0;
  EXPECT_TRUE(zero);
  a[5] = 9;
  uint8_t keyCopy[16];
  memcpy(keyCopy, key, 16);
  auto* b = static_cast<uint8_t*>(shared(keyCopy, 0x1000, 4096));
  EXPECT_EQ(a, b);
  EXPECT_EQ(b[5], 9);  // contents persist
  for (int byte = 0; byte < 16; ++byte) {
    uint8_t other[16];
    memcpy(other, key, 16);
    other[byte] ^= 1;
    EXPECT_NE(shared(other, 16, 16), a) << "key byte " << byte;
  }
  EXPECT_EQ(SharedMemoryCallCount(), calls + 18);

  // Racing first calls for one new key all get the same block.
  uint8_t raceKey[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 0x99};
  std::vector<void*> got(8);
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) threads.emplace_back([&, t] { got[t] = shared(raceKey, 256, 64); });
  for (auto& th : threads) th.join();
  for (int t = 1; t < 8; ++t) EXPECT_EQ(got[t], got[0]);
}

// ===========================================================================
// Half conversion

uint32_t Bits(float f) {
  uint32_t u;
  memcpy(&u, &f, 4);
  return u;
}
float FromBits(uint32_t u) {
  float f;
  memcpy(&f, &u, 4);
  return f;
}

// The value of a finite half pattern, in double, straight from the definition.
double HalfValue(uint16_t h) {
  int e = (h >> 10) & 31;
  int m = h & 1023;
  double v = e == 0 ? ldexp(double(m), -24) : ldexp(1.0 + m / 1024.0, e - 15);
  return (h & 0x8000) ? -v : v;
}

// Nearest half by search over all finite magnitudes, ties to the even pattern.
uint16_t RefFloatToHalf(float f) {
  uint16_t sign = (Bits(f) >> 16) & 0x8000;
  double a = fabs(double(f));
  if (a >= 65520.0) return sign | 0x7c00;
  uint32_t lo = 0, hi = 0x7bff;  // largest pattern with value <= a
  while (lo < hi) {
    uint32_t mid = (lo + hi + 1) / 2;
    if (HalfValue(uint16_t(mid)) <= a)
      lo = mid;
    else
      hi = mid - 1;
  }
  if (lo == 0x7bff) return sign | 0x7bff;  // below 65520
  double dlo = a - HalfValue(uint16_t(lo)), dhi = HalfValue(uint16_t(lo + 1)) - a;
  uint32_t pick = dlo < dhi ? lo : (dhi < dlo ? lo + 1 : ((lo & 1) ? lo + 1 : lo));
  return uint16_t(sign | pick);
}

TEST(Half, EveryHalfPatternToFloat) {
  auto toFloat = Resolve<svc::HalfToFloat>(kServiceNames[15]);
  for (uint32_t h = 0; h < 65536; ++h) {
    float f = HalfBitsToFloat(uint16_t(h));
    ASSERT_EQ(Bits(toFloat(h)), Bits(f)) << std::hex << h;
    int e = (h >> 10) & 31, m = h & 1023;
    if (e == 31) {
      if (m == 0) {
        ASSERT_TRUE(isinf(f)) << std::hex << h;
        ASSERT_EQ(signbit(f), (h & 0x8000) != 0);
      } else {
        ASSERT_TRUE(isnan(f)) << std::hex << h;
        ASSERT_EQ(signbit(f), (h & 0x8000) != 0);
        // The payload moves to the top of the float mantissa.
        ASSERT_EQ((Bits(f) >> 13) & 0x3ff, uint32_t(m)) << std::hex << h;
      }
      continue;
    }
    ASSERT_EQ(double(f), HalfValue(uint16_t(h))) << std::hex << h;
    ASSERT_EQ(signbit(f), (h & 0x8000) != 0) << std::hex << h;
  }
}

TEST(Half, RoundTripIsExactForEveryNonNaNAndNaNStaysNaN) {
  auto toHalf = Resolve<svc::FloatToHalf>(kServiceNames[16]);
  for (uint32_t h = 0; h < 65536; ++h) {
    float f = HalfBitsToFloat(uint16_t(h));
    uint16_t back = FloatToHalfBits(f);
    ASSERT_EQ(toHalf(f), uint32_t(back)) << std::hex << h;
    bool nan = ((h >> 10) & 31) == 31 && (h & 1023);
    if (!nan) {
      ASSERT_EQ(back, h) << std::hex << h;
    } else {
      ASSERT_EQ(back & 0x7c00, 0x7c00) << std::hex << h;
      ASSERT_NE(back & 0x3ff, 0) << std::hex << h;
      ASSERT_NE(back & 0x200, 0) << "NaN comes back quiet " << std::hex << h;
      ASSERT_EQ(back & 0x8000, h & 0x8000);
      if (h & 0x200) {
        ASSERT_EQ(back, h) << "quiet NaN payload kept " << std::hex << h;
      }
    }
  }
}

TEST(Half, FloatToHalfRoundsToNearestEven) {
  // Midpoints between neighbouring halves are exact ties; one float ulp either
  // side is not.
  for (uint32_t h = 0; h < 0x7bff; ++h) {
    double lo = HalfValue(uint16_t(h)), hi = HalfValue(uint16_t(h + 1));
    float mid = float((lo + hi) / 2);
    ASSERT_EQ(double(mid), (lo + hi) / 2);
    uint16_t even = (h & 1) ? uint16_t(h + 1) : uint16_t(h);
    ASSERT_EQ(FloatToHalfBits(mid), even) << std::hex << h;
    ASSERT_EQ(FloatToHalfBits(-mid), even | 0x8000) << std::hex << h;
    ASSERT_EQ(FloatToHalfBits(nextafterf(mid, 0.0f)), h) << std::hex << h;
    ASSERT_EQ(FloatToHalfBits(nextafterf(mid, INFINITY)), h + 1) << std::hex << h;
  }
  EXPECT_EQ(FloatToHalfBits(65504.0f), 0x7bff);
  EXPECT_EQ(FloatToHalfBits(nextafterf(65520.0f, 0.0f)), 0x7bff);
  EXPECT_EQ(FloatToHalfBits(65520.0f), 0x7c00);  // the tie goes to infinity
  EXPECT_EQ(FloatToHalfBits(1e10f), 0x7c00);
  EXPECT_EQ(FloatToHalfBits(-3.4e38f), 0xfc00);
  EXPECT_EQ(FloatToHalfBits(INFINITY), 0x7c00);
  EXPECT_EQ(FloatToHalfBits(-INFINITY), 0xfc00);
  EXPECT_EQ(FloatToHalfBits(-0.0f), 0x8000);
  // Subnormal halves and below.
  EXPECT_EQ(FloatToHalfBits(ldexpf(1.0f, -24)), 0x0001);
  EXPECT_EQ(FloatToHalfBits(ldexpf(1.0f, -25)), 0x0000);  // tie with zero
  EXPECT_EQ(FloatToHalfBits(nextafterf(ldexpf(1.0f, -25), 1.0f)), 0x0001);
  EXPECT_EQ(FloatToHalfBits(ldexpf(1.5f, -24)), 0x0002);     // tie, up to even
  EXPECT_EQ(FloatToHalfBits(ldexpf(2.5f, -24)), 0x0002);     // tie, down to even
  EXPECT_EQ(FloatToHalfBits(ldexpf(1023.5f, -24)), 0x0400);  // into the smallest normal
  EXPECT_EQ(FloatToHalfBits(-ldexpf(1.0f, -14)), 0x8400);
  EXPECT_EQ(FloatToHalfBits(FromBits(0x00000001)), 0x0000);  // float subnormal
  EXPECT_EQ(FloatToHalfBits(FromBits(0x80400000)), 0x8000);
  // NaNs stay NaN and quiet, signalling ones included.
  for (uint32_t nan : {0x7fc00000u, 0x7f800001u, 0xffc12345u, 0x7fa00000u}) {
    uint16_t h = FloatToHalfBits(FromBits(nan));
    EXPECT_EQ(h & 0x7e00, 0x7e00) << std::hex << nan;
    EXPECT_EQ(h & 0x8000, (nan >> 16) & 0x8000);
  }
}

TEST(Half, FloatToHalfMatchesTheNearestHalfSearch) {
  std::mt19937 rng(7);
  std::uniform_int_distribution<uint32_t> inRange(0x32800000u, 0x47900000u);
  std::uniform_int_distribution<uint32_t> any;
  for (int i = 0; i < 300000; ++i) {
    uint32_t bits = (i & 3) == 3 ? any(rng) : (inRange(rng) | (i & 1 ? 0x80000000u : 0u));
    float f = FromBits(bits);
    if (isnan(f)) continue;
    ASSERT_EQ(FloatToHalfBits(f), RefFloatToHalf(f)) << std::hex << bits;
  }
}

// ===========================================================================
// Maths services

void HamiltonProduct(const float* a, const float* b, float* out) {
  out[0] = a[3] * b[0] + a[0] * b[3] + a[1] * b[2] - a[2] * b[1];
  out[1] = a[3] * b[1] - a[0] * b[2] + a[1] * b[3] + a[2] * b[0];
  out[2] = a[3] * b[2] + a[0] * b[1] - a[1] * b[0] + a[2] * b[3];
  out[3] = a[3] * b[3] - a[0] * b[0] - a[1] * b[1] - a[2] * b[2];
}

TEST(Maths, QuaternionInverse) {
  auto inv = Resolve<svc::QuaternionInverse>(kServiceNames[17]);
  // Unit: 70 degrees about a normalised (1, -2, 2) axis; inverse = conjugate.
  float half = 35.0f * kPi / 180.0f;
  float s = sinf(half) / 3.0f;
  float q[4] = {s, -2 * s, 2 * s, cosf(half)};
  float r[4];
  inv(q, r);
  EXPECT_NEAR(r[0], -q[0], 1e-6f);
  EXPECT_NEAR(r[1], -q[1], 1e-6f);
  EXPECT_NEAR(r[2], -q[2], 1e-6f);
  EXPECT_NEAR(r[3], q[3], 1e-6f);
  // Not unit: conjugate over the squared norm (30).
  float p[4] = {1, 2, 3, 4};
  float pi[4];
  inv(p, pi);
  EXPECT_FLOAT_EQ(pi[0], -1.0f / 30);
  EXPECT_FLOAT_EQ(pi[1], -2.0f / 30);
  EXPECT_FLOAT_EQ(pi[2], -3.0f / 30);
  EXPECT_FLOAT_EQ(pi[3], 4.0f / 30);
  float id[4];
  HamiltonProduct(p, pi, id);
  EXPECT_NEAR(id[0], 0, 1e-6f);
  EXPECT_NEAR(id[1], 0, 1e-6f);
  EXPECT_NEAR(id[2], 0, 1e-6f);
  EXPECT_NEAR(id[3], 1, 1e-6f);
  // Output may alias the input.
  inv(p, p);
  EXPECT_FLOAT_EQ(p[3], 4.0f / 30);
}

TEST(Maths, Vector3Slerp) {
  auto slerp = Resolve<svc::Vector3Slerp>(kServiceNames[18]);
  float x[3] = {1, 0, 0}, y[3] = {0, 1, 0}, o[3];
  slerp(x, y, 0.5f, o);
  EXPECT_NEAR(o[0], sqrtf(0.5f), 1e-6f);
  EXPECT_NEAR(o[1], sqrtf(0.5f), 1e-6f);
  EXPECT_NEAR(o[2], 0, 1e-6f);
  slerp(x, y, 0.0f, o);
  EXPECT_NEAR(o[0], 1, 1e-6f);
  EXPECT_NEAR(o[1], 0, 1e-6f);
  slerp(x, y, 1.0f, o);
  EXPECT_NEAR(o[0], 0, 1e-6f);
  EXPECT_NEAR(o[1], 1, 1e-6f);
  // A third of the way turns a third of the angle.
  slerp(x, y, 1.0f / 3, o);
  EXPECT_NEAR(atan2f(o[1], o[0]), kPi / 6, 1e-5f);
  // Lengths interpolate linearly, directions by angle.
  float a[3] = {2, 0, 0}, b[3] = {0, 0, 4};
  slerp(a, b, 0.25f, o);
  EXPECT_NEAR(sqrtf(o[0] * o[0] + o[1] * o[1] + o[2] * o[2]), 2.5f, 1e-5f);
  EXPECT_NEAR(atan2f(o[2], o[0]), kPi / 8, 1e-5f);
  EXPECT_NEAR(o[1], 0, 1e-6f);
  // Parallel: stays on the line.
  float p2[3] = {0, 3, 0};
  slerp(y, p2, 0.5f, o);
  EXPECT_NEAR(o[0], 0, 1e-6f);
  EXPECT_NEAR(o[1], 2, 1e-6f);
  EXPECT_NEAR(o[2], 0, 1e-6f);
  // Antiparallel: halfway is a unit vector perpendicular to both.
  float mx[3] = {-1, 0, 0};
  slerp(x, mx, 0.5f, o);
  EXPECT_NEAR(o[0], 0, 1e-5f);
  EXPECT_NEAR(o[0] * o[0] + o[1] * o[1] + o[2] * o[2], 1.0f, 1e-5f);
  slerp(x, mx, 1.0f, o);
  EXPECT_NEAR(o[0], -1, 1e-5f);
  // No NaN from a zero-length end.
  float z[3] = {0, 0, 0};
  slerp(z, y, 0.5f, o);
  EXPECT_FALSE(isnan(o[0]) || isnan(o[1]) || isnan(o[2]));
  EXPECT_NEAR(o[1], 0.5f, 1e-6f);
}

// ===========================================================================
// Scene and transform services

struct TransformFns {
  void*(VORTA_MSABI* sortedToUser)(uintptr_t) =
      Resolve<void*(VORTA_MSABI*)(uintptr_t)>(kServiceNames[13]);
  void*(VORTA_MSABI* sortedAccess)(uintptr_t) =
      Resolve<void*(VORTA_MSABI*)(uintptr_t)>(kServiceNames[14]);
  void(VORTA_MSABI* position)(const void*, float*) =
      Resolve<void(VORTA_MSABI*)(const void*, float*)>(kServiceNames[11]);
  void(VORTA_MSABI* rotation)(const void*, float*) =
      Resolve<void(VORTA_MSABI*)(const void*, float*)>(kServiceNames[12]);
  void(VORTA_MSABI* scale)(const void*, float*) =
      Resolve<void(VORTA_MSABI*)(const void*, float*)>(kServiceNames[9]);
  void(VORTA_MSABI* matrix)(const void*, float*) =
      Resolve<void(VORTA_MSABI*)(const void*, float*)>(kServiceNames[10]);
};

void FillScene(Scene& scene, int n) {
  for (int i = 0; i < n; ++i) {
    float p[3] = {float(i), float(10 * i), -float(i)};
    float h = 0.1f * float(i);
    float q[4] = {0, 0, sinf(h), cosf(h)};
    float s[3] = {1.0f + float(i), 1, 2};
    scene.Add(p, q, s);
  }
}

TEST(Scene, SortedArraysAndPerTransformQueries) {
  Scene scene;
  FillScene(scene, 6);
  TransformArray array(scene, {4, 1, 5, 0});  // user order
  TransformFns fns;
  auto* sortedToUser = static_cast<int32_t*>(fns.sortedToUser(array.Handle()));
  auto* access = static_cast<const uint8_t*>(fns.sortedAccess(array.Handle()));
  // Default sorted order: ascending scene index, i.e. transforms 0, 1, 4, 5.
  EXPECT_EQ(std::vector<int32_t>(sortedToUser, sortedToUser + 4),
            (std::vector<int32_t>{3, 1, 0, 2}));
  const int32_t user[4] = {4, 1, 5, 0};
  for (int s = 0; s < 4; ++s) {
    const int32_t t = user[sortedToUser[s]];
    const Transform& want = scene.At(t);
    float p[3], q[4], sc[3], m[16];
    fns.position(access + 16 * s, p);
    fns.rotation(access + 16 * s, q);
    fns.scale(access + 16 * s, sc);
    fns.matrix(access + 16 * s, m);
    EXPECT_EQ(memcmp(p, want.position, sizeof p), 0) << s;
    EXPECT_EQ(memcmp(q, want.rotation, sizeof q), 0) << s;
    EXPECT_EQ(memcmp(sc, want.localScale, sizeof sc), 0) << s;
    EXPECT_EQ(memcmp(m, want.localToWorld, sizeof m), 0) << s;
  }
  // An explicit sorted order.
  array.SetSortedOrder({2, 0, 3, 1});
  sortedToUser = static_cast<int32_t*>(fns.sortedToUser(array.Handle()));
  access = static_cast<const uint8_t*>(fns.sortedAccess(array.Handle()));
  float p[3];
  fns.position(access + 16 * 0, p);
  EXPECT_EQ(sortedToUser[0], 2);
  EXPECT_EQ(p[1], 50.0f);  // transform 5
  EXPECT_THROW(array.SetSortedOrder({0, 0, 1, 2}), std::invalid_argument);
  EXPECT_THROW(array.SetSortedOrder({0, 1, 2}), std::invalid_argument);
  EXPECT_THROW({ TransformArray bad(scene, std::vector<int32_t>{6}); }, std::invalid_argument);
}

TEST(Scene, LocalToWorldIsTranslationRotationScale) {
  Scene scene;
  float p[3] = {1, 2, 3};
  float q[4] = {0, 0, sqrtf(0.5f), sqrtf(0.5f)};  // 90 degrees about z
  float s[3] = {2, 3, 4};
  int32_t t = scene.Add(p, q, s);
  const float* m = scene.At(t).localToWorld;
  // Column-major: column k is the image of axis k.
  auto apply = [&](const float v[4], float out[3]) {
    for (int r = 0; r < 3; ++r)
      out[r] = m[r] * v[0] + m[4 + r] * v[1] + m[8 + r] * v[2] + m[12 + r] * v[3];
  };
  float ex[4] = {1, 0, 0, 1}, out[3];
  apply(ex, out);  // x scaled by 2, turned onto y, moved by p
  EXPECT_NEAR(out[0], 1, 1e-6f);
  EXPECT_NEAR(out[1], 4, 1e-6f);
  EXPECT_NEAR(out[2], 3, 1e-6f);
  float ez[4] = {0, 0, 1, 0};
  apply(ez, out);
  EXPECT_NEAR(out[0], 0, 1e-6f);
  EXPECT_NEAR(out[1], 0, 1e-6f);
  EXPECT_NEAR(out[2], 4, 1e-6f);
  EXPECT_EQ(m[15], 1.0f);
  EXPECT_EQ(m[3], 0.0f);
}

// A transform job in its fixed-range form: each job index reads its range
// from the descriptor and queries the host for every transform of it.
struct SceneJob {
  float* positionsByUser;
};
struct SceneTarget {
  uint64_t handle;
  int32_t mode;
};
VORTA_MSABI void SceneEntry(void* job, void* additional, void*, BatchRanges* ranges,
                            uint32_t jobIndex) {
  auto* rec = static_cast<SceneJob*>(job);
  auto* target = static_cast<SceneTarget*>(additional);
  TransformFns fns;
  auto* toUser = static_cast<int32_t*>(fns.sortedToUser(target->handle));
  auto* access = static_cast<const uint8_t*>(fns.sortedAccess(target->handle));
  auto run = [&](int32_t b, int32_t e) {
    for (int32_t s = b; s < e; ++s)
      fns.position(access + 16 * s, rec->positionsByUser + 3 * toUser[s]);
  };
  if (target->mode == 1) {
    int32_t b, e;
    while (Got(RangeFn()(ranges, jobIndex, &b, &e))) run(b, e);
  } else {
    const int32_t* pairs;
    memcpy(&pairs, reinterpret_cast<const char*>(ranges) + 16, sizeof pairs);
    run(pairs[2 * jobIndex], pairs[2 * jobIndex + 1]);
  }
}

TEST(Scene, TransformServicesFromWorkersInBothSchedulingModes) {
  Scene scene;
  FillScene(scene, 300);
  std::vector<int32_t> users;
  for (int i = 0; i < 300; ++i) users.push_back((i * 7) % 300);  // a permutation
  TransformArray array(scene, users);
  for (int32_t mode : {1, 0}) {
    std::vector<float> out(3 * 300, -1.0f);
    SceneJob rec{out.data()};
    SceneTarget target{array.Handle(), mode};
    JobOptions opt;
    opt.workers = 3;
    opt.batchSize = 8;
    RunJob(&SceneEntry, &rec, sizeof rec, int32_t(array.Size()), opt, &target);
    for (int u = 0; u < 300; ++u)
      ASSERT_EQ(out[3 * u + 1], scene.At(users[u]).position[1]) << "mode " << mode << " user " << u;
  }
}

// ===========================================================================
// Module loading

TEST(Module, LoadFailuresThrowWithTheLoadersMessage) {
  try {
    LoadSharedModule("/nonexistent/libvorta.so");
    ADD_FAILURE() << "no exception";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("/nonexistent/libvorta.so"), std::string::npos);
  }
  // A real library without the initialiser.
  try {
    LoadSharedModule("libm.so.6");
    ADD_FAILURE() << "no exception";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("vorta.initialize"), std::string::npos) << e.what();
  }
}

TEST(Module, LibraryPathFromTheEnvironmentWins) {
  const char* old = getenv("VORTA_LIBRARY");
  std::string saved = old ? old : "";
  setenv("VORTA_LIBRARY", "/some/where/libvorta.so", 1);
  EXPECT_EQ(DefaultLibraryPath(), "/some/where/libvorta.so");
  unsetenv("VORTA_LIBRARY");
  EXPECT_NE(DefaultLibraryPath().find("libvorta.so"), std::string::npos);
  if (old) setenv("VORTA_LIBRARY", saved.c_str(), 1);
}

}  // namespace
