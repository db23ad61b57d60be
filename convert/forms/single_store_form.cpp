// The .pst form with one data file for the whole run: every mailbox a folder of its own, nested
// under folders named after the directories between the mailboxes' common parent and the
// mailbox ("Work\2003\Projects.mbx"). No message files are written.
#include <algorithm>

#include "convert/forms/store_form.h"
#include "util/error.h"

namespace qc {

namespace {

std::vector<std::string> Directories(const std::string& path, PathStyle style) {
  const char separator = style == PathStyle::Windows ? '\\' : '/';
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (std::size_t at = path.find(separator); at != std::string::npos;
       at = path.find(separator, start)) {
    if (at > start) parts.push_back(path.substr(start, at - start));
    start = at + 1;
  }
  return parts;  // the file's own name, after the last separator, is not a directory
}

class SingleStoreForm final : public ImportIntoStoreForm {
 public:
  SingleStoreForm(StoreSteps* stores, const RunRequest& request, PathStyle style)
      : ImportIntoStoreForm(stores, request), name_(request.singleStore), style_(style) {
    // The common parent of every mailbox the run can name; rows that name none add nothing.
    bool first = true;
    for (const std::string& row : request.mailboxes) {
      std::vector<std::string> dirs;
      try {
        dirs = Directories(DeriveMailboxPaths(row, "", style).path, style);
      } catch (const Error&) {
        continue;
      }
      if (first) {
        common_ = std::move(dirs);
        first = false;
        continue;
      }
      const auto mismatch = std::mismatch(common_.begin(), common_.end(), dirs.begin(), dirs.end());
      common_.erase(mismatch.first, common_.end());
    }
  }
  std::string openRun(const std::string& targetFolder) override {
    if (!stores_) throw Error("no message store is available for the .pst form");
    return stores_->openMailboxStore(targetFolder, name_);
  }
  void addStoreFolder(const MailboxPaths& paths) override {
    std::vector<std::string> dirs = Directories(paths.path, style_);
    const std::size_t shared = std::min(common_.size(), dirs.size());
    dirs.erase(dirs.begin(), dirs.begin() + static_cast<std::ptrdiff_t>(shared));
    stores_->createFolderAt(dirs, paths.MailboxName);
  }
  std::string finishRun() override { return stores_->closeStore(); }
  bool messagesInRunStore() const override { return true; }

 private:
  std::string name_;
  PathStyle style_;
  std::vector<std::string> common_;
};

}  // namespace

std::unique_ptr<OutputForm> MakeSingleStoreForm(StoreSteps* stores, const RunRequest& request,
                                                PathStyle style) {
  return std::make_unique<SingleStoreForm>(stores, request, style);
}

}  // namespace qc
