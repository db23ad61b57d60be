// What a run asked to verify its output keeps of each message it wrote, until the message's file
// or data file can be read back: the digest of the message the writers were given (.msg, .pst
// forms) or the size and CRC-32 of the bytes the file must hold (.eml, .emlx). Then each is read
// back, on several threads, and compared.
#pragma once

#include <cstdint>
#include <deque>
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

  explicit WrittenChecks(unsigned threads = 1) : threads_(threads == 0 ? 1 : threads) {}

  // The mailbox whose message files are added next, and the path of message j's file.
  void beginFiles(std::size_t mailbox, std::function<std::string(std::size_t)> pathOf);
  void addFile(std::size_t j, const ItemDigest& digest);
  void addFile(std::size_t j, FileSum sum);
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
    summed_.clear();
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
  struct SummedFile {
    std::size_t j;
    FileSum sum;
  };
  struct DigestedFile {
    std::size_t j;
    ItemDigest digest;
  };

  // Runs `check(i, buffer)` for i in [0, n) on the threads; returns each one's difference.
  std::vector<std::string> readBack(
      std::size_t n,
      const std::function<std::string(std::size_t, std::vector<std::uint8_t>&)>& check) const;

  unsigned threads_;
  std::size_t filesMailbox_ = 0;
  std::function<std::string(std::size_t)> pathOf_;
  // Deques: a mailbox of a million messages grows them without copying them whole.
  std::deque<SummedFile> summed_;
  std::deque<DigestedFile> digested_;
  std::deque<Stored> stored_;
  std::int64_t verified_ = 0;
};

}  // namespace qc
