#include "mapi/file_sink.h"

#include <algorithm>

#include "util/error.h"

namespace qc::mapi {

namespace {
constexpr std::size_t kBufferSize = std::size_t{1} << 16;  // most .msg files fit in one write
}  // namespace

FileSink::FileSink(const std::string& finalPath) : file_(finalPath) {
  buffer_.reserve(kBufferSize);
}

void FileSink::write(const std::uint8_t* data, std::size_t size) {
  if (file_.complete()) throw Error("cannot write '" + file_.finalPath() + "': it is complete");
  if (buffer_.size() + size > kBufferSize) flush();
  if (size >= kBufferSize) {
    file_.write(data, size);
    return;
  }
  buffer_.insert(buffer_.end(), data, data + size);
}

void FileSink::writeAt(std::uint64_t offset, const std::uint8_t* data, std::size_t size) {
  if (file_.complete()) throw Error("cannot write '" + file_.finalPath() + "': it is complete");
  if (offset > this->size() || size > this->size() - offset) {
    throw Error("cannot write " + std::to_string(size) + " bytes at " + std::to_string(offset) +
                " of '" + file_.finalPath() + "': only " + std::to_string(this->size()) +
                " bytes were written");
  }
  // The part that is in the file already goes there; the rest is still in the buffer.
  const std::uint64_t inFile = file_.bytesWritten();
  if (offset < inFile) {
    const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(size, inFile - offset));
    file_.writeAt(offset, data, n);
    offset += n;
    data += n;
    size -= n;
  }
  std::copy_n(data, size, buffer_.begin() + static_cast<std::ptrdiff_t>(offset - inFile));
}

void FileSink::flush() {
  file_.write(buffer_.data(), buffer_.size());
  buffer_.clear();
}

void FileSink::commit(bool replace) {
  flush();
  file_.commit(replace);
}

}  // namespace qc::mapi
