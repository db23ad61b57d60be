// Where everything of a Compound File goes, decided from the sizes alone before a byte is
// written: FAT, DIFAT, directory, mini FAT, mini stream, then the regular streams, each in one
// run of consecutive sectors.
#pragma once

#include <cstdint>
#include <vector>

#include "mapi/cfb/directory.h"
#include "mapi/cfb/header.h"

namespace qc::mapi::cfb {

constexpr std::uint64_t CeilDiv(std::uint64_t a, std::uint64_t b) {
  return (a + b - 1) / b;
}

struct Layout {
  HeaderFields header;
  std::uint32_t difatSectorCount = 0;
  std::uint32_t directorySectorCount = 0;
  std::uint32_t miniFatSectorCount = 0;
  std::uint32_t miniStreamSectorCount = 0;
  std::uint32_t totalSectors = 0;             // after the header
  std::vector<std::uint32_t> fat;             // a whole number of FAT sectors
  std::vector<std::uint32_t> miniFat;         // a whole number of mini FAT sectors
  std::vector<std::uint32_t> miniStreams;     // directory ids, in mini stream order
  std::vector<std::uint32_t> regularStreams;  // directory ids, in file order

  std::uint64_t fileSize() const { return kHeaderSize + std::uint64_t{totalSectors} * kSectorSize; }
};

// Places every stream, sets the start sectors in `entries` and the root's mini stream size;
// throws qc::Error when the result would exceed what a version 3 file can address.
Layout PlanLayout(std::vector<DirEntry>& entries);

// The content of DIFAT sector `index` (0-based) of the layout.
std::vector<std::uint32_t> DifatSector(const Layout& layout, std::uint32_t index);

}  // namespace qc::mapi::cfb
