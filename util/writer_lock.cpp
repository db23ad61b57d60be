#include "util/writer_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <set>

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

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
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

WriterLock::WriterLock(int folder, const std::string& folderPath) : folder_(folder) {
  for (int attempt = 0;; ++attempt) {
    id_ = static_cast<WriterId>(UnpredictableNumber());
    const std::string name = LockFileName(id_);
    fd_ =
        ::openat(folder_, name.c_str(), O_RDONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd_ < 0) {
      if (errno == EEXIST && attempt < 16) continue;
      const int error = errno;
      std::string path = folderPath;
      if (!path.empty() && path.back() != '/') path += '/';
      throw systemError("cannot create", path + name, error);
    }
    // Where the file system has no locks, the file stays unlocked: no probe can take it either,
    // so our files are never judged dead.
    const bool taken = ::flock(fd_, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    // A sweep of another run may have judged the file dead between our creating and locking it
    // (it holds the lock, or has already removed the name): another name then.
    struct stat mine {
    }, named{};
    if (!taken && ::fstat(fd_, &mine) == 0 &&
        ::fstatat(folder_, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
        SameFile(mine, named)) {
      break;
    }
    ::close(fd_);
    if (attempt >= 16) {
      throw Error("cannot keep a lock file in '" + folderPath + "': it is removed as it is made");
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
  ::unlinkat(folder_, LockFileName(id_).c_str(), 0);
  ::close(fd_);
}

WriterProbe::WriterProbe(int folder, WriterId writer) : folder_(folder), writer_(writer) {
  {
    std::lock_guard lock(LiveMutex());
    if (LiveWriters().count(writer_) > 0) {
      state_ = WriterState::Alive;
      return;
    }
  }
  const std::string name = LockFileName(writer_);
  // Never through a link, and never waiting on something that is not a file.
  fd_ = ::openat(folder_, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd_ < 0) {
    state_ = errno == ENOENT ? WriterState::Gone : WriterState::Unknown;
    return;
  }
  struct stat st {};
  if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
    state_ = WriterState::Unknown;
  } else if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) {
    state_ = WriterState::Dead;
    return;
  } else {
    state_ = errno == EWOULDBLOCK ? WriterState::Alive : WriterState::Unknown;
  }
  ::close(fd_);
  fd_ = -1;
}

WriterProbe::~WriterProbe() {
  if (fd_ >= 0) ::close(fd_);
}

bool WriterProbe::removeLockFile() {
  if (state_ != WriterState::Dead || fd_ < 0) return false;
  const std::string name = LockFileName(writer_);
  // Only the file whose lock we hold.
  struct stat held {
  }, named{};
  if (::fstat(fd_, &held) != 0 ||
      ::fstatat(folder_, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0 ||
      !SameFile(held, named)) {
    return false;
  }
  return ::unlinkat(folder_, name.c_str(), 0) == 0;
}

}  // namespace qc
