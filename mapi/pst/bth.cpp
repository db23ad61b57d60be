#include "mapi/pst/bth.h"

#include <vector>

#include "mapi/little_endian.h"
#include "mapi/pst/format.h"

namespace qc::mapi::pst {

std::uint32_t WriteBth(HeapWriter& heap, std::uint8_t keySize, std::uint8_t dataSize,
                       std::size_t count, const PutRecord& put, std::uint32_t headerHid) {
  struct Child {
    Bytes key;
    std::uint32_t hid;
  };
  std::vector<Child> level;
  const std::size_t recordSize = keySize + dataSize;
  const std::size_t perLeaf = kMaxHeapItem / recordSize;
  Bytes item;
  for (std::size_t first = 0; first < count; first += perLeaf) {
    const std::size_t n = std::min(perLeaf, count - first);
    item.assign(n * recordSize, 0);
    for (std::size_t i = 0; i < n; ++i) put(first + i, item.data() + i * recordSize);
    level.push_back({Bytes(item.begin(), item.begin() + keySize), heap.allocate(item)});
  }
  std::uint8_t indexLevels = 0;
  const std::size_t perIndex = kMaxHeapItem / (keySize + 4u);
  while (level.size() > 1) {
    std::vector<Child> upper;
    for (std::size_t first = 0; first < level.size(); first += perIndex) {
      const std::size_t n = std::min(perIndex, level.size() - first);
      item.clear();
      for (std::size_t i = 0; i < n; ++i) {
        item.insert(item.end(), level[first + i].key.begin(), level[first + i].key.end());
        Append32(item, level[first + i].hid);
      }
      upper.push_back({level[first].key, heap.allocate(item)});
    }
    level = std::move(upper);
    ++indexLevels;
  }
  // BTHHEADER
  Bytes header;
  header.push_back(kClientBTree);
  header.push_back(keySize);
  header.push_back(dataSize);
  header.push_back(indexLevels);
  Append32(header, level.empty() ? 0 : level.front().hid);
  if (headerHid == 0) return heap.allocate(header);
  heap.fill(headerHid, header);
  return headerHid;
}

}  // namespace qc::mapi::pst
