#include "util/writer_lock.h"

#include <cerrno>
#include <mutex>
#include <set>
#include <string>

#include "util/error.h"
#include "util/random_bits.h"

namespace qc {

namespace {

constexpr std::string_view kLockPrefix = ".quillon-converter.";
constexpr std::string_view kLockSuffix = ".lock";
constexpr std::string_view kPartSuffix = ".part";
constexpr char kHex[] = "0123456789abcdef";

void AppendHex(std::string& out, std::uint32_t value) {
  char digits[8];
  for (int i = 7; i >= 0; --i) {
    digits[i] = kHex[value & 0xF];
    value >>= 4;
  }
  out.append(digits, 8);
}

// Exactly `count` lower-case hex digits; our names never have upper-case ones.
std::optional<std::uint64_t> ParseHex(std::string_view digits, std::size_t count) {
  if (digits.size() != count) return std::nullopt;
  std::uint64_t value = 0;
  for (const char c : digits) {
    int digit = 0;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else {
      return std::nullopt;
    }
    value = value << 4 | static_cast<std::uint64_t>(digit);
  }
  return value;
}

// The writers of this process. Their locks say nothing to a probe of the same process where a
// file system keeps locks per process (NFS), so they are known here instead.
std::mutex& LiveMutex() {
  static std::mutex mutex;
  return mutex;
}
std::multiset<WriterId>& LiveWriters() {
  static std::multiset<WriterId> writers;
  return writers;
}

}  // namespace

std::string TemporaryFileName(std::string_view prefix, WriterId writer, std::uint32_t random) {
  std::string name;
  name.reserve(1 + prefix.size() + kTemporarySuffixSize);
  name += '.';
  name += prefix;
  name += '.';
  AppendHex(name, writer);
  AppendHex(name, random);
  name += kPartSuffix;
  return name;
}

std::optional<WriterId> WriterOfTemporaryName(std::string_view name) {
  if (name.size() < 2 + kTemporarySuffixSize || name[0] != '.' || !name.ends_with(kPartSuffix)) {
    return std::nullopt;
  }
  const std::string_view suffix = name.substr(name.size() - kTemporarySuffixSize);
  if (suffix[0] != '.') return std::nullopt;
  const auto writer = ParseHex(suffix.substr(1, 8), 8);
  if (!writer || !ParseHex(suffix.substr(9, 8), 8)) return std::nullopt;
  return static_cast<WriterId>(*writer);
}

std::string LockFileName(WriterId writer) {
  std::string name(kLockPrefix);
  AppendHex(name, writer);
  name += kLockSuffix;
  return name;
}

std::optional<WriterId> WriterOfLockName(std::string_view name) {
  if (!name.starts_with(kLockPrefix) || !name.ends_with(kLockSuffix)) return std::nullopt;
  name.remove_prefix(kLockPrefix.size());
  name.remove_suffix(kLockSuffix.size());
  const auto writer = ParseHex(name, 8);
  if (!writer) return std::nullopt;
  return static_cast<WriterId>(*writer);
}

WriterLock::WriterLock(const sys::Folder& folder) : folder_(folder) {
  for (int attempt = 0;; ++attempt) {
    id_ = static_cast<WriterId>(UnpredictableNumber());
    const std::string name = LockFileName(id_);
    if (const int error = folder_.create(name, file_); error != 0) {
      if (error == EEXIST && attempt < 16) continue;
      // The lock file is ours, not the user's: the folder is what could not be written.
      throw systemError("cannot write into the folder", folder_.path(), error);
    }
    // Where the file system has no locks, the file stays unlocked: no probe can take it either,
    // so our files are never judged dead.
    const bool taken = file_.tryLock() == sys::OutputFile::Lock::Held;
    // A sweep of another run may have judged the file dead between our creating and locking it
    // (it holds the lock, or has already removed the name): another name then.
    sys::FileId mine;
    if (!taken && file_.id(mine)) {
      const sys::PathInfo named = folder_.inspect(name);
      if (named.kind == sys::Kind::File && named.id == mine) break;
    }
    file_.close();
    if (attempt >= 16) {
      throw Error("cannot keep a lock file in '" + folder_.path() +
                  "': it is removed as it is made");
    }
  }
  std::lock_guard lock(LiveMutex());
  LiveWriters().insert(id_);
}

WriterLock::~WriterLock() {
  {
    std::lock_guard lock(LiveMutex());
    LiveWriters().erase(LiveWriters().find(id_));
  }
  // The name goes before the lock: a sweep that finds the name then finds it locked.
  folder_.remove(LockFileName(id_));
  file_.close();
}

WriterProbe::WriterProbe(const sys::Folder& folder, WriterId writer)
    : folder_(folder), writer_(writer) {
  {
    std::lock_guard lock(LiveMutex());
    if (LiveWriters().count(writer_) > 0) {
      state_ = WriterState::Alive;
      return;
    }
  }
  // Never through a link, and never waiting on something that is not a file.
  if (const int error = folder_.openToLock(LockFileName(writer_), file_); error != 0) {
    state_ = error == ENOENT ? WriterState::Gone : WriterState::Unknown;
    return;
  }
  switch (file_.tryLock()) {
    case sys::OutputFile::Lock::Taken:
      state_ = WriterState::Dead;
      return;
    case sys::OutputFile::Lock::Held:
      state_ = WriterState::Alive;
      break;
    case sys::OutputFile::Lock::Unavailable:
      state_ = WriterState::Unknown;
      break;
  }
  file_.close();
}

WriterProbe::~WriterProbe() = default;

bool WriterProbe::removeLockFile() {
  if (state_ != WriterState::Dead || !file_.isOpen()) return false;
  const std::string name = LockFileName(writer_);
  // Only the file whose lock we hold.
  sys::FileId held;
  const sys::PathInfo named = folder_.inspect(name);
  if (!file_.id(held) || named.kind != sys::Kind::File || !(named.id == held)) return false;
  return folder_.remove(name) == 0;
}

}  // namespace qc
