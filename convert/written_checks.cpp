#include "convert/written_checks.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>

#include "util/error.h"

namespace qc {

WrittenChecks::WrittenChecks(unsigned threads, const std::string& spillPath)
    : threads_(threads == 0 ? 1 : threads),
      summed_(spillPath.empty() ? spillPath : spillPath + "-files"),
      digested_(spillPath.empty() ? spillPath : spillPath + "-messages"),
      stored_(spillPath.empty() ? spillPath : spillPath + "-stored") {}

void WrittenChecks::beginFiles(std::size_t mailbox,
                               std::function<std::string(std::size_t)> pathOf) {
  filesMailbox_ = mailbox;
  pathOf_ = std::move(pathOf);
  forgetFiles();
}

void WrittenChecks::addFile(std::size_t j, const ItemDigest& digest) {
  digested_.push({j, digest});
}

void WrittenChecks::addFile(std::size_t j, FileSum sum) {
  summed_.push({j, sum});
}

void WrittenChecks::addStored(std::size_t mailbox, std::size_t j, std::int64_t offset,
                              std::uint32_t messageId, std::uint32_t folderId,
                              const ItemDigest& digest) {
  stored_.push({mailbox, j, offset, messageId, folderId, digest});
}

std::vector<std::string> WrittenChecks::readBack(
    std::size_t n,
    const std::function<std::string(std::size_t, std::vector<std::uint8_t>&)>& check) const {
  std::vector<std::string> reasons(n);
  std::atomic<std::size_t> next{0};
  const auto work = [&] {
    std::vector<std::uint8_t> buffer;
    for (std::size_t i = next++; i < n; i = next++) {
      try {
        reasons[i] = check(i, buffer);
      } catch (const std::exception& e) {
        reasons[i] = e.what();
      }
    }
  };
  std::vector<std::thread> helpers;
  const std::size_t extra = std::min<std::size_t>(threads_ - 1, n / 64);
  for (std::size_t t = 0; t < extra; ++t) helpers.emplace_back(work);
  work();
  for (std::thread& helper : helpers) helper.join();
  return reasons;
}

template <class Record>
void WrittenChecks::readBackAll(
    SpilledRecords<Record>& records,
    const std::function<std::string(const Record&, std::size_t, std::vector<std::uint8_t>&)>& check,
    const std::function<void(const Record&, const std::string&)>& settle) const {
  records.drain([&](const Record* chunk, std::size_t n) {
    const std::vector<std::string> reasons =
        readBack(n, [&](std::size_t i, std::vector<std::uint8_t>& buffer) {
          return check(chunk[i], i, buffer);
        });
    for (std::size_t i = 0; i < n; ++i) settle(chunk[i], reasons[i]);
  });
}

std::vector<WrittenChecks::Mismatch> WrittenChecks::checkFiles() {
  std::vector<Mismatch> found;
  const auto settle = [&](std::size_t j, const std::string& reason) {
    if (reason.empty()) {
      ++verified_;
    } else {
      found.push_back({filesMailbox_, j, -1, "read back from '" + pathOf_(j) + "': " + reason});
    }
  };
  readBackAll<SummedFile>(
      summed_,
      [&](const SummedFile& file, std::size_t, std::vector<std::uint8_t>& buffer) {
        const FileSum got = ReadFileSum(pathOf_(file.j), buffer);
        if (got.size != file.sum.size) {
          return "it holds " + std::to_string(got.size) + " bytes, not the message's " +
                 std::to_string(file.sum.size);
        }
        return got.crc == file.sum.crc ? std::string()
                                       : std::string("its bytes are not the message's");
      },
      [&](const SummedFile& file, const std::string& reason) { settle(file.j, reason); });
  readBackAll<DigestedFile>(
      digested_,
      [&](const DigestedFile& file, std::size_t, std::vector<std::uint8_t>&) {
        return Difference(file.digest, ReadMsgDigest(pathOf_(file.j)));
      },
      [&](const DigestedFile& file, const std::string& reason) { settle(file.j, reason); });
  return found;
}

std::vector<WrittenChecks::Mismatch> WrittenChecks::checkStore(const std::string& path) {
  std::vector<Mismatch> found;
  if (stored_.empty()) return found;
  std::unique_ptr<StoreReadBack> store;
  std::string unreadable;
  try {
    store = std::make_unique<StoreReadBack>(path);
  } catch (const std::exception& e) {
    unreadable = e.what();
  }
  readBackAll<Stored>(
      stored_,
      [&](const Stored& s, std::size_t, std::vector<std::uint8_t>&) {
        if (!store) return unreadable;
        return Difference(s.digest, store->message(s.messageId, s.folderId));
      },
      [&](const Stored& s, const std::string& reason) {
        if (reason.empty()) {
          ++verified_;
        } else {
          found.push_back({s.mailbox, s.j, s.offset, "read back from '" + path + "': " + reason});
        }
      });
  return found;
}

}  // namespace qc
