#include "mapi/cfb/header.h"

#include <cstring>

#include "mapi/little_endian.h"

namespace qc::mapi::cfb {

// Compound File header (MS-CFB 2.2); the CLSID, reserved bytes and transaction signature stay 0.
std::array<std::uint8_t, kHeaderSize> EncodeHeader(const HeaderFields& fields) {
  namespace at = header_offset;
  std::array<std::uint8_t, kHeaderSize> out{};
  std::uint8_t* p = out.data();
  std::memcpy(p, kSignature, sizeof kSignature);
  Put16(p + at::kMinorVersion, kMinorVersion);
  Put16(p + at::kMajorVersion, kMajorVersion);
  Put16(p + at::kByteOrder, kByteOrderMark);
  Put16(p + at::kSectorShift, kSectorShift);
  Put16(p + at::kMiniSectorShift, kMiniSectorShift);
  Put32(p + at::kFatSectorCount, fields.fatSectorCount);
  Put32(p + at::kFirstDirectorySector, fields.firstDirectorySector);
  Put32(p + at::kMiniStreamCutoff, static_cast<std::uint32_t>(kMiniStreamCutoff));
  Put32(p + at::kFirstMiniFatSector, fields.firstMiniFatSector);
  Put32(p + at::kMiniFatSectorCount, fields.miniFatSectorCount);
  Put32(p + at::kFirstDifatSector, fields.firstDifatSector);
  Put32(p + at::kDifatSectorCount, fields.difatSectorCount);
  for (std::size_t i = 0; i < kHeaderDifatEntries; ++i) {
    Put32(p + at::kDifat + 4 * i, fields.difat[i]);
  }
  return out;
}

}  // namespace qc::mapi::cfb
