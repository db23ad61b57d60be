// BTH: a B-tree inside a heap (BTHHEADER, leaf records, index records), the index of property
// contexts and of table rows.
#pragma once

#include <cstdint>

#include "mapi/pst/ltp/heap.h"

namespace qc::mapi::pst {

// Writes `count` records of keySize + dataSize bytes (key then data), given end to end and in
// key order, and returns the HID of the BTHHEADER: `header` when given (an 8-byte item reserved
// earlier), a new item otherwise.
std::uint32_t WriteBth(HeapWriter& heap, std::uint8_t keySize, std::uint8_t dataSize,
                       const std::uint8_t* records, std::size_t count, std::uint32_t header = 0);

}  // namespace qc::mapi::pst
