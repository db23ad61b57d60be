// Hands each event of a run to every observer, in the order they were added.
#pragma once

#include <vector>

#include "convert/run_observer.h"

namespace qc {

class RunBroadcast final : public RunObserver {
 public:
  void add(RunObserver* observer) {
    if (observer) observers_.push_back(observer);
  }

  void pace() override {
    for (auto* o : observers_) o->pace();
  }
  void runStarted(const RunRequest& request) override {
    for (auto* o : observers_) o->runStarted(request);
  }
  void mailboxStarted(std::size_t index, std::size_t count, std::string_view path) override {
    for (auto* o : observers_) o->mailboxStarted(index, count, path);
  }
  void searchStarted(const MailboxPaths& paths) override {
    for (auto* o : observers_) o->searchStarted(paths);
  }
  void searchOpened() override {
    for (auto* o : observers_) o->searchOpened();
  }
  void messagesFound(std::size_t count) override {
    for (auto* o : observers_) o->messagesFound(count);
  }
  void messagePlaces(const std::vector<std::int64_t>& offsets, std::int64_t end) override {
    for (auto* o : observers_) o->messagePlaces(offsets, end);
  }
  void messageSettled(const MessageRecord& record) override {
    for (auto* o : observers_) o->messageSettled(record);
  }
  void messageUnverified(std::string_view mailbox, std::size_t j,
                         std::string_view reason) override {
    for (auto* o : observers_) o->messageUnverified(mailbox, j, reason);
  }
  void storedMessageLost(std::string_view mailbox, std::size_t j,
                         std::string_view reason) override {
    for (auto* o : observers_) o->storedMessageLost(mailbox, j, reason);
  }
  void writtenMessagesDropped(std::string_view reason) override {
    for (auto* o : observers_) o->writtenMessagesDropped(reason);
  }
  void writingProgress(std::int64_t bytesSoFar, std::int64_t mailboxBytes) override {
    for (auto* o : observers_) o->writingProgress(bytesSoFar, mailboxBytes);
  }
  void messageWritten(std::size_t j, std::uint64_t bytes) override {
    for (auto* o : observers_) o->messageWritten(j, bytes);
  }
  void messageDone(std::size_t j, std::int64_t written) override {
    for (auto* o : observers_) o->messageDone(j, written);
  }
  void problem(const Failure& failure) override {
    for (auto* o : observers_) o->problem(failure);
  }
  void warning(std::string_view text) override {
    for (auto* o : observers_) o->warning(text);
  }
  void mailboxWritten(std::size_t done, std::size_t count) override {
    for (auto* o : observers_) o->mailboxWritten(done, count);
  }
  void storeWritten(std::string_view path) override {
    for (auto* o : observers_) o->storeWritten(path);
  }
  void mailboxDone(std::size_t index, const MailboxSummary& summary) override {
    for (auto* o : observers_) o->mailboxDone(index, summary);
  }
  void runDone(const RunReport& report) override {
    for (auto* o : observers_) o->runDone(report);
  }

 private:
  std::vector<RunObserver*> observers_;
};

}  // namespace qc
