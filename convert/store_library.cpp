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
  if (!folder_) folder_ = store_->addFolder(storeFolderName);
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
      return candidate;
    } catch (const mapi::StoreError&) {
      if (store_->broken()) throw;
    }
  }
  throw Error("cannot add the folder '" + name + "' to the store");
}

void StoreLibrary::addMessage(const mapi::Message& message) {
  if (!store_ || !folder_) throw Error("no store folder is open for the message");
  try {
    store_->addMessage(*folder_, message);
  } catch (const mapi::StoreError& e) {
    if (store_->broken()) throw StoreLost(e.what(), e.code());
    throw;
  }
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
