// The store steps of the .pst and .msg forms done by our own Outlook data file writer: no
// Outlook, no profile, nothing to log on to.
#pragma once

#include <ctime>
#include <functional>
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
  void addMessage(const mapi::Message& message) override;
  std::string closeStore() override;
  void dropStore() override;

 private:
  std::string open(const std::string& folder, const std::string& stem, std::string displayName);

  std::function<std::tm()> localNow_;
  mapi::StoreOptions options_;
  StoreFileNames names_;
  std::unique_ptr<mapi::StoreFile> store_;
  std::optional<mapi::FolderId> folder_;
};

}  // namespace qc
