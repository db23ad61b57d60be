#include "util/pending_file.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "util/error.h"

namespace qc {

namespace {

// 64 bits no one can guess, cheaply: one generator per thread, seeded from the system's random
// source. The name only has to be unguessable; exclusive creation does the rest.
std::uint64_t UnpredictableNumber() {
  thread_local std::uint64_t state = [] {
    std::uint64_t seed = 0;
    if (::getrandom(&seed, sizeof seed, 0) != static_cast<ssize_t>(sizeof seed)) {
      // No system random source: the clock and addresses still make collisions unlikely, and
      // exclusive creation keeps even a guessed name harmless.
      timespec now{};
      ::clock_gettime(CLOCK_MONOTONIC, &now);
      seed = static_cast<std::uint64_t>(now.tv_nsec) ^
             (static_cast<std::uint64_t>(now.tv_sec) << 32) ^
             reinterpret_cast<std::uintptr_t>(&seed) ^ static_cast<std::uint64_t>(::getpid());
    }
    return seed;
  }();
  // splitmix64
  std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

std::string FolderPartOf(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string NamePartOf(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

OutputFolder::OutputFolder(std::string path) : path_(std::move(path)) {
  fd_ = ::open(path_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd_ < 0) throw systemError("cannot open the output folder", path_, errno);
}

OutputFolder::~OutputFolder() {
  if (fd_ >= 0) ::close(fd_);
}

std::string OutputFolder::pathOf(std::string_view name) const {
  std::string full = path_;
  if (!full.empty() && full.back() != '/') full += '/';
  full += name;
  return full;
}

std::string_view NamePrefix(std::string_view name, std::size_t maxBytes) {
  if (name.size() <= maxBytes) return name;
  std::size_t end = maxBytes;
  // Back to the first byte of a character: continuation bytes are 10xxxxxx.
  while (end > 0 && (static_cast<unsigned char>(name[end]) & 0xC0) == 0x80) --end;
  return name.substr(0, end);
}

bool OutputFolder::removeFile(const std::string& name) const noexcept {
  return ::unlinkat(fd_, name.c_str(), 0) == 0;
}

PendingFile::PendingFile(const OutputFolder& folder, std::string name)
    : folder_(&folder), name_(std::move(name)) {
  create();
}

PendingFile::PendingFile(const std::string& finalPath)
    : ownFolder_(std::make_unique<OutputFolder>(FolderPartOf(finalPath))),
      folder_(ownFolder_.get()),
      name_(NamePartOf(finalPath)) {
  if (name_.empty()) throw Error("cannot create '" + finalPath + "': the path names a folder");
  create();
}

void PendingFile::create() {
  for (int attempt = 0;; ++attempt) {
    char suffix[24];
    std::snprintf(suffix, sizeof suffix, ".%016llx.part",
                  static_cast<unsigned long long>(UnpredictableNumber()));
    // A final name near the limit must not fail for want of room in its temporary name.
    const std::size_t room = kNameMax - 1 - std::strlen(suffix);
    tempName_ = "." + std::string(NamePrefix(name_, room)) + suffix;
    // O_EXCL: never an existing file, and never through a link, dangling or not.
    fd_ = ::openat(folder_->fd(), tempName_.c_str(),
                   O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd_ >= 0) return;
    if (errno == EEXIST && attempt < 16) continue;
    // The user looks for the file under its final name; the hidden name would only puzzle.
    throw systemError("cannot create", finalPath(), errno);
  }
}

PendingFile::~PendingFile() {
  discard();
}

void PendingFile::discard() noexcept {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
    ::unlinkat(folder_->fd(), tempName_.c_str(), 0);
  }
}

void PendingFile::write(const void* data, std::size_t size) {
  const Piece piece{data, size};
  write(&piece, 1);
}

void PendingFile::write(const Piece* pieces, std::size_t count) {
  if (fd_ < 0) throw Error("cannot write '" + finalPath() + "': the file is already complete");
  constexpr std::size_t kMaxPieces = 8;
  if (count > kMaxPieces) {
    write(pieces, kMaxPieces);
    write(pieces + kMaxPieces, count - kMaxPieces);
    return;
  }
  iovec vec[kMaxPieces];
  std::size_t n = 0;
  for (std::size_t i = 0; i < count; ++i) {
    if (pieces[i].size == 0) continue;
    vec[n].iov_base = const_cast<void*>(pieces[i].data);
    vec[n].iov_len = pieces[i].size;
    ++n;
  }
  iovec* next = vec;
  while (n > 0) {
    const ssize_t done = ::writev(fd_, next, static_cast<int>(n));
    if (done < 0) {
      if (errno == EINTR) continue;
      throw systemError("cannot write", finalPath(), errno);
    }
    written_ += static_cast<std::uint64_t>(done);
    // Skip what was written; a short write continues inside a piece.
    auto left = static_cast<std::size_t>(done);
    while (n > 0 && left >= next->iov_len) {
      left -= next->iov_len;
      ++next;
      --n;
    }
    if (n > 0) {
      next->iov_base = static_cast<char*>(next->iov_base) + left;
      next->iov_len -= left;
    }
  }
}

void PendingFile::writeAt(std::uint64_t offset, const void* data, std::size_t size) {
  if (fd_ < 0) throw Error("cannot write '" + finalPath() + "': the file is already complete");
  const auto* bytes = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t done = ::pwrite(fd_, bytes, size, static_cast<off_t>(offset));
    if (done < 0) {
      if (errno == EINTR) continue;
      throw systemError("cannot write", finalPath(), errno);
    }
    bytes += done;
    size -= static_cast<std::size_t>(done);
    offset += static_cast<std::uint64_t>(done);
  }
}

namespace {

// renameat() that fails with EEXIST rather than replace what is there.
int RenameNoReplace(int folder, const char* from, const char* to) {
#ifdef RENAME_NOREPLACE
  if (::renameat2(folder, from, folder, to, RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return -1;
#endif
  // File systems without it: a hard link is made only where nothing is, then the temporary
  // name goes.
  if (::linkat(folder, from, folder, to, 0) != 0) return -1;
  ::unlinkat(folder, from, 0);
  return 0;
}

}  // namespace

void PendingFile::close() {
  if (fd_ < 0) throw Error("cannot complete '" + finalPath() + "' twice");
  const int fd = fd_;
  fd_ = -1;
  // A failed close can mean lost data (for example on a network drive), so it fails the file.
  if (::close(fd) != 0) {
    const int error = errno;
    ::unlinkat(folder_->fd(), tempName_.c_str(), 0);
    throw systemError("cannot write", finalPath(), error);
  }
}

void PendingFile::commit(bool replace) {
  close();
  const int renamed =
      replace ? ::renameat(folder_->fd(), tempName_.c_str(), folder_->fd(), name_.c_str())
              : RenameNoReplace(folder_->fd(), tempName_.c_str(), name_.c_str());
  if (renamed != 0) {
    const int error = errno;
    ::unlinkat(folder_->fd(), tempName_.c_str(), 0);
    throw systemError("cannot create", finalPath(), error);
  }
}

void PendingFile::commitUnderFreeName(const std::function<std::string()>& nextName) {
  close();
  while (RenameNoReplace(folder_->fd(), tempName_.c_str(), name_.c_str()) != 0) {
    const int error = errno;
    std::string next;
    if (error == EEXIST) {
      try {
        next = nextName();
      } catch (...) {
        ::unlinkat(folder_->fd(), tempName_.c_str(), 0);
        throw;
      }
    }
    if (next.empty() || next.find('/') != std::string::npos) {
      ::unlinkat(folder_->fd(), tempName_.c_str(), 0);
      throw systemError("cannot create", finalPath(), error);
    }
    name_ = std::move(next);
  }
}

}  // namespace qc
