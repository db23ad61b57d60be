#include "mapi/pst/ndb/allocation_map.h"

#include <algorithm>
#include <stdexcept>

#include "mapi/pst/format.h"
#include "mapi/pst/ndb/page.h"

namespace qc::mapi::pst {

namespace {

// The longest run of clear bits in an AMap, in 64-byte units, as an FMap byte holds it.
std::uint8_t LongestFreeRun(const std::array<std::uint8_t, 496>& bits) {
  unsigned best = 0;
  unsigned run = 0;
  for (std::size_t i = 0; i < bits.size() * 8; ++i) {
    if (bits[i / 8] & (0x80u >> (i % 8))) {
      run = 0;
    } else {
      best = std::max(best, ++run);
    }
  }
  return static_cast<std::uint8_t>(std::min(best, 255u));
}

void WriteMapPage(PositionedSink& sink, std::uint64_t offset, std::uint8_t type,
                  const std::uint8_t* body) {
  Page page{};
  std::copy(body, body + 496, page.begin());
  SealPage(page, type, 0, offset);
  PutAt(sink, offset, page.data(), page.size());
}

}  // namespace

void PutAt(PositionedSink& sink, std::uint64_t offset, const std::uint8_t* data, std::size_t size) {
  static const std::array<std::uint8_t, 4096> kZeros{};
  for (std::uint64_t end = sink.size(); end < offset;) {
    const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(kZeros.size(), offset - end));
    sink.write(kZeros.data(), n);
    end += n;
  }
  const std::uint64_t end = sink.size();
  if (offset < end) {
    const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(size, end - offset));
    sink.writeAt(offset, data, n);
    data += n;
    size -= n;
  }
  if (size > 0) sink.write(data, size);
}

MapPages MapPagesOf(std::uint64_t amapIndex) {
  MapPages pages;
  pages.pmap = amapIndex % kPMapInterval == 0;
  pages.fmap = amapIndex >= kFirstFMapAMap && (amapIndex - kFirstFMapAMap) % kFMapInterval == 0;
  pages.fpmap = amapIndex >= kFirstFPMapAMap && (amapIndex - kFirstFPMapAMap) % kFPMapInterval == 0;
  return pages;
}

std::uint64_t AMapOffset(std::uint64_t amapIndex) {
  return kFirstAMapOffset + amapIndex * kAMapCoverage;
}

SpaceAllocator::SpaceAllocator(PositionedSink& sink) : sink_(sink) {
  openRegion(0);
  PutAt(sink_, next_, nullptr, 0);  // the header, the density list and the first maps' places
}

void SpaceAllocator::openRegion(std::uint64_t index) {
  region_ = index;
  bits_.fill(0);
  // Each map page sits at a fixed place after the AMap (8 bits of 64 bytes: one page).
  const MapPages pages = MapPagesOf(index);
  bits_[0] = 0xFF;
  if (pages.pmap) bits_[1] = 0xFF;
  if (pages.fmap) bits_[2] = 0xFF;
  if (pages.fpmap) bits_[3] = 0xFF;
  const unsigned last = pages.fpmap ? 4 : pages.fmap ? 3 : pages.pmap ? 2 : 1;
  next_ = AMapOffset(index) + last * kPageSize;
}

std::uint64_t SpaceAllocator::allocate(std::uint64_t size, std::uint64_t align) {
  if (size == 0 || size % kBlockAlign != 0 || size > kAMapCoverage - 4 * kPageSize) {
    throw std::logic_error("allocation of an impossible size");
  }
  std::uint64_t at = (next_ + align - 1) / align * align;
  if (at + size > AMapOffset(region_ + 1)) {
    sealRegion();
    openRegion(region_ + 1);
    at = (next_ + align - 1) / align * align;
  }
  const std::uint64_t first = (at - AMapOffset(region_)) / kBlockAlign;
  const std::uint64_t last = first + size / kBlockAlign;
  for (std::uint64_t unit = first; unit < last; ++unit) {
    bits_[unit / 8] |= static_cast<std::uint8_t>(0x80u >> (unit % 8));
  }
  next_ = at + size;
  return at;
}

void SpaceAllocator::sealRegion() {
  const std::uint64_t start = AMapOffset(region_);
  std::uint64_t used = 0;
  for (const std::uint8_t b : bits_) used += static_cast<unsigned>(__builtin_popcount(b));
  freeBytes_ += kAMapCoverage - used * kBlockAlign;
  longestFree_.push_back(LongestFreeRun(bits_));
  WriteMapPage(sink_, start, kPageTypeAMap, bits_.data());
  const MapPages pages = MapPagesOf(region_);
  std::array<std::uint8_t, 496> full;
  full.fill(0xFF);
  // Page maps and free-page maps are deprecated; Outlook writes them full.
  if (pages.pmap) WriteMapPage(sink_, start + kPageSize, kPageTypePMap, full.data());
  if (pages.fpmap) WriteMapPage(sink_, start + 3 * kPageSize, kPageTypeFPMap, full.data());
}

void SpaceAllocator::finish() {
  sealRegion();
  // Each FMap page holds the longest free run of the 496 AMaps from its own onwards.
  for (std::uint64_t index = kFirstFMapAMap; index <= region_; index += kFMapInterval) {
    std::array<std::uint8_t, 496> body{};
    for (std::size_t i = 0; i < body.size() && index + i <= region_; ++i) {
      body[i] = longestFree_[index + i];
    }
    WriteMapPage(sink_, AMapOffset(index) + 2 * kPageSize, kPageTypeFMap, body.data());
  }
  PutAt(sink_, fileEof(), nullptr, 0);  // the last range's free space, as zeros
}

}  // namespace qc::mapi::pst
