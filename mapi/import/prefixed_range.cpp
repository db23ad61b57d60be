#include "mapi/import/prefixed_range.h"

#include <algorithm>
#include <cstring>

namespace qc::mapi::import {

PrefixedRange::PrefixedRange(std::string prefix, std::shared_ptr<const ByteSource> bytes,
                             std::uint64_t from)
    : prefix_(std::move(prefix)), bytes_(std::move(bytes)), from_(std::min(from, bytes_->size())) {}

std::uint64_t PrefixedRange::size() const {
  return prefix_.size() + bytes_->size() - from_;
}

std::size_t PrefixedRange::read(std::uint64_t offset, std::uint8_t* out, std::size_t n) const {
  std::size_t done = 0;
  if (offset < prefix_.size()) {
    done = static_cast<std::size_t>(std::min<std::uint64_t>(n, prefix_.size() - offset));
    std::memcpy(out, prefix_.data() + offset, done);
  }
  if (done < n) {
    const std::uint64_t at = from_ + (offset + done - prefix_.size());
    done += bytes_->read(at, out + done, n - done);
  }
  return done;
}

}  // namespace qc::mapi::import
