#include "mapi/store.h"

#include <algorithm>

#include "util/error.h"

namespace qc::mapi {

namespace {
bool SameName(std::string_view a, std::string_view b) {
  const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [&](char x, char y) { return lower(x) == lower(y); });
}
}  // namespace

std::unique_ptr<Message> MessageList::next() {
  return next_ < messages_.size() ? std::move(messages_[next_++]) : nullptr;
}

Folder::Folder(std::string displayName, std::string containerClass)
    : displayName_(std::move(displayName)), containerClass_(std::move(containerClass)) {}

Folder& Folder::addFolder(std::string displayName, std::string containerClass) {
  if (findFolder(displayName) != nullptr) {
    throw Error("cannot add the folder \"" + displayName + "\" to \"" + displayName_ +
                "\": it has a folder of that name");
  }
  folders_.push_back(std::make_unique<Folder>(std::move(displayName), std::move(containerClass)));
  return *folders_.back();
}

Folder* Folder::findFolder(std::string_view displayName) const {
  for (const auto& f : folders_) {
    if (SameName(f->displayName(), displayName)) return f.get();
  }
  return nullptr;
}

}  // namespace qc::mapi
