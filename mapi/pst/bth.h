// BTH: a B-tree inside a heap (BTHHEADER, leaf records, index records), the index of property
// contexts and of table rows.
#pragma once

#include <cstdint>
#include <functional>

#include "mapi/pst/heap.h"

namespace qc::mapi::pst {

// Writes `count` records, given in key order by `put` (key then data, keySize + dataSize
// bytes), and returns the HID of the BTHHEADER: `header` when given (an 8-byte item reserved
// earlier), a new item otherwise.
using PutRecord = std::function<void(std::size_t index, std::uint8_t* out)>;
std::uint32_t WriteBth(HeapWriter& heap, std::uint8_t keySize, std::uint8_t dataSize,
                       std::size_t count, const PutRecord& put, std::uint32_t header = 0);

}  // namespace qc::mapi::pst
