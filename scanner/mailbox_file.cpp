#include "scanner/mailbox_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "util/error.h"

namespace qc {

std::int64_t FileSizeOf(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) throw systemError("cannot read the size of", path, errno);
  if (S_ISDIR(st.st_mode)) throw systemError("cannot read the size of", path, EISDIR);
  return static_cast<std::int64_t>(st.st_size);
}

bool IsExistingFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

MailboxFile::MailboxFile(const std::string& path) : path_(path) {
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) throw systemError("cannot open the mailbox", path, errno);
  struct stat st {};
  if (::fstat(fd_, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd_);
    throw systemError("cannot open the mailbox", path, EISDIR);
  }
#ifdef POSIX_FADV_SEQUENTIAL
  ::posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
#endif
}

MailboxFile::~MailboxFile() {
  if (fd_ >= 0) ::close(fd_);
}

std::int64_t MailboxFile::size() const {
  struct stat st {};
  if (::fstat(fd_, &st) != 0) throw systemError("cannot read the size of", path_, errno);
  return static_cast<std::int64_t>(st.st_size);
}

bool MailboxFile::isNamedBy(const std::string& path) const {
  struct stat mine {
  }, named{};
  return ::fstat(fd_, &mine) == 0 && ::stat(path.c_str(), &named) == 0 &&
         mine.st_dev == named.st_dev && mine.st_ino == named.st_ino;
}

std::size_t MailboxFile::readAt(std::int64_t offset, std::uint8_t* buffer, std::size_t n) const {
  std::size_t done = 0;
  while (done < n) {
    const ssize_t got = ::pread(fd_, buffer + done, n - done,
                                static_cast<off_t>(offset) + static_cast<off_t>(done));
    if (got == 0) break;
    if (got < 0) {
      if (errno == EINTR) continue;
      throw systemError("cannot read the mailbox", path_, errno);
    }
    done += static_cast<std::size_t>(got);
  }
  return done;
}

ByteWindow::ByteWindow(const MailboxFile& file, std::size_t capacity)
    : file_(file), capacity_(capacity) {}

std::span<const std::uint8_t> ByteWindow::at(std::int64_t pos, std::size_t want) {
  const std::int64_t end = start_ + static_cast<std::int64_t>(length_);
  if (pos >= start_ && pos + static_cast<std::int64_t>(want) <= end) {
    const auto skip = static_cast<std::size_t>(pos - start_);
    return {buffer_.get() + skip, length_ - skip};
  }
  const auto behind =
      static_cast<std::size_t>(std::min<std::int64_t>(pos, static_cast<std::int64_t>(kLookBehind)));
  const std::size_t ahead = std::max(want, capacity_);
  if (behind + ahead > size_) {
    size_ = behind + ahead;
    buffer_ = std::make_unique_for_overwrite<std::uint8_t[]>(size_);
  }
  start_ = pos - static_cast<std::int64_t>(behind);
  length_ = file_.readAt(start_, buffer_.get(), behind + ahead);
  if (length_ <= behind) return {};
  return {buffer_.get() + behind, length_ - behind};
}

}  // namespace qc
