#include "mapi/check/crc.h"

namespace qc::mapi::check {

std::uint32_t Crc32(const std::uint8_t* data, std::size_t size, std::uint32_t crc) {
  for (std::size_t i = 0; i < size; ++i) {
    crc ^= data[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ ((crc & 1u) ? 0xEDB88320u : 0u);
  }
  return crc;
}

}  // namespace qc::mapi::check
