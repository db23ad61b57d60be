#include "mapi/pst/ndb/page.h"

#include "mapi/crc32.h"
#include "mapi/little_endian.h"

namespace qc::mapi::pst {

std::uint16_t BlockSignature(std::uint64_t ib, std::uint64_t bid) {
  const auto folded = static_cast<std::uint32_t>(ib ^ bid);
  return static_cast<std::uint16_t>((folded >> 16) ^ (folded & 0xFFFF));
}

void SealPage(Page& page, std::uint8_t type, std::uint16_t signature, std::uint64_t bid) {
  std::uint8_t* trailer = page.data() + 496;
  trailer[0] = type;
  trailer[1] = type;
  Put16(trailer + 2, signature);
  Put32(trailer + 4, Crc32(page.data(), 496));
  Put64(trailer + 8, bid);
}

}  // namespace qc::mapi::pst
