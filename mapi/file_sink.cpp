#include "mapi/file_sink.h"

#include <algorithm>

#include "util/error.h"
#include "util/per_thread.h"

namespace qc::mapi {

namespace {

constexpr std::size_t kBufferSize = std::size_t{1} << 16;  // most .msg files fit in one write

// The buffer of the sink last closed on this thread, for the next one: a conversion writes
// thousands of files a second, and a fresh 64 KB each time costs more than small files' writes.
struct SpareSinkBuffer {
  std::vector<std::uint8_t> bytes;
};

std::vector<std::uint8_t>& SpareBuffer() {
  return PerThread<SpareSinkBuffer>().bytes;
}

std::vector<std::uint8_t> TakeBuffer() {
  std::vector<std::uint8_t> buffer = std::move(SpareBuffer());
  buffer.clear();
  buffer.reserve(kBufferSize);
  return buffer;
}

}  // namespace

FileSink::FileSink(const std::string& finalPath) : file_(finalPath), buffer_(TakeBuffer()) {}

FileSink::FileSink(const OutputFolder& folder, std::string name)
    : file_(folder, std::move(name)), buffer_(TakeBuffer()) {}

FileSink::~FileSink() {
  if (SpareBuffer().capacity() < buffer_.capacity()) SpareBuffer() = std::move(buffer_);
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

void FileSink::commit(bool replace, Durability durability) {
  flush();
  file_.commit(replace, durability);
}

void FileSink::commitUnderFreeName(const std::function<std::string()>& nextName,
                                   Durability durability) {
  flush();
  file_.commitUnderFreeName(nextName, durability);
}

}  // namespace qc::mapi
