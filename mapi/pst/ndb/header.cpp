#include "mapi/pst/ndb/header.h"

#include "mapi/crc32.h"
#include "mapi/little_endian.h"
#include "mapi/pst/format.h"

namespace qc::mapi::pst {

namespace {

constexpr std::uint32_t kMagic = 0x4E444221;    // "!BDN"
constexpr std::uint16_t kMagicClient = 0x4D53;  // "SM"
constexpr std::uint8_t kPlatform = 0x01;
constexpr std::uint8_t kSentinel = 0x80;

// ROOT
void PutRoot(std::uint8_t* p, const Root& root) {
  Put32(p, 0);
  Put64(p + 4, root.fileEof);
  Put64(p + 12, root.lastAMap);
  Put64(p + 20, root.amapFree);
  Put64(p + 28, root.pmapFree);
  Put64(p + 36, root.nbt.bid);
  Put64(p + 44, root.nbt.ib);
  Put64(p + 52, root.bbt.bid);
  Put64(p + 60, root.bbt.ib);
  p[68] = root.amapValid;
}

}  // namespace

Bytes SerializeHeader(const Header& header) {
  namespace at = header_offset;
  Bytes out(kHeaderSize, 0);
  std::uint8_t* p = out.data();
  Put32(p, kMagic);
  Put16(p + 8, kMagicClient);
  Put16(p + at::kVersion, kFileVersionUnicode);
  Put16(p + 12, kClientVersion);
  p[14] = kPlatform;
  p[15] = kPlatform;
  Put64(p + at::kNextPageBid, header.nextPageBid);
  Put32(p + at::kUnique, header.unique);
  for (std::size_t i = 0; i < 32; ++i) Put32(p + at::kNids + 4 * i, header.nextNid[i]);
  PutRoot(p + at::kRoot, header.root);
  // The free maps kept in the header are deprecated; Outlook fills them with 0xFF.
  for (std::size_t i = 0; i < 256; ++i) p[at::kFreeMap + i] = 0xFF;
  p[at::kSentinel] = kSentinel;
  p[at::kCryptMethod] = header.cryptMethod;
  Put64(p + at::kNextBlockBid, header.nextBlockBid);
  Put32(p + at::kCrcPartial, Crc32(p + at::kPartialStart, at::kPartialLength));
  Put32(p + at::kCrcFull, Crc32(p + at::kPartialStart, at::kFullLength));
  return out;
}

}  // namespace qc::mapi::pst
