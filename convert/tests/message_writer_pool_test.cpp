// The workers' pool as the store forms use it: imported messages taken in order and handed back,
// to be freed by the worker that made them, soon enough that they do not pile up.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "convert/message_writer_pool.h"

namespace qc {
namespace {

// Which thread made each message, which freed it, and how many are alive.
struct Ledger {
  std::mutex mutex;
  std::map<std::size_t, std::thread::id> madeBy;
  std::map<std::size_t, std::thread::id> freedBy;
  std::size_t alive = 0;
};

// Held by a message: records where it is freed.
class Witness final : public mapi::ByteSource {
 public:
  Witness(Ledger& ledger, std::size_t j) : ledger_(ledger), j_(j) {
    const std::lock_guard lock(ledger_.mutex);
    ledger_.madeBy[j_] = std::this_thread::get_id();
    ++ledger_.alive;
  }
  ~Witness() override {
    const std::lock_guard lock(ledger_.mutex);
    ledger_.freedBy[j_] = std::this_thread::get_id();
    --ledger_.alive;
  }
  std::uint64_t size() const override { return 0; }
  std::size_t read(std::uint64_t, std::uint8_t*, std::size_t) const override { return 0; }

 private:
  Ledger& ledger_;
  std::size_t j_;
};

class WitnessJob final : public MessageJob {
 public:
  explicit WitnessJob(Ledger& ledger) : ledger_(ledger) {}
  MessageOutcome run(std::size_t j, const ChunkProgress&) override {
    MessageOutcome outcome;
    outcome.done = true;
    outcome.message = std::make_unique<mapi::Message>();
    outcome.message->props.set(mapi::PropTag{0x3701, mapi::PropType::Binary},
                               std::make_shared<Witness>(ledger_, j));
    return outcome;
  }

 private:
  Ledger& ledger_;
};

TEST(MessageWriterPool, MessagesGivenBackAreFreedByTheirWorkerAndDoNotPileUp) {
  constexpr std::size_t kMessages = 3000;
  constexpr std::int64_t kStep = 100;
  constexpr PoolLead kLead{4, 10 * kStep};  // batches of ten messages
  constexpr std::size_t kMostAlive = (2 * kLead.batches + 2) * 10;
  std::vector<std::int64_t> offsets;
  for (std::size_t j = 0; j < kMessages; ++j)
    offsets.push_back(static_cast<std::int64_t>(j) * kStep);

  for (const unsigned workers : {0u, 1u, 2u}) {
    SCOPED_TRACE(workers);
    Ledger ledger;
    std::size_t mostAlive = 0;
    {
      MessageWriterPool pool(
          offsets, [&] { return std::make_unique<WitnessJob>(ledger); }, workers, kLead);
      for (std::size_t j = 0; j < kMessages; ++j) {
        MessageOutcome outcome = pool.take(j, [](std::int64_t) {});
        ASSERT_TRUE(outcome.message);
        pool.giveBack(std::move(outcome.message));
        const std::lock_guard lock(ledger.mutex);
        mostAlive = std::max(mostAlive, ledger.alive);
      }
    }
    ASSERT_EQ(ledger.freedBy.size(), kMessages);
    EXPECT_EQ(ledger.alive, 0u);
    // The lead, the batch being taken, and, at worst, a lead's worth that waits for its worker's
    // next message (a worker the system has not run for a while).
    EXPECT_LE(mostAlive, kMostAlive);
    std::size_t byMaker = 0;
    for (const auto& [j, freer] : ledger.freedBy) {
      if (freer == ledger.madeBy[j]) {
        ++byMaker;
      } else {
        // Only the last ones, freed with the pool on the run's thread.
        EXPECT_EQ(freer, std::this_thread::get_id()) << j;
        EXPECT_GE(j, kMessages - kMostAlive) << j;
      }
    }
    EXPECT_GE(byMaker, kMessages - kMostAlive);
  }
}

}  // namespace
}  // namespace qc
