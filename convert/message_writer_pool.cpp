#include "convert/message_writer_pool.h"

#include <algorithm>
#include <chrono>

namespace qc {

namespace {
constexpr std::size_t kBatchMessages = 512;
constexpr auto kPoll = std::chrono::milliseconds(10);
constexpr std::size_t kGivenBackAtOnce = 8;

void Withdraw(MessageOutcome& outcome) {
  if (outcome.withdraw) outcome.withdraw();
  outcome.withdraw = nullptr;
}

}  // namespace

unsigned MessageWriterPool::DefaultWorkers() {
  return std::thread::hardware_concurrency() > 1 ? 2u : 0u;
}

MessageWriterPool::MessageWriterPool(const std::vector<std::int64_t>& offsets,
                                     MessageJobFactory jobs, unsigned workers, PoolLead lead)
    : offsets_(offsets),
      jobs_(std::move(jobs)),
      lead_(lead),
      workerWakes_(std::make_unique<std::condition_variable[]>(workers)),
      slots_(lead.batches),
      givenBack_(workers),
      givenBackWaits_(workers) {
  for (unsigned i = 0; i < workers; ++i) threads_.emplace_back([this, i] { work(i); });
}

MessageWriterPool::~MessageWriterPool() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  wakeWorkers();
  for (auto& t : threads_) t.join();
  // Outcomes the run did not take (it was stopped): their files must not stand among the ones
  // it counted, as they would not have been written by one thread doing everything in order.
  for (Batch& slot : slots_) {
    if (slot.number == SIZE_MAX || !slot.done) continue;
    for (Outcome& outcome : slot.outcomes) Withdraw(outcome);
  }
}

std::size_t MessageWriterPool::batchEnd(std::size_t first) const {
  const std::size_t cap = std::min(offsets_.size(), first + kBatchMessages);
  const std::int64_t limit = offsets_[first] + lead_.batchBytes;
  const auto past = std::upper_bound(offsets_.begin() + static_cast<std::ptrdiff_t>(first) + 1,
                                     offsets_.begin() + static_cast<std::ptrdiff_t>(cap), limit);
  auto end = static_cast<std::size_t>(past - offsets_.begin());
  // The message that runs past the limit starts the next batch: a batch then lies within one
  // read window from its first message, and each byte of the mailbox is read once. (Otherwise
  // each window is read again from that message on, and the two workers, who take turns,
  // read most of the mailbox twice.)
  if (end < offsets_.size() && offsets_[end] > limit && end > first + 1) --end;
  return end;
}

MessageWriterPool::Outcome MessageWriterPool::writeOne(MessageJob& job, std::size_t j,
                                                       bool onWorker, const Waiting* waiting) {
  if (onWorker) {
    progressBytes_ = 0;
    progressMessage_ = static_cast<std::int64_t>(j);
  }
  return job.run(j, [&](std::int64_t soFar) {
    if (onWorker) {
      progressBytes_ = soFar;
      if (stop_) throw Stopped{};
    } else if (waiting) {
      (*waiting)(soFar);
    }
  });
}

void MessageWriterPool::work(unsigned worker) {
  const std::unique_ptr<MessageJob> job = jobs_();  // each worker its own read window
  for (;;) {
    Batch* slot = nullptr;
    std::size_t first = 0;
    std::size_t end = 0;
    {
      std::unique_lock lock(mutex_);
      for (;;) {
        workerWakes_[worker].wait(lock, [&] {
          return stop_ || nextMessage_ >= offsets_.size() ||
                 batchesIssued_ < batchesTaken_ + slots_.size() || !givenBack_[worker].empty();
        });
        if (givenBack_[worker].empty()) break;
        freeGivenBack(worker, lock);
      }
      if (stop_ || nextMessage_ >= offsets_.size()) return;
      slot = &slots_[batchesIssued_ % slots_.size()];
      slot->number = batchesIssued_++;
      slot->done = false;
      slot->worker = worker;
      first = nextMessage_;
      end = batchEnd(first);
      nextMessage_ = end;
    }
    std::vector<Outcome> outcomes;
    outcomes.reserve(end - first);
    try {
      for (std::size_t j = first; j < end; ++j) {
        if (givenBackWaits_[worker]) {
          std::unique_lock lock(mutex_);
          freeGivenBack(worker, lock);
        }
        outcomes.push_back(writeOne(*job, j, true, nullptr));
      }
    } catch (const Stopped&) {
      // The unfinished file has been removed; the finished ones of the batch go too.
      for (Outcome& outcome : outcomes) Withdraw(outcome);
      return;
    }
    {
      std::lock_guard lock(mutex_);
      slot->first = first;
      slot->outcomes = std::move(outcomes);
      slot->done = true;
    }
    runWakes_.notify_one();
  }
}

// Frees them outside the lock, which `lock` holds again after.
void MessageWriterPool::freeGivenBack(unsigned worker, std::unique_lock<std::mutex>& lock) {
  std::vector<std::unique_ptr<mapi::Message>> messages;
  messages.swap(givenBack_[worker]);
  givenBackWaits_[worker] = false;
  lock.unlock();
  messages.clear();
  lock.lock();
}

MessageWriterPool::Outcome MessageWriterPool::take(std::size_t j, const Waiting& waiting) {
  if (threads_.empty()) {
    if (!ownJob_) ownJob_ = jobs_();
    return writeOne(*ownJob_, j, false, &waiting);
  }

  std::unique_lock lock(mutex_);
  Batch& slot = slots_[current_ % slots_.size()];
  while (!(slot.number == current_ && slot.done)) {
    if (runWakes_.wait_for(lock, kPoll) == std::cv_status::timeout) {
      const std::int64_t bytes =
          progressMessage_ == static_cast<std::int64_t>(j) ? progressBytes_.load() : -1;
      lock.unlock();
      waiting(bytes);  // may throw: the destructor stops the workers
      lock.lock();
    }
  }
  Outcome outcome = std::move(slot.outcomes[j - slot.first]);
  taken_.batch = current_;
  taken_.worker = slot.worker;
  slot.outcomes[j - slot.first].withdraw = nullptr;  // taken: the run counts its file
  if (j + 1 == slot.first + slot.outcomes.size()) {
    slot.number = SIZE_MAX;
    ++current_;
    ++batchesTaken_;
    lock.unlock();
    wakeWorkers();
  }
  return outcome;
}

void MessageWriterPool::giveBack(std::unique_ptr<mapi::Message> message) {
  if (!message || threads_.empty()) return;
  if (!fromBatch_.messages.empty() && fromBatch_.batch != taken_.batch) passOnGivenBack();
  fromBatch_.batch = taken_.batch;
  fromBatch_.worker = taken_.worker;
  fromBatch_.messages.push_back(std::move(message));
  if (fromBatch_.messages.size() >= kGivenBackAtOnce) passOnGivenBack();
}

// A few at a time, so that giving back takes no lock per message, and a batch of many
// small messages does not wait whole.
void MessageWriterPool::passOnGivenBack() {
  {
    std::lock_guard lock(mutex_);
    auto& list = givenBack_[fromBatch_.worker];
    for (auto& message : fromBatch_.messages) list.push_back(std::move(message));
    givenBackWaits_[fromBatch_.worker] = true;
  }
  fromBatch_.messages.clear();
  workerWakes_[fromBatch_.worker].notify_one();
}

void MessageWriterPool::wakeWorkers() {
  for (std::size_t i = 0; i < threads_.size(); ++i) workerWakes_[i].notify_one();
}

}  // namespace qc
