// Does the messages of one mailbox (writes their files, or imports them) on worker threads while
// the run's own thread reports them, strictly in message order: the run takes message j's
// outcome only once its job is complete (or has failed), so labels, counts and failure reports
// come in the same order and say the same as when one thread does everything. File-system calls
// dominate the time of a conversion to message files, the import that of the other forms, and
// two threads keep two of either in flight.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "convert/message_jobs.h"

namespace qc {

// How far the workers may run ahead of the run: batches of at most `batchBytes` of mailbox
// each (or one larger message), `batches` of them. Message files are written as they are done, so a
// long lead keeps both workers busy; imported messages wait in memory for the store, so a short one
// keeps memory low where the store's writer sets the pace anyway.
// Eight batches of 128 KiB keep the store's writer as busy as sixteen, and the import runs ahead
// of it: every batch waiting holds its messages imported.
struct PoolLead {
  std::size_t batches = 8;
  std::int64_t batchBytes = ByteWindow::kDefaultCapacity;  // one read window
};
inline constexpr PoolLead kShortLead{8, std::int64_t{128} << 10};

class MessageWriterPool {
 public:
  using Outcome = MessageOutcome;

  // Called on the run's thread while it waits: the bytes copied so far of the message it waits
  // for, or -1 when that message has not started. May throw (a stop request); the pool then stops
  // its workers, and their unfinished files are removed.
  using Waiting = std::function<void(std::int64_t bytesSoFar)>;

  // `offsets` (which must outlive the pool) group neighbouring messages into batches; `jobs`
  // makes one job per thread. With `workers` 0 every message is done on the calling thread,
  // inside take().

  MessageWriterPool(const std::vector<std::int64_t>& offsets, MessageJobFactory jobs,
                    unsigned workers, PoolLead lead = PoolLead{});
  ~MessageWriterPool();
  MessageWriterPool(const MessageWriterPool&) = delete;
  MessageWriterPool& operator=(const MessageWriterPool&) = delete;

  // The outcome of message j; j must go 0, 1, 2, ... without gaps.
  Outcome take(std::size_t j, const Waiting& waiting);

  // Hands back the imported message of the outcome taken last, once the run is done with it, to
  // be freed on the worker that made it. Memory one thread frees for another costs the other
  // thread a walk over the freed blocks before it reuses them, and a store's messages are
  // hundreds of small blocks each.
  void giveBack(std::unique_ptr<mapi::Message> message);

  // Workers for this machine: two where there are several processors, none on a single one.
  static unsigned DefaultWorkers();

 private:
  struct Batch {
    std::size_t number = SIZE_MAX;  // which batch the slot holds
    std::size_t first = 0;
    std::vector<Outcome> outcomes;
    bool done = false;
    unsigned worker = 0;  // which worker did it
  };
  struct Stopped {};

  void work(unsigned worker);
  void passOnGivenBack();
  void wakeWorkers();
  void freeGivenBack(unsigned worker, std::unique_lock<std::mutex>& lock);
  Outcome writeOne(MessageJob& job, std::size_t j, bool onWorker, const Waiting* waiting);
  std::size_t batchEnd(std::size_t first) const;

  const std::vector<std::int64_t>& offsets_;
  MessageJobFactory jobs_;
  PoolLead lead_;

  // Work on the calling thread (no workers).
  std::unique_ptr<MessageJob> ownJob_;

  // Work on workers: batches of neighbouring messages, a few in flight at a time.
  std::mutex mutex_;
  // Each waits on its own: a batch done wakes the run alone, messages given back wake the worker
  // that made them alone, and a batch taken (a place for the next) wakes every worker.
  std::condition_variable runWakes_;
  std::unique_ptr<std::condition_variable[]> workerWakes_;
  std::vector<Batch> slots_;
  std::size_t nextMessage_ = 0;    // first message not yet handed to a worker
  std::size_t batchesIssued_ = 0;  // batches handed to workers
  std::size_t batchesTaken_ = 0;   // batches the run has taken all outcomes of
  std::size_t current_ = 0;        // the batch the run is taking from
  std::atomic<bool> stop_{false};
  std::atomic<std::int64_t> progressMessage_{-1};
  std::atomic<std::int64_t> progressBytes_{0};
  std::vector<std::thread> threads_;

  // Messages the run gave back, for each worker to free (under mutex_).
  std::vector<std::vector<std::unique_ptr<mapi::Message>>> givenBack_;
  std::vector<std::atomic<bool>> givenBackWaits_;  // whether a worker's list has any
  // The run's own: those given back of one batch, passed on a few at a time, and when the run
  // moves to the next batch.
  struct GivenBack {
    std::vector<std::unique_ptr<mapi::Message>> messages;
    std::size_t batch = 0;
    unsigned worker = 0;
  };
  GivenBack fromBatch_;
  GivenBack taken_;  // the batch and worker of the outcome taken last
};

}  // namespace qc
