// A table of random replays shared by the direct-call test programs: each row
// makes one random call through an export and checks it against its replay.
// The rows run one after another, and again on several threads at once (the
// kernels keep no state, so the results must not change).
#pragma once
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>
#include <vector>

namespace vorta_test {

struct Replay {
  const char* name;
  std::function<bool()> once;  // one random call; true when it matched
};

// `count` calls per row.
inline void ExpectReplays(const std::vector<Replay>& rows, int count) {
  for (const Replay& r : rows) {
    int bad = 0;
    for (int i = 0; i < count; ++i) bad += !r.once();
    EXPECT_EQ(bad, 0) << r.name;
  }
}

// Four threads, `count` rounds of the table each; `seed(t)` seeds thread t's generator.
inline void ExpectReplaysOnThreads(const std::vector<Replay>& rows, int count,
                                   void (*seed)(unsigned)) {
  std::vector<std::thread> threads;
  std::atomic<int> bad{0};
  for (unsigned t = 0; t < 4; ++t)
    threads.emplace_back([&, t] {
      seed(t);
      for (int i = 0; i < count; ++i)
        for (const Replay& r : rows) bad += !r.once();
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(bad.load(), 0);
}

}  // namespace vorta_test
