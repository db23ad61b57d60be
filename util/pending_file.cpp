#include "util/pending_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>

#include "util/error.h"
#include "util/random_bits.h"

namespace qc {

namespace {

// fsync() where the file system can do it. Some (network and FUSE ones) refuse it, for folders
// above all, with EINVAL: nothing more can be done there, and it is no failure of ours.
int SyncToDisk(int fd) {
  for (;;) {
    if (::fsync(fd) == 0) return 0;
    if (errno == EINTR) continue;
    return errno == EINVAL || errno == EOPNOTSUPP ? 0 : errno;
  }
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
  try {
    lock_ = std::make_unique<WriterLock>(fd_, path_);
  } catch (...) {
    ::close(fd_);
    throw;
  }
}

OutputFolder::~OutputFolder() {
  lock_.reset();  // it lives in the folder
  if (fd_ >= 0) ::close(fd_);
}

void OutputFolder::flush() const {
  // syncfs() reports write-back errors of the file system since this descriptor was opened
  // (Linux 5.8 and later), so a file lost on the way to the disk is not passed off as written.
  if (::syncfs(fd_) != 0) throw systemError("cannot flush the files written to", path_, errno);
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
  // A final name near the limit must not fail for want of room in its temporary name.
  const std::string_view prefix = NamePrefix(name_, kNameMax - 1 - kTemporarySuffixSize);
  for (int attempt = 0;; ++attempt) {
    tempName_ = TemporaryFileName(prefix, folder_->writer(),
                                  static_cast<std::uint32_t>(UnpredictableNumber()));
    // O_EXCL: never an existing file, and never through a link, dangling or not.
    fd_ = ::openat(folder_->fd(), tempName_.c_str(),
                   O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd_ >= 0) return;
    if (errno == EEXIST && attempt < 16) continue;
    throw systemError("cannot create", folder_->pathOf(tempName_), errno);
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

void PendingFile::commit(bool replace, Durability durability) {
  if (fd_ < 0) throw Error("cannot complete '" + finalPath() + "' twice");
  const int fd = fd_;
  fd_ = -1;
  // The bytes first: a power cut after the rename must not leave the final name on a file
  // whose bytes never reached the disk.
  const int synced = durability == Durability::Now ? SyncToDisk(fd) : 0;
  struct stat ours {};
  if (durability == Durability::Now && ::fstat(fd, &ours) != 0) ours = {};
  // A failed close can mean lost data (for example on a network drive), so it fails the file.
  if (::close(fd) != 0 || synced != 0) {
    const int error = synced != 0 ? synced : errno;
    ::unlinkat(folder_->fd(), tempName_.c_str(), 0);
    throw systemError("cannot write", finalPath(), error);
  }
  const int renamed =
      replace ? ::renameat(folder_->fd(), tempName_.c_str(), folder_->fd(), name_.c_str())
              : RenameNoReplace(folder_->fd(), tempName_.c_str(), name_.c_str());
  if (renamed != 0) {
    const int error = errno;
    ::unlinkat(folder_->fd(), tempName_.c_str(), 0);
    throw systemError("cannot create", finalPath(), error);
  }
  // Then the folder, which holds the new name. A name that may not last is not left standing
  // as if it would, but only while it is still our file.
  if (durability == Durability::Now) {
    if (const int error = SyncToDisk(folder_->fd()); error != 0) {
      struct stat named {};
      if (::fstatat(folder_->fd(), name_.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
          named.st_dev == ours.st_dev && named.st_ino == ours.st_ino) {
        ::unlinkat(folder_->fd(), name_.c_str(), 0);
      }
      throw systemError("cannot write", finalPath(), error);
    }
  }
}

}  // namespace qc
