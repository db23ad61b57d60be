// The messages a run wrote, by the SHA-256 of their bytes less the separator line: the run adds
// each message it counts as written, in message order, and looks up each later one. A hash per
// distinct message is kept, never the bytes. SHA-256 is trusted alone: two different messages
// with the same hash have never been found, and finding them would take work far beyond any
// mailbox.
#pragma once

#include <cstddef>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

namespace qc {

// Where a message was first written: its mailbox (the run's row) and its number there.
struct FirstCopy {
  std::size_t mailbox = 0;
  std::size_t message = 0;
};

// Safe to look up from worker threads while the run adds to it.
class DuplicateIndex {
 public:
  std::optional<FirstCopy> find(const std::string& key) const;
  // Keeps the first copy of a key; a later add of the same key changes nothing.
  void add(const std::string& key, FirstCopy first);
  // The messages of `mailbox` were not kept after all (their store was dropped): later copies
  // of them are no duplicates.
  void forgetMailbox(std::size_t mailbox);
  void clear();

 private:
  mutable std::mutex mutex_;
  std::unordered_map<std::string, FirstCopy> firsts_;
};

}  // namespace qc
