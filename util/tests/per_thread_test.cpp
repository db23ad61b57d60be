#include "util/per_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

namespace qc {
namespace {

std::mutex gLock;
std::multiset<int> gDestroyed;

// Holds memory of its own, as the caches do, so that a destructor run on freed storage shows.
struct Kept {
  std::unique_ptr<int> owner = std::make_unique<int>(-1);
  ~Kept() {
    std::lock_guard lock(gLock);
    gDestroyed.insert(*owner);
  }
};

// Each thread has its own object, kept between calls and destroyed, with what that thread put in
// it, when the thread ends; the workers of a run come and go with every mailbox.
TEST(PerThread, EachThreadKeepsItsOwnAndDestroysItAsItEnds) {
  std::atomic<int> mixedUp{0};
  for (int round = 0; round < 3; ++round) {
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
      threads.emplace_back([t, round, &mixedUp] {
        const int mine = round * 10 + t;
        *PerThread<Kept>().owner = mine;
        for (int i = 0; i < 1000; ++i) {
          if (*PerThread<Kept>().owner != mine) ++mixedUp;
        }
      });
    }
    for (auto& thread : threads) thread.join();
  }
  EXPECT_EQ(mixedUp, 0);
  std::lock_guard lock(gLock);
  EXPECT_EQ(gDestroyed, (std::multiset<int>{0, 1, 2, 3, 10, 11, 12, 13, 20, 21, 22, 23}));
}

}  // namespace
}  // namespace qc
