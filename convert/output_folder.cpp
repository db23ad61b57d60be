#include "convert/output_folder.h"

#include <fcntl.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <vector>

#include "util/error.h"

namespace qc {

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

PendingFile::PendingFile(const OutputFolder& folder, std::string name)
    : folder_(folder), name_(std::move(name)), tempName_("." + name_ + ".part") {
  fd_ = ::openat(folder_.fd(), tempName_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd_ < 0) throw systemError("cannot create", folder_.pathOf(tempName_), errno);
}

PendingFile::~PendingFile() {
  discard();
}

void PendingFile::discard() noexcept {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
    ::unlinkat(folder_.fd(), tempName_.c_str(), 0);
  }
}

void PendingFile::write(const void* data, std::size_t size) {
  const Piece piece{data, size};
  write(&piece, 1);
}

void PendingFile::write(const Piece* pieces, std::size_t count) {
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
      const int error = errno;
      throw systemError("cannot write", folder_.pathOf(name_), error);
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

void PendingFile::commit() {
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) {
    const int error = errno;
    ::unlinkat(folder_.fd(), tempName_.c_str(), 0);
    throw systemError("cannot write", folder_.pathOf(name_), error);
  }
  if (::renameat(folder_.fd(), tempName_.c_str(), folder_.fd(), name_.c_str()) != 0) {
    const int error = errno;
    ::unlinkat(folder_.fd(), tempName_.c_str(), 0);
    throw systemError("cannot create", folder_.pathOf(name_), error);
  }
}

}  // namespace qc
