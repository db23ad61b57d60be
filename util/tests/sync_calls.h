// For tests: the calls that put files on the disk (fsync, syncfs), as the program makes them.
// A test program that compiles sync_calls.cpp has its own fsync() and syncfs(), which every
// call of the program's code reaches: they record the call and the path of its descriptor,
// fail when a test asks, and otherwise do what the system's do.
#pragma once

#include <cerrno>
#include <functional>
#include <string>
#include <vector>

namespace qc::test {

struct SyncCall {
  std::string call;  // "fsync" or "syncfs"
  std::string path;  // the file or folder the descriptor is open on
  bool operator==(const SyncCall&) const = default;
};

// Records the calls made while it lives; one at a time.
class SyncCalls {
 public:
  SyncCalls();
  ~SyncCalls();
  SyncCalls(const SyncCalls&) = delete;
  SyncCalls& operator=(const SyncCalls&) = delete;

  std::vector<SyncCall> calls() const;
  std::size_t count(const std::string& call) const;

  // The next call of `call` on `path` (any path when empty) fails with `error` instead.
  void failNext(std::string call, int error, std::string path = {});

  // Runs inside every call, before it is done: to look at the files at that moment.
  std::function<void(const SyncCall&)> during;
};

}  // namespace qc::test
