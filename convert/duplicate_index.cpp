#include "convert/duplicate_index.h"

namespace qc {

std::optional<FirstCopy> DuplicateIndex::find(const std::string& key) const {
  std::lock_guard lock(mutex_);
  const auto it = firsts_.find(key);
  if (it == firsts_.end()) return std::nullopt;
  return it->second;
}

void DuplicateIndex::add(const std::string& key, FirstCopy first) {
  std::lock_guard lock(mutex_);
  firsts_.emplace(key, first);
}

void DuplicateIndex::forgetMailbox(std::size_t mailbox) {
  std::lock_guard lock(mutex_);
  std::erase_if(firsts_, [&](const auto& entry) { return entry.second.mailbox == mailbox; });
}

void DuplicateIndex::clear() {
  std::lock_guard lock(mutex_);
  firsts_.clear();
}

}  // namespace qc
