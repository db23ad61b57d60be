#include "convert/written_checks.h"

#include <algorithm>
#include <memory>

#include "util/error.h"

namespace qc {

void WrittenChecks::beginFiles(std::size_t mailbox,
                               std::function<std::string(std::size_t)> pathOf) {
  filesMailbox_ = mailbox;
  pathOf_ = std::move(pathOf);
  hashed_.clear();
  digested_.clear();
}

void WrittenChecks::addFile(std::size_t j, const ItemDigest& digest) {
  digested_.push_back({j, digest});
}

void WrittenChecks::addFile(std::size_t j, std::string_view sha256Hex) {
  HashedFile file{j, {}};
  std::copy_n(sha256Hex.begin(), std::min(sha256Hex.size(), file.sha256.size()),
              file.sha256.begin());
  hashed_.push_back(file);
}

void WrittenChecks::addStored(std::size_t mailbox, std::size_t j, std::int64_t offset,
                              std::uint32_t messageId, std::uint32_t folderId,
                              const ItemDigest& digest) {
  stored_.push_back({mailbox, j, offset, messageId, folderId, digest});
}

std::vector<WrittenChecks::Mismatch> WrittenChecks::checkFiles() {
  std::vector<Mismatch> found;
  const auto check = [&](std::size_t j, const auto& compare) {
    const std::string path = pathOf_(j);
    std::string reason;
    try {
      reason = compare(path);
    } catch (const std::exception& e) {
      reason = e.what();
    }
    if (reason.empty()) {
      ++verified_;
    } else {
      found.push_back({filesMailbox_, j, -1, "read back from '" + path + "': " + reason});
    }
  };
  for (const HashedFile& file : hashed_) {
    check(file.j, [&](const std::string& path) -> std::string {
      const std::string sha = FileSha256(path);
      if (std::equal(sha.begin(), sha.end(), file.sha256.begin(), file.sha256.end())) return {};
      return "its bytes are not those of the message";
    });
  }
  for (const DigestedFile& file : digested_) {
    check(file.j, [&](const std::string& path) -> std::string {
      return Difference(file.digest, ReadMsgDigest(path));
    });
  }
  forgetFiles();
  return found;
}

std::vector<WrittenChecks::Mismatch> WrittenChecks::checkStore(const std::string& path) {
  std::vector<Stored> stored;
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
  for (const Stored& s : stored) {
    std::string reason = unreadable;
    if (store) {
      try {
        reason = Difference(s.digest, store->message(s.messageId, s.folderId));
      } catch (const std::exception& e) {
        reason = e.what();
      }
    }
    if (reason.empty()) {
      ++verified_;
    } else {
      found.push_back({s.mailbox, s.j, s.offset, "read back from '" + path + "': " + reason});
    }
  }
  return found;
}

}  // namespace qc
