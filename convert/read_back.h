// Reading written messages back: what a message is said to hold (its subject, sender, date, body
// text and attachments) reduced to a small digest, from the property model the writers were given
// and again from the .msg file or the data file they wrote, read by the program's own strict
// readers. Two digests that differ name what differs.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "mapi/property.h"

namespace qc {

struct ItemDigest {
  // A property's stored bytes (UTF-16LE text, FILETIME, binary) by size and CRC-32.
  struct Field {
    static constexpr std::uint32_t kAbsent = 0xFFFFFFFF;
    std::uint32_t size = kAbsent;  // modulo 2^32
    std::uint32_t crc = 0;
    friend bool operator==(const Field&, const Field&) = default;
  };
  Field subject, senderName, senderAddress, date, body, html;
  std::uint32_t attachments = 0;
  // Every attachment's names, and its bytes (an embedded message: its own digest), in order.
  Field attachmentNames, attachmentContents;
  friend bool operator==(const ItemDigest&, const ItemDigest&) = default;
};

// The digest of a message as the import made it. Large bodies and attachments are read through
// their sources. Throws qc::Error when such a source cannot be read.
ItemDigest DigestOf(const mapi::Message& message);

// What differs between the message as written (`written`) and as read back, in words ("the
// subject differs", "2 attachments were written, 1 read back"); empty when nothing does.
std::string Difference(const ItemDigest& written, const ItemDigest& readBack);

// The message of a .msg file. Throws qc::Error when the file cannot be read or is not a sound
// Compound File.
ItemDigest ReadMsgDigest(const std::string& path);

// A file's size and the CRC-32 (mapi::Crc32) of its bytes, read through `buffer`. Throws
// qc::Error when it cannot be read.
struct FileSum {
  std::uint64_t size = 0;
  std::uint32_t crc = 0;
};
FileSum ReadFileSum(const std::string& path, std::vector<std::uint8_t>& buffer);

// A completed Outlook data file, for reading its messages one by one: each is sought through the
// file's B-trees, every page and block on the way checked. Several threads may read at once.
class StoreReadBack {
 public:
  // Throws qc::Error when the file cannot be read (naming it) or its node database is not sound
  // (naming the fault).
  explicit StoreReadBack(const std::string& path);
  ~StoreReadBack();
  StoreReadBack(const StoreReadBack&) = delete;
  StoreReadBack& operator=(const StoreReadBack&) = delete;

  // Message node `messageId`, which must be in folder `folderId`. Throws qc::Error when it is
  // missing, elsewhere, or cannot be read.
  ItemDigest message(std::uint32_t messageId, std::uint32_t folderId) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace qc
