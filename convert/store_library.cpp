#include "convert/store_library.h"

#include "util/error.h"
#include "util/mod_main.h"
#include "util/system.h"

namespace qc {

namespace {

std::tm SystemLocalTime() {
  return sys::LocalTime(std::time(nullptr));
}

}  // namespace

StoreLibrary::StoreLibrary(std::function<std::tm()> localNow, mapi::StoreOptions options)
    : localNow_(localNow ? std::move(localNow) : SystemLocalTime), options_(std::move(options)) {
  // A file that appears under the chosen name while the store is written is not replaced
  // either: closing fails instead.
  options_.replaceExisting = false;
}

StoreLibrary::~StoreLibrary() = default;

std::string StoreLibrary::open(const std::string& folder, const std::string& stem,
                               std::string displayName) {
  store_.reset();  // one store at a time; one left open by a failure goes
  folder_.reset();
  made_.clear();
  counts_.clear();
  targetFolder_ = folder;
  stem_ = stem;
  displayName_ = displayName;
  part_ = 1;
  const std::string path = names_.claim(folder, stem);
  mapi::StoreOptions options = options_;
  // Another run writing into the same folder may take the name while this store is written:
  // the store then goes to the next free name rather than fail or overwrite.
  options.pathWhenTaken = [this, folder, stem] { return names_.claim(folder, stem); };
  store_ = mapi::StoreFile::Create(path, std::move(displayName), std::move(options));
  return path;
}

namespace {

// The target folder normally exists (it was just chosen); one that went missing meanwhile is
// made again, as the mailboxes' own folders are.
void EnsureTarget(const std::string& targetFolder) {
  std::string why;
  if (!EnsureFolderPath(targetFolder, &why)) throw Error(why);
}

}  // namespace

std::string StoreLibrary::openTemporaryStore(const std::string& targetFolder) {
  EnsureTarget(targetFolder);
  // The name and the display name each read the clock, as they always have; they can differ
  // when a second passes between them.
  const std::string stem = "Temp" + StoreTimestamp(localNow_());
  return open(targetFolder, stem, "Temp : Created - " + StoreTimestamp(localNow_()));
}

std::string StoreLibrary::openMailboxStore(const std::string& targetFolder,
                                           const std::string& mailboxName) {
  EnsureTarget(targetFolder);
  return open(targetFolder, mailboxName, mailboxName);
}

void StoreLibrary::createMailboxFolder(const std::string& storeFolderName) {
  if (!store_) throw Error("no store is open for the folder '" + storeFolderName + "'");
  // Two mailboxes of one name share the folder of that name, as a folder found again by its
  // path would be.
  folder_ = store_->childFolder(storeFolderName);
  folderPath_ = storeFolderName;
  if (!folder_) {
    folder_ = store_->addFolder(storeFolderName);
    made_.push_back({{}, storeFolderName, *folder_});
  }
}

namespace {

// The folder names tried for `name` when it is taken: "name", "name (2)", "name (3)" ...
std::string Candidate(const std::string& name, int n) {
  return n == 1 ? name : name + " (" + std::to_string(n) + ")";
}

constexpr int kMaxCandidates = 10000;

}  // namespace

std::string StoreLibrary::createFolderAt(const std::vector<std::string>& parents,
                                         const std::string& name) {
  if (!store_) throw Error("no store is open for the folder '" + name + "'");
  folder_.reset();
  std::optional<mapi::FolderId> parent;
  for (const std::string& part : parents) {
    // Folder names compare ignoring letter case, as a client compares them: directories whose
    // names differ only so share one folder, and their mailboxes get folders of their own below.
    const std::optional<mapi::FolderId> found = store_->childFolder(part, parent);
    parent = found ? *found : store_->addFolder(part, parent);
  }
  for (int n = 1; n <= kMaxCandidates; ++n) {
    const std::string candidate = Candidate(name, n);
    if (store_->childFolder(candidate, parent)) continue;
    try {
      folder_ = store_->addFolder(candidate, parent);
      made_.push_back({parents, candidate, *folder_});
      folderPath_.clear();
      for (const std::string& part : parents) folderPath_ += part + "\\";
      folderPath_ += candidate;
      return candidate;
    } catch (const mapi::StoreError&) {
      if (store_->broken()) throw;
    }
  }
  throw Error("cannot add the folder '" + name + "' to the store");
}

StoredAt StoreLibrary::addMessage(const mapi::Message& message, std::uint64_t sourceBytes) {
  if (!store_ || !folder_) throw Error("no store folder is open for the message");
  StoredAt at;
  // Text takes twice its bytes in UTF-16, and a message's properties and tables add to that.
  const std::uint64_t estimate = 3 * sourceBytes + 8 * 1024;
  if (partSize_ > 0 && store_->messageCount() > 0 && store_->sizeWith(estimate) > partSize_) {
    try {
      at.completedPart = nextPart();
    } catch (const StoreLost&) {
      throw;
    } catch (const std::exception& e) {
      // Without a store to go on in, nothing more of the mailbox can be kept.
      const auto* error = dynamic_cast<const Error*>(&e);
      throw StoreLost(e.what(), error ? error->code() : 0);
    }
  }
  try {
    store_->addMessage(*folder_, message);
  } catch (const mapi::StoreError& e) {
    if (!store_->broken()) throw;
    StoreLost lost(e.what(), e.code());
    lost.completedPart = at.completedPart;
    throw lost;
  }
  at.store = store_->path();
  at.folder = folderPath_;
  at.position = counts_[*folder_]++;
  at.messageId = store_->lastMessageId();
  at.folderId = *folder_;
  return at;
}

std::string StoreLibrary::nextPart() {
  const std::vector<MadeFolder> made = made_;
  const std::optional<mapi::FolderId> current = folder_;
  const std::string stem = stem_;
  const int part = part_ + 1;
  const std::string completed = closeStore();
  try {
    open(targetFolder_, stem + " (part " + std::to_string(part) + ")", displayName_);
    stem_ = stem;
    part_ = part;
    std::optional<mapi::FolderId> again;
    for (const MadeFolder& f : made) {
      if (f.parents.empty()) {
        createMailboxFolder(f.name);
      } else {
        createFolderAt(f.parents, f.name);
      }
      if (f.id == current) again = folder_;
    }
    folder_ = again;
  } catch (const std::exception& e) {
    // Nothing more of the mailbox can be kept, but the part just completed is whole. A next
    // part half made goes, so that closing the mailbox cannot complete it.
    dropStore();
    const auto* error = dynamic_cast<const Error*>(&e);
    StoreLost lost(e.what(), error ? error->code() : 0);
    lost.completedPart = completed;
    throw lost;
  }
  return completed;
}

std::string StoreLibrary::closeStore() {
  if (!store_) throw Error("no store is open");
  // Dropped even when closing fails: its temporary file goes with it.
  const std::unique_ptr<mapi::StoreFile> store = std::move(store_);
  folder_.reset();
  try {
    store->close();
  } catch (...) {
    names_.release(store->path());  // nothing was kept under it
    throw;
  }
  return store->path();
}

void StoreLibrary::dropStore() {
  if (!store_) return;
  names_.release(store_->path());  // nothing stands under it: the next store may have it
  store_.reset();
  folder_.reset();
}

}  // namespace qc
