// The store steps of the .pst and .msg forms done by our own Outlook data file writer: no
// Outlook, no profile, nothing to log on to.
#pragma once

#include <ctime>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "convert/store_names.h"
#include "convert/store_steps.h"
#include "mapi/store_file.h"

namespace qc {

class StoreLibrary : public StoreSteps {
 public:
  // `localNow` gives the local time the temporary store is named after (the system's by
  // default); `options` go to every store (injected clocks and keys in tests).
  explicit StoreLibrary(std::function<std::tm()> localNow = {}, mapi::StoreOptions options = {});
  ~StoreLibrary() override;  // a store still open is dropped: nothing under its final name

  std::string openTemporaryStore(const std::string& targetFolder) override;
  std::string openMailboxStore(const std::string& targetFolder,
                               const std::string& mailboxName) override;
  void createMailboxFolder(const std::string& storeFolderName) override;
  std::string createFolderAt(const std::vector<std::string>& parents,
                             const std::string& name) override;
  StoredAt addMessage(const mapi::Message& message, std::uint64_t sourceBytes) override;
  // Keeps every store below about `bytes` by going on in parts (0: no limit). A part always
  // holds at least one message, whatever its size.
  void setPartSize(std::uint64_t bytes) { partSize_ = bytes; }
  std::string closeStore() override;
  void dropStore() override;

 private:
  std::string open(const std::string& folder, const std::string& stem, std::string displayName);
  // Completes the store and opens its next part with the folders it had; returns the path of
  // the part completed.
  std::string nextPart();

  std::function<std::tm()> localNow_;
  mapi::StoreOptions options_;
  StoreFileNames names_;
  std::unique_ptr<mapi::StoreFile> store_;
  std::optional<mapi::FolderId> folder_;
  // What the open store was made of, for its next part.
  std::uint64_t partSize_ = 0;
  std::string targetFolder_;
  std::string stem_;
  std::string displayName_;
  int part_ = 1;
  struct MadeFolder {
    std::vector<std::string> parents;  // empty for a folder under the top
    std::string name;
    mapi::FolderId id;
  };
  std::vector<MadeFolder> made_;
  std::string folderPath_;                          // of folder_, for where messages went
  std::map<mapi::FolderId, std::uint64_t> counts_;  // messages in each folder of this part
};

}  // namespace qc
