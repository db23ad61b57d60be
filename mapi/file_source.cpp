#include "mapi/file_source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "util/error.h"

namespace qc::mapi {

std::shared_ptr<FileSource> FileSource::Open(const std::string& path, const std::string& what) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) throw systemError("cannot open " + what, path, errno);
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    const int error = errno;
    ::close(fd);
    throw systemError("cannot open " + what, path, error);
  }
  if (!S_ISREG(st.st_mode)) {
    ::close(fd);
    throw Error("cannot read " + what + " '" + path + "': it is not a regular file",
                S_ISDIR(st.st_mode) ? EISDIR : EINVAL);
  }
  return std::make_shared<FileSource>(fd, path, 0, static_cast<std::uint64_t>(st.st_size));
}

FileSource::FileSource(int fd, std::string path, std::uint64_t offset, std::uint64_t size)
    : fd_(fd), path_(std::move(path)), offset_(offset), size_(size) {}

FileSource::~FileSource() {
  ::close(fd_);
}

std::size_t FileSource::read(std::uint64_t offset, std::uint8_t* out, std::size_t n) const {
  if (offset >= size_) return 0;
  n = static_cast<std::size_t>(std::min<std::uint64_t>(n, size_ - offset));
  std::size_t done = 0;
  while (done < n) {
    const ssize_t got =
        ::pread(fd_, out + done, n - done, static_cast<off_t>(offset_ + offset + done));
    if (got < 0) {
      if (errno == EINTR) continue;
      throw systemError("cannot read", path_, errno);
    }
    if (got == 0) break;
    done += static_cast<std::size_t>(got);
  }
  return done;
}

}  // namespace qc::mapi
