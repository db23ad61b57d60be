#include "convert/written_checks.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>

#include "util/error.h"

namespace qc {

void WrittenChecks::beginFiles(std::size_t mailbox,
                               std::function<std::string(std::size_t)> pathOf) {
  filesMailbox_ = mailbox;
  pathOf_ = std::move(pathOf);
  forgetFiles();
}

void WrittenChecks::addFile(std::size_t j, const ItemDigest& digest) {
  digested_.push_back({j, digest});
}

void WrittenChecks::addFile(std::size_t j, FileSum sum) {
  summed_.push_back({j, sum});
}

void WrittenChecks::addStored(std::size_t mailbox, std::size_t j, std::int64_t offset,
                              std::uint32_t messageId, std::uint32_t folderId,
                              const ItemDigest& digest) {
  stored_.push_back({mailbox, j, offset, messageId, folderId, digest});
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

std::vector<WrittenChecks::Mismatch> WrittenChecks::checkFiles() {
  std::vector<Mismatch> found;
  const auto settle = [&](std::size_t j, const std::string& reason) {
    if (reason.empty()) {
      ++verified_;
    } else {
      found.push_back({filesMailbox_, j, -1, "read back from '" + pathOf_(j) + "': " + reason});
    }
  };
  const std::vector<std::string> summed =
      readBack(summed_.size(), [&](std::size_t i, std::vector<std::uint8_t>& buffer) {
        const FileSum want = summed_[i].sum;
        const FileSum got = ReadFileSum(pathOf_(summed_[i].j), buffer);
        if (got.size != want.size) {
          return "it holds " + std::to_string(got.size) + " bytes, not the message's " +
                 std::to_string(want.size);
        }
        return got.crc == want.crc ? std::string() : std::string("its bytes are not the message's");
      });
  for (std::size_t i = 0; i < summed_.size(); ++i) settle(summed_[i].j, summed[i]);
  const std::vector<std::string> digested =
      readBack(digested_.size(), [&](std::size_t i, std::vector<std::uint8_t>&) {
        return Difference(digested_[i].digest, ReadMsgDigest(pathOf_(digested_[i].j)));
      });
  for (std::size_t i = 0; i < digested_.size(); ++i) settle(digested_[i].j, digested[i]);
  forgetFiles();
  return found;
}

std::vector<WrittenChecks::Mismatch> WrittenChecks::checkStore(const std::string& path) {
  std::deque<Stored> stored;
  stored.swap(stored_);
  std::vector<Mismatch> found;
  if (stored.empty()) return found;
  std::unique_ptr<StoreReadBack> store;
  std::string unreadable;
  try {
    store = std::make_unique<StoreReadBack>(path);
  } catch (const std::exception& e) {
    unreadable = e.what();
  }
  const std::vector<std::string> reasons =
      readBack(store ? stored.size() : 0, [&](std::size_t i, std::vector<std::uint8_t>&) {
        // A data file of many gigabytes is read once through: what was read goes from memory.
        if (i % 256 == 255) store->release();
        return Difference(stored[i].digest,
                          store->message(stored[i].messageId, stored[i].folderId));
      });
  for (std::size_t i = 0; i < stored.size(); ++i) {
    const Stored& s = stored[i];
    const std::string& reason = store ? reasons[i] : unreadable;
    if (reason.empty()) {
      ++verified_;
    } else {
      found.push_back({s.mailbox, s.j, s.offset, "read back from '" + path + "': " + reason});
    }
  }
  return found;
}

}  // namespace qc
