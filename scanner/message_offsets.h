// What the separator search hands to the conversion.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace qc {

// The 0-based offsets of the separators found, in file order. Kept as numbers; text() gives the
// "0|1834|5120|" form the finder's users know.
class OffsetList {
 public:
  void append(std::int64_t offset) { offsets_.push_back(offset); }
  void clear() { offsets_.clear(); }
  void keepFirst(std::size_t n) { offsets_.resize(std::min(n, offsets_.size())); }
  std::size_t size() const { return offsets_.size(); }
  bool empty() const { return offsets_.empty(); }
  std::int64_t operator[](std::size_t i) const { return offsets_[i]; }
  const std::vector<std::int64_t>& values() const { return offsets_; }
  std::string text() const;

 private:
  std::vector<std::int64_t> offsets_;
};

// Shared by the conversion (which resets both before each mailbox) and the finder (which sets
// the flag when a search finds nothing more, and appends every find).
struct SearchShared {
  std::int16_t SearchFinished = 0;  // 0 false, -1 true
  OffsetList MessageOffsets;
};

}  // namespace qc
