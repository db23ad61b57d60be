#include "mapi/pst/crc.h"

#include <array>

namespace qc::mapi::pst {

namespace {

// Eight tables so that eight bytes are folded per step; every block of the store passes
// through here once.
using Tables = std::array<std::array<std::uint32_t, 256>, 8>;

Tables MakeTables() {
  Tables t{};
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    t[0][i] = c;
  }
  for (std::uint32_t i = 0; i < 256; ++i) {
    for (std::size_t k = 1; k < 8; ++k) t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF];
  }
  return t;
}

}  // namespace

std::uint32_t Crc32(const std::uint8_t* data, std::size_t size, std::uint32_t crc) {
  static const Tables t = MakeTables();
  while (size >= 8) {
    const std::uint32_t low =
        crc ^ (std::uint32_t{data[0]} | (std::uint32_t{data[1]} << 8) |
               (std::uint32_t{data[2]} << 16) | (std::uint32_t{data[3]} << 24));
    crc = t[7][low & 0xFF] ^ t[6][(low >> 8) & 0xFF] ^ t[5][(low >> 16) & 0xFF] ^ t[4][low >> 24] ^
          t[3][data[4]] ^ t[2][data[5]] ^ t[1][data[6]] ^ t[0][data[7]];
    data += 8;
    size -= 8;
  }
  while (size-- > 0) crc = t[0][(crc ^ *data++) & 0xFF] ^ (crc >> 8);
  return crc;
}

}  // namespace qc::mapi::pst
