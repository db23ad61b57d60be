// How a writer marks the temporary files it has in a folder as its own and alive, so that a
// later run can tell them from the leftovers of a writer that was killed.
//
// A writer holds one lock file in each folder it writes into, ".quillon-converter.<id>.lock",
// locked for as long as it writes there; every temporary file it makes there carries the same
// identity: ".<name>.<id><random>.part", the identity and 32 random bits, 8 hex digits each.
// The system drops the lock when the process ends however it ends, so a temporary file whose
// lock can be taken (or is gone) belongs to no one. One lock per folder rather than one per
// temporary file keeps the lock off the path of every message file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "util/system.h"

namespace qc {

using WriterId = std::uint32_t;

// ".<prefix>.<writer><random>.part".
std::string TemporaryFileName(std::string_view prefix, WriterId writer, std::uint32_t random);
// The length of the part that follows the prefix: ".", 16 hex digits, ".part".
inline constexpr std::size_t kTemporarySuffixSize = 22;
// The writer of a name of that exact pattern (lower-case hex digits, a prefix of at least one
// byte); nothing for any other name.
std::optional<WriterId> WriterOfTemporaryName(std::string_view name);

// ".quillon-converter.<writer>.lock".
std::string LockFileName(WriterId writer);
std::optional<WriterId> WriterOfLockName(std::string_view name);

// The lock of one writer in one folder: created, locked and checked on construction, removed on
// destruction.
class WriterLock {
 public:
  // In the open folder `folder`, which must outlive the lock. Throws qc::Error when the lock
  // file cannot be created.
  explicit WriterLock(const sys::Folder& folder);
  ~WriterLock();
  WriterLock(const WriterLock&) = delete;
  WriterLock& operator=(const WriterLock&) = delete;

  WriterId id() const { return id_; }

 private:
  const sys::Folder& folder_;
  sys::OutputFile file_;
  WriterId id_ = 0;
};

// What can be told of a writer's lock in a folder.
enum class WriterState {
  Alive,    // its lock is held: its files are in use
  Gone,     // no lock file: its files are leftovers
  Dead,     // its lock file is there but held by no one: leftovers too
  Unknown,  // not a lock we can take (a link, no locks on this file system, no access)
};

// Looks at the lock of `writer` in `folder`. The lock of a dead writer is taken and kept by the
// probe while it lives, so that no one else judges the same writer meanwhile. The writers of
// this process are alive whatever their lock says.
class WriterProbe {
 public:
  WriterProbe(const sys::Folder& folder, WriterId writer);
  ~WriterProbe();
  WriterProbe(const WriterProbe&) = delete;
  WriterProbe& operator=(const WriterProbe&) = delete;

  WriterState state() const { return state_; }
  // A dead writer's lock file goes; true when it was removed.
  bool removeLockFile();

 private:
  const sys::Folder& folder_;
  WriterId writer_;
  sys::OutputFile file_;
  WriterState state_ = WriterState::Unknown;
};

}  // namespace qc
