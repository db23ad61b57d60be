#include "mapi/file_sink.h"

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

void FileSink::flush() {
  file_.write(buffer_.data(), buffer_.size());
  buffer_.clear();
}

void FileSink::commit() {
  flush();
  file_.commit();
}

}  // namespace qc::mapi
