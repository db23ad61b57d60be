// What a run asked to verify its output keeps of each message it wrote, until the message's file
// or data file can be read back: the digest of the message the writers were given (.msg, .pst
// forms) or the SHA-256 of the bytes the file must hold (.eml, .emlx). Then each is read back
// and compared.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "convert/read_back.h"

namespace qc {

class WrittenChecks {
 public:
  struct Mismatch {
    std::size_t mailbox = 0;  // its index in the run
    std::size_t j = 0;
    std::int64_t offset = -1;  // of its separator; -1 for a message of the mailbox being written
    std::string reason;
  };

  // The mailbox whose message files are added next, and the path of message j's file.
  void beginFiles(std::size_t mailbox, std::function<std::string(std::size_t)> pathOf);
  void addFile(std::size_t j, const ItemDigest& digest);
  void addFile(std::size_t j, std::string_view sha256Hex);
  void addStored(std::size_t mailbox, std::size_t j, std::int64_t offset, std::uint32_t messageId,
                 std::uint32_t folderId, const ItemDigest& digest);

  // Reads back the message files added since beginFiles().
  std::vector<Mismatch> checkFiles();
  // The data file holding the stored messages added so far is complete at `path`: reads them
  // back. A data file that cannot be read fails every one of them.
  std::vector<Mismatch> checkStore(const std::string& path);
  // Their data file was not kept, or their files were not counted: there is nothing to read
  // back.
  void forgetStored() { stored_.clear(); }
  void forgetFiles() {
    hashed_.clear();
    digested_.clear();
  }

  // Messages read back and found as written, so far.
  std::int64_t verified() const { return verified_; }

 private:
  struct Stored {
    std::size_t mailbox;
    std::size_t j;
    std::int64_t offset;
    std::uint32_t messageId;
    std::uint32_t folderId;
    ItemDigest digest;
  };
  struct HashedFile {
    std::size_t j;
    std::array<char, 64> sha256;
  };
  struct DigestedFile {
    std::size_t j;
    ItemDigest digest;
  };

  std::size_t filesMailbox_ = 0;
  std::function<std::string(std::size_t)> pathOf_;
  std::vector<HashedFile> hashed_;
  std::vector<DigestedFile> digested_;
  std::vector<Stored> stored_;
  std::int64_t verified_ = 0;
};

}  // namespace qc
