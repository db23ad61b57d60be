#include "cli/stop_signals.h"

#include <atomic>
#include <csignal>

namespace qc {

namespace {

std::atomic<int> received{0};
std::atomic<bool> stopFlag{false};
static_assert(std::atomic<int>::is_always_lock_free && std::atomic<bool>::is_always_lock_free);

extern "C" void OnStopSignal(int signal) {
  received.store(signal);
  stopFlag.store(true);
  // The next one is not deferred: a user pressing Ctrl-C twice wants out now.
  std::signal(signal, SIG_DFL);
}

}  // namespace

void InstallStopSignals() {
  std::signal(SIGINT, OnStopSignal);
  std::signal(SIGTERM, OnStopSignal);
}

int StopSignalReceived() {
  return received.load();
}

const std::atomic<bool>* StopSignalFlag() {
  return &stopFlag;
}

}  // namespace qc
