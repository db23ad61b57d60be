#include "mapi/file_sink.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "util/error.h"

namespace qc::mapi {

namespace {

constexpr std::size_t kBufferSize = std::size_t{1} << 16;  // most .msg files fit in one write

std::string TemporaryPathFor(const std::string& finalPath) {
  const std::size_t slash = finalPath.rfind('/');
  const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  return finalPath.substr(0, nameStart) + "." + finalPath.substr(nameStart) + ".part";
}

void WriteAll(int fd, const std::uint8_t* data, std::size_t size, const std::string& path) {
  while (size > 0) {
    const ssize_t done = ::write(fd, data, size);
    if (done < 0) {
      if (errno == EINTR) continue;
      throw systemError("cannot write", path, errno);
    }
    data += done;
    size -= static_cast<std::size_t>(done);
  }
}

}  // namespace

FileSink::FileSink(std::string finalPath)
    : finalPath_(std::move(finalPath)), tempPath_(TemporaryPathFor(finalPath_)) {
  fd_ = ::open(tempPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd_ < 0) throw systemError("cannot create", tempPath_, errno);
  buffer_.reserve(kBufferSize);
}

FileSink::~FileSink() {
  if (fd_ >= 0) {
    ::close(fd_);
    ::unlink(tempPath_.c_str());
  }
}

void FileSink::write(const std::uint8_t* data, std::size_t size) {
  if (fd_ < 0) throw Error("cannot write '" + finalPath_ + "': the file is already complete");
  if (buffer_.size() + size > kBufferSize) flush();
  if (size >= kBufferSize) {
    WriteAll(fd_, data, size, finalPath_);
    return;
  }
  buffer_.insert(buffer_.end(), data, data + size);
}

void FileSink::flush() {
  WriteAll(fd_, buffer_.data(), buffer_.size(), finalPath_);
  buffer_.clear();
}

void FileSink::commit() {
  if (fd_ < 0) throw Error("cannot complete '" + finalPath_ + "' twice");
  flush();
  const int fd = fd_;
  fd_ = -1;
  // A failed close can mean lost data (for example on a network drive), so it fails the file.
  if (::close(fd) != 0) {
    const int error = errno;
    ::unlink(tempPath_.c_str());
    throw systemError("cannot write", finalPath_, error);
  }
  if (::rename(tempPath_.c_str(), finalPath_.c_str()) != 0) {
    const int error = errno;
    ::unlink(tempPath_.c_str());
    throw systemError("cannot create", finalPath_, error);
  }
}

}  // namespace qc::mapi
