#include "mapi/pst/store_sink.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>

#include "util/error.h"

namespace qc::mapi::pst {

namespace {

constexpr std::size_t kBufferSize = std::size_t{1} << 20;

std::string TemporaryPathFor(const std::string& finalPath, unsigned attempt) {
  const std::size_t slash = finalPath.rfind('/');
  const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  char suffix[32];
  std::snprintf(suffix, sizeof suffix, ".%u.part", attempt);
  return finalPath.substr(0, nameStart) + "." + finalPath.substr(nameStart) + suffix;
}

void WriteAllAt(int fd, const std::uint8_t* data, std::size_t size, std::uint64_t offset,
                const std::string& path) {
  while (size > 0) {
    const ssize_t done = ::pwrite(fd, data, size, static_cast<off_t>(offset));
    if (done < 0) {
      if (errno == EINTR) continue;
      throw systemError("cannot write", path, errno);
    }
    if (done == 0) throw systemError("cannot write", path, ENOSPC);
    data += done;
    size -= static_cast<std::size_t>(done);
    offset += static_cast<std::uint64_t>(done);
  }
}

}  // namespace

void MemorySink::writeAt(std::uint64_t offset, const std::uint8_t* data, std::size_t size) {
  if (offset + size > bytes_.size()) bytes_.resize(offset + size);
  std::memcpy(bytes_.data() + offset, data, size);
}

FileStoreSink::FileStoreSink(std::string finalPath) : finalPath_(std::move(finalPath)) {
  // O_EXCL: never write through a file or link that someone else put under our name.
  std::random_device random;
  for (unsigned attempt = 0; attempt < 16 && fd_ < 0; ++attempt) {
    tempPath_ = TemporaryPathFor(finalPath_, attempt == 0 ? 0 : random() % 1000000);
    fd_ = ::open(tempPath_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd_ < 0 && errno != EEXIST) throw systemError("cannot create", tempPath_, errno);
  }
  if (fd_ < 0) throw systemError("cannot create", tempPath_, EEXIST);
  buffer_.reserve(kBufferSize);
}

FileStoreSink::~FileStoreSink() {
  if (fd_ >= 0) {
    ::close(fd_);
    ::unlink(tempPath_.c_str());
  }
}

void FileStoreSink::flush() {
  if (buffer_.empty()) return;
  WriteAllAt(fd_, buffer_.data(), buffer_.size(), bufferOffset_, finalPath_);
  buffer_.clear();
}

void FileStoreSink::writeAt(std::uint64_t offset, const std::uint8_t* data, std::size_t size) {
  if (fd_ < 0) throw Error("cannot write '" + finalPath_ + "': the file is already complete");
  if (offset != bufferOffset_ + buffer_.size() || buffer_.size() + size > kBufferSize) {
    flush();
    bufferOffset_ = offset;
  }
  if (size >= kBufferSize) {
    WriteAllAt(fd_, data, size, offset, finalPath_);
    bufferOffset_ = offset + size;
    return;
  }
  buffer_.insert(buffer_.end(), data, data + size);
}

void FileStoreSink::resize(std::uint64_t size) {
  flush();
  if (::ftruncate(fd_, static_cast<off_t>(size)) != 0) {
    throw systemError("cannot write", finalPath_, errno);
  }
}

void FileStoreSink::commit() {
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

}  // namespace qc::mapi::pst
