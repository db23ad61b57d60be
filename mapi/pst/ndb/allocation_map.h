// The allocation maps (AMap pages every 253,952 bytes from 0x4400, with PMap, FMap and FPMap
// pages where MS-PST places them) and the allocator that keeps them: space is handed out front
// to back, so each map is complete, and written, as soon as allocation moves past its range.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "mapi/sink.h"

namespace qc::mapi::pst {

// Which map pages open the range of AMap number `index`.
struct MapPages {
  bool pmap = false;
  bool fmap = false;
  bool fpmap = false;
  unsigned count() const { return 1u + pmap + fmap + fpmap; }
};
MapPages MapPagesOf(std::uint64_t amapIndex);
std::uint64_t AMapOffset(std::uint64_t amapIndex);

// Writes at `offset` of a sink that is appended to: over bytes already there, after zeros up to
// `offset` when it lies past the end.
void PutAt(PositionedSink& sink, std::uint64_t offset, const std::uint8_t* data, std::size_t size);

class SpaceAllocator {
 public:
  explicit SpaceAllocator(PositionedSink& sink);

  // A place for `size` bytes (a multiple of 64) on an `align` boundary, inside one AMap's range.
  std::uint64_t allocate(std::uint64_t size, std::uint64_t align);

  // Seals the last range and writes the FMap pages; afterwards the totals below are final.
  void finish();
  std::uint64_t fileEof() const { return AMapOffset(region_ + 1); }
  std::uint64_t lastAMap() const { return AMapOffset(region_); }
  std::uint64_t freeBytes() const { return freeBytes_; }
  // Bytes of the file handed out so far: where the next block goes.
  std::uint64_t used() const { return next_; }

 private:
  void openRegion(std::uint64_t index);
  void sealRegion();

  PositionedSink& sink_;
  std::uint64_t region_ = 0;
  std::uint64_t next_ = 0;  // first byte not yet handed out
  std::array<std::uint8_t, 496> bits_{};
  std::uint64_t freeBytes_ = 0;
  std::vector<std::uint8_t> longestFree_;  // per sealed AMap, for the FMap pages
};

}  // namespace qc::mapi::pst
