#include "mapi/file_source.h"

#include <algorithm>
#include <cerrno>

#include "util/error.h"

namespace qc::mapi {

std::shared_ptr<FileSource> FileSource::Open(const std::string& path, const std::string& what) {
  auto file = std::make_unique<sys::InputFile>();
  if (const int error = file->open(path); error != 0) {
    if (error == sys::kNotRegularFile || error == EISDIR) {
      throw Error("cannot read " + what + " '" + path + "': it is not a regular file", error);
    }
    throw systemError("cannot open " + what, path, error);
  }
  std::int64_t size = 0;
  if (const int error = file->size(size); error != 0) {
    throw systemError("cannot open " + what, path, error);
  }
  return std::make_shared<FileSource>(std::move(file), path, static_cast<std::uint64_t>(size));
}

FileSource::FileSource(std::unique_ptr<sys::InputFile> file, std::string path, std::uint64_t size)
    : file_(std::move(file)), path_(std::move(path)), size_(size) {}

std::size_t FileSource::read(std::uint64_t offset, std::uint8_t* out, std::size_t n) const {
  if (offset >= size_) return 0;
  n = static_cast<std::size_t>(std::min<std::uint64_t>(n, size_ - offset));
  std::size_t got = 0;
  if (const int error = file_->readAt(offset, out, n, got); error != 0) {
    throw systemError("cannot read", path_, error);
  }
  return got;
}

}  // namespace qc::mapi
