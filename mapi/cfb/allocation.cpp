#include "mapi/cfb/allocation.h"

#include <algorithm>

#include "util/error.h"

namespace qc::mapi::cfb {

namespace {

std::uint32_t DifatSectorsFor(std::uint64_t fatSectors) {
  if (fatSectors <= kHeaderDifatEntries) return 0;
  return static_cast<std::uint32_t>(CeilDiv(fatSectors - kHeaderDifatEntries, kIdsPerDifatSector));
}

// The smallest FAT that can describe every sector including its own and the DIFAT's.
std::uint64_t FatSectorsFor(std::uint64_t dataSectors) {
  std::uint64_t fat = std::max<std::uint64_t>(1, CeilDiv(dataSectors, kIdsPerSector));
  while (fat * kIdsPerSector < dataSectors + fat + DifatSectorsFor(fat)) ++fat;
  return fat;
}

// One run of consecutive sectors forming a chain.
void Chain(std::vector<std::uint32_t>& table, std::uint32_t first, std::uint32_t count) {
  for (std::uint32_t i = 0; i < count; ++i) {
    table[first + i] = i + 1 == count ? kEndOfChain : first + i + 1;
  }
}

}  // namespace

Layout PlanLayout(std::vector<DirEntry>& entries) {
  Layout layout;
  std::uint64_t miniSectors = 0;
  std::uint64_t regularSectors = 0;
  for (std::uint32_t id = 0; id < entries.size(); ++id) {
    const DirEntry& e = entries[id];
    if (e.type != ObjectType::Stream || e.size == 0) continue;
    if (e.size < kMiniStreamCutoff) {
      layout.miniStreams.push_back(id);
      miniSectors += CeilDiv(e.size, kMiniSectorSize);
    } else {
      layout.regularStreams.push_back(id);
      regularSectors += CeilDiv(e.size, kSectorSize);
    }
  }
  const std::uint64_t miniStreamSize = miniSectors * kMiniSectorSize;
  const std::uint64_t directory = CeilDiv(entries.size(), kEntriesPerSector);
  const std::uint64_t miniFat = CeilDiv(miniSectors, kIdsPerSector);
  const std::uint64_t miniStream = CeilDiv(miniStreamSize, kSectorSize);
  const std::uint64_t data = directory + miniFat + miniStream + regularSectors;
  const std::uint64_t fatCount = FatSectorsFor(data);
  const std::uint64_t difatCount = DifatSectorsFor(fatCount);
  const std::uint64_t total = fatCount + difatCount + data;
  if (total >= kMaxRegSect || miniStreamSize > kMaxStreamSize) {
    throw Error("the streams are too large for one Compound File");
  }

  const auto fatSectors = static_cast<std::uint32_t>(fatCount);
  layout.difatSectorCount = static_cast<std::uint32_t>(difatCount);
  layout.directorySectorCount = static_cast<std::uint32_t>(directory);
  layout.miniFatSectorCount = static_cast<std::uint32_t>(miniFat);
  layout.miniStreamSectorCount = static_cast<std::uint32_t>(miniStream);
  layout.totalSectors = static_cast<std::uint32_t>(total);

  const std::uint32_t firstDifat = fatSectors;
  const std::uint32_t firstDirectory = firstDifat + layout.difatSectorCount;
  const std::uint32_t firstMiniFat = firstDirectory + layout.directorySectorCount;
  const std::uint32_t firstMiniStream = firstMiniFat + layout.miniFatSectorCount;
  std::uint32_t next = firstMiniStream + layout.miniStreamSectorCount;

  layout.fat.assign(std::size_t{fatSectors} * kIdsPerSector, kFreeSect);
  std::fill_n(layout.fat.begin(), fatSectors, kFatSect);
  std::fill_n(layout.fat.begin() + firstDifat, layout.difatSectorCount, kDifSect);
  Chain(layout.fat, firstDirectory, layout.directorySectorCount);
  Chain(layout.fat, firstMiniFat, layout.miniFatSectorCount);
  Chain(layout.fat, firstMiniStream, layout.miniStreamSectorCount);
  for (std::uint32_t id : layout.regularStreams) {
    const auto count = static_cast<std::uint32_t>(CeilDiv(entries[id].size, kSectorSize));
    entries[id].startSector = next;
    Chain(layout.fat, next, count);
    next += count;
  }

  layout.miniFat.assign(std::size_t{layout.miniFatSectorCount} * kIdsPerSector, kFreeSect);
  std::uint32_t nextMini = 0;
  for (std::uint32_t id : layout.miniStreams) {
    const auto count = static_cast<std::uint32_t>(CeilDiv(entries[id].size, kMiniSectorSize));
    entries[id].startSector = nextMini;
    Chain(layout.miniFat, nextMini, count);
    nextMini += count;
  }
  for (DirEntry& e : entries) {
    if (e.type == ObjectType::Stream && e.size == 0) e.startSector = kEndOfChain;
  }
  entries[0].startSector = miniStreamSize > 0 ? firstMiniStream : kEndOfChain;
  entries[0].size = miniStreamSize;

  HeaderFields& h = layout.header;
  h.fatSectorCount = fatSectors;
  h.firstDirectorySector = firstDirectory;
  h.firstMiniFatSector = layout.miniFatSectorCount > 0 ? firstMiniFat : kEndOfChain;
  h.miniFatSectorCount = layout.miniFatSectorCount;
  h.firstDifatSector = layout.difatSectorCount > 0 ? firstDifat : kEndOfChain;
  h.difatSectorCount = layout.difatSectorCount;
  for (std::uint32_t i = 0; i < std::min<std::uint32_t>(fatSectors, kHeaderDifatEntries); ++i) {
    h.difat[i] = i;
  }
  return layout;
}

// DIFAT sector: the FAT sector numbers past the header's 109, then the link to the next one.
std::vector<std::uint32_t> DifatSector(const Layout& layout, std::uint32_t index) {
  std::vector<std::uint32_t> out(kIdsPerSector, kFreeSect);
  const std::uint32_t fatSectors = layout.header.fatSectorCount;
  for (std::uint32_t i = 0; i < kIdsPerDifatSector; ++i) {
    const std::uint64_t fatIndex =
        kHeaderDifatEntries + std::uint64_t{index} * kIdsPerDifatSector + i;
    if (fatIndex < fatSectors) out[i] = static_cast<std::uint32_t>(fatIndex);
  }
  out[kIdsPerDifatSector] = index + 1 < layout.difatSectorCount
                                ? layout.header.firstDifatSector + index + 1
                                : kEndOfChain;
  return out;
}

}  // namespace qc::mapi::cfb
