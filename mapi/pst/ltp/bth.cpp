#include "mapi/pst/ltp/bth.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "mapi/little_endian.h"
#include "mapi/pst/format.h"

namespace qc::mapi::pst {

std::uint32_t WriteBth(HeapWriter& heap, std::uint8_t keySize, std::uint8_t dataSize,
                       const std::uint8_t* records, std::size_t count, std::uint32_t headerHid) {
  // An item of the level being written: its first key (in `keys`) and its HID.
  struct Child {
    std::size_t key;
    std::uint32_t hid;
  };
  std::vector<Child> level;
  Bytes keys;  // the first key of each item of the level
  const std::size_t recordSize = keySize + dataSize;
  const std::size_t perLeaf = kMaxHeapItem / recordSize;
  for (std::size_t first = 0; first < count; first += perLeaf) {
    const std::size_t n = std::min(perLeaf, count - first);
    const std::uint8_t* item = records + first * recordSize;
    level.push_back({keys.size(), heap.allocate(item, n * recordSize)});
    keys.insert(keys.end(), item, item + keySize);
  }
  std::uint8_t indexLevels = 0;
  const std::size_t entrySize = keySize + 4u;
  const std::size_t perIndex = kMaxHeapItem / entrySize;
  Bytes item;
  while (level.size() > 1) {
    std::vector<Child> upper;
    Bytes upperKeys;
    for (std::size_t first = 0; first < level.size(); first += perIndex) {
      const std::size_t n = std::min(perIndex, level.size() - first);
      item.resize(n * entrySize);
      for (std::size_t i = 0; i < n; ++i) {
        std::memcpy(item.data() + i * entrySize, keys.data() + level[first + i].key, keySize);
        Put32(item.data() + i * entrySize + keySize, level[first + i].hid);
      }
      upper.push_back({upperKeys.size(), heap.allocate(item)});
      upperKeys.insert(upperKeys.end(), item.begin(), item.begin() + keySize);
    }
    level = std::move(upper);
    keys = std::move(upperKeys);
    ++indexLevels;
  }
  // BTHHEADER
  std::uint8_t header[8] = {kClientBTree, keySize, dataSize, indexLevels};
  Put32(header + 4, level.empty() ? 0 : level.front().hid);
  if (headerHid == 0) return heap.allocate(header, sizeof header);
  heap.fill(headerHid, header, sizeof header);
  return headerHid;
}

}  // namespace qc::mapi::pst
