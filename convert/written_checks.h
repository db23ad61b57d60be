// What a run asked to verify its output keeps of each message it wrote, until the message's file
// or data file can be read back: the digest of the message the writers were given (.msg, .pst
// forms) or the size and CRC-32 of the bytes the file must hold (.eml, .emlx). Then each is read
// back, on several threads, and compared.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "convert/read_back.h"
#include "convert/spilled_records.h"

namespace qc {

class WrittenChecks {
 public:
  struct Mismatch {
    std::size_t mailbox = 0;  // its index in the run
    std::size_t j = 0;
    std::int64_t offset = -1;  // of its separator; -1 for a message of the mailbox being written
    std::string reason;
  };

  // What is kept of each message waits in files named after `spillPath` (never taking the
  // name); an empty path keeps it in memory.
  explicit WrittenChecks(unsigned threads = 1, const std::string& spillPath = {});

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
  // Reads back the records of `records` with `check`, calling `settle(record, difference)` in
  // their order.
  template <class Record>
  void readBackAll(SpilledRecords<Record>& records,
                   const std::function<std::string(const Record&, std::size_t,
                                                   std::vector<std::uint8_t>&)>& check,
                   const std::function<void(const Record&, const std::string&)>& settle) const;

  unsigned threads_;
  std::size_t filesMailbox_ = 0;
  std::function<std::string(std::size_t)> pathOf_;
  SpilledRecords<SummedFile> summed_;
  SpilledRecords<DigestedFile> digested_;
  SpilledRecords<Stored> stored_;
  std::int64_t verified_ = 0;
};

}  // namespace qc
