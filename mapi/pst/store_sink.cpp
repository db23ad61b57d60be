#include "mapi/pst/store_sink.h"

#include <algorithm>
#include <cstring>

namespace qc::mapi::pst {

namespace {
constexpr std::size_t kBufferSize = std::size_t{1} << 20;
}

void MemorySink::writeAt(std::uint64_t offset, const std::uint8_t* data, std::size_t size) {
  if (offset + size > bytes_.size()) bytes_.resize(offset + size);
  std::memcpy(bytes_.data() + offset, data, size);
}

FileStoreSink::FileStoreSink(std::string finalPath) : file_(finalPath) {
  buffer_.reserve(kBufferSize);
}

FileStoreSink::~FileStoreSink() = default;

void FileStoreSink::flush() {
  if (buffer_.empty()) return;
  file_.writeAt(bufferOffset_, buffer_.data(), buffer_.size());
  buffer_.clear();
}

void FileStoreSink::writeAt(std::uint64_t offset, const std::uint8_t* data, std::size_t size) {
  end_ = std::max(end_, offset + size);
  if (offset != bufferOffset_ + buffer_.size() || buffer_.size() + size > kBufferSize) {
    flush();
    bufferOffset_ = offset;
  }
  if (size >= kBufferSize) {
    file_.writeAt(offset, data, size);
    bufferOffset_ = offset + size;
    return;
  }
  buffer_.insert(buffer_.end(), data, data + size);
}

void FileStoreSink::extendTo(std::uint64_t size) {
  if (size <= end_) return;
  const std::uint8_t zero = 0;
  writeAt(size - 1, &zero, 1);
}

void FileStoreSink::commit() {
  flush();
  file_.commit();
}

}  // namespace qc::mapi::pst
