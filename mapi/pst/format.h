// Sizes, signatures and well-known identifiers of a Unicode Outlook data file (file version
// 23), shared by the writer and the checker.
#pragma once

#include <cstdint>

namespace qc::mapi::pst {

// Node database.
constexpr std::uint64_t kPageSize = 512;
constexpr std::uint64_t kBlockAlign = 64;
constexpr std::size_t kBlockTrailerSize = 16;
constexpr std::size_t kPageTrailerSize = 16;
constexpr std::size_t kMaxBlockSize = 8192;
constexpr std::size_t kMaxBlockData = kMaxBlockSize - kBlockTrailerSize;  // 8176
constexpr std::size_t kHeaderSize = 564;
constexpr std::uint64_t kDensityListOffset = 0x4200;
constexpr std::uint64_t kFirstAMapOffset = 0x4400;
constexpr std::uint64_t kAMapBytes = 496;
constexpr std::uint64_t kAMapCoverage = kAMapBytes * 8 * kBlockAlign;  // 253,952 bytes
constexpr std::uint64_t kPMapInterval = 8;                             // AMaps per PMap
constexpr std::uint64_t kFirstFMapAMap = 128;  // the header's rgbFM covers the AMaps before
constexpr std::uint64_t kFMapInterval = 496;   // AMaps per FMap page
constexpr std::uint64_t kFirstFPMapAMap = 128 * 64;
constexpr std::uint64_t kFPMapInterval = 496 * 64;

constexpr std::uint8_t kPageTypeBBT = 0x80;
constexpr std::uint8_t kPageTypeNBT = 0x81;
constexpr std::uint8_t kPageTypeFMap = 0x82;
constexpr std::uint8_t kPageTypePMap = 0x83;
constexpr std::uint8_t kPageTypeAMap = 0x84;
constexpr std::uint8_t kPageTypeFPMap = 0x85;
constexpr std::uint8_t kPageTypeDList = 0x86;

constexpr std::size_t kBTreeEntryArea = 488;
constexpr std::size_t kBTEntrySize = 24;   // intermediate: key, BREF
constexpr std::size_t kBBTEntrySize = 24;  // BREF, cb, cRef, padding
constexpr std::size_t kNBTEntrySize = 32;  // nid, bidData, bidSub, nidParent, padding

constexpr std::uint8_t kCryptPermute = 0x01;
constexpr std::uint16_t kFileVersionUnicode = 23;
constexpr std::uint16_t kClientVersion = 19;
constexpr std::uint8_t kAMapValid = 0x02;  // VALID_AMAP2

// Block identifiers: bit 1 marks the internal blocks (data trees, subnode trees); identifiers
// advance by four.
constexpr std::uint64_t kBidInternal = 0x2;
constexpr std::uint64_t kBidStep = 4;

constexpr std::uint8_t kBlockTypeXBlock = 0x01;   // XBLOCK (level 1) and XXBLOCK (level 2)
constexpr std::uint8_t kBlockTypeSubnode = 0x02;  // SLBLOCK (level 0) and SIBLOCK (level 1)
constexpr std::size_t kXBlockMaxEntries = (kMaxBlockData - 8) / 8;    // 1021
constexpr std::size_t kSLBlockMaxEntries = (kMaxBlockData - 8) / 24;  // 340
constexpr std::size_t kSIBlockMaxEntries = (kMaxBlockData - 8) / 16;  // 510

// Node identifiers: the low five bits are the type, the rest the index.
constexpr std::uint32_t MakeNid(std::uint8_t type, std::uint32_t index) {
  return (index << 5) | type;
}
constexpr std::uint8_t NidType(std::uint32_t nid) {
  return static_cast<std::uint8_t>(nid & 0x1F);
}
constexpr std::uint32_t NidIndex(std::uint32_t nid) {
  return nid >> 5;
}

namespace nid_type {
constexpr std::uint8_t kHid = 0x00;
constexpr std::uint8_t kInternal = 0x01;
constexpr std::uint8_t kNormalFolder = 0x02;
constexpr std::uint8_t kSearchFolder = 0x03;
constexpr std::uint8_t kNormalMessage = 0x04;
constexpr std::uint8_t kAttachment = 0x05;
constexpr std::uint8_t kSearchUpdateQueue = 0x06;
constexpr std::uint8_t kSearchCriteriaObject = 0x07;
constexpr std::uint8_t kAssocMessage = 0x08;
constexpr std::uint8_t kContentsTableIndex = 0x0A;
constexpr std::uint8_t kReceiveFolderTable = 0x0B;
constexpr std::uint8_t kOutgoingQueueTable = 0x0C;
constexpr std::uint8_t kHierarchyTable = 0x0D;
constexpr std::uint8_t kContentsTable = 0x0E;
constexpr std::uint8_t kAssocContentsTable = 0x0F;
constexpr std::uint8_t kSearchContentsTable = 0x10;
constexpr std::uint8_t kAttachmentTable = 0x11;
constexpr std::uint8_t kRecipientTable = 0x12;
constexpr std::uint8_t kSearchTableIndex = 0x13;
constexpr std::uint8_t kLtp = 0x1F;
}  // namespace nid_type

// The nodes every store has at fixed identifiers.
namespace nid {
constexpr std::uint32_t kMessageStore = 0x21;
constexpr std::uint32_t kNameToIdMap = 0x61;
constexpr std::uint32_t kRootFolder = 0x122;
constexpr std::uint32_t kSearchManagementQueue = 0x1E1;
constexpr std::uint32_t kSearchActivityList = 0x201;
constexpr std::uint32_t kSearchDomainObject = 0x261;
constexpr std::uint32_t kHierarchyTableTemplate = 0x60D;
constexpr std::uint32_t kContentsTableTemplate = 0x60E;
constexpr std::uint32_t kAssocContentsTableTemplate = 0x60F;
constexpr std::uint32_t kSearchContentsTableTemplate = 0x610;
constexpr std::uint32_t kReceiveFolderTable = 0x62B;
constexpr std::uint32_t kOutgoingQueueTable = 0x64C;
constexpr std::uint32_t kAttachmentTable = 0x671;
constexpr std::uint32_t kRecipientTable = 0x692;
constexpr std::uint32_t kChangeHistoryTable = 0x6B6;
constexpr std::uint32_t kTombstoneTable = 0x6D7;
constexpr std::uint32_t kTombstoneDateTable = 0x6F8;
}  // namespace nid

// Lists, tables and property contexts.
constexpr std::uint8_t kHeapSignature = 0xEC;
constexpr std::uint8_t kClientTable = 0x7C;
constexpr std::uint8_t kClientBTree = 0xB5;
constexpr std::uint8_t kClientPropertyContext = 0xBC;
constexpr std::size_t kMaxHeapItem = 3580;
constexpr std::size_t kHeapHeaderSize = 12;           // HNHDR
constexpr std::size_t kHeapPageHeaderSize = 2;        // HNPAGEHDR
constexpr std::size_t kHeapBitmapHeaderSize = 66;     // HNBITMAPHDR
constexpr std::size_t kHeapMaxAllocsPerBlock = 2047;  // hidIndex has 11 bits

}  // namespace qc::mapi::pst
