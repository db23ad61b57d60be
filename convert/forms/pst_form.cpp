// The .pst form: one Outlook data file per mailbox in the target folder, named after the mailbox,
// its messages in a folder of the same name. No message files are written.
#include "convert/forms/store_form.h"
#include "util/error.h"

namespace qc {

namespace {

class PstForm final : public ImportIntoStoreForm {
 public:
  using ImportIntoStoreForm::ImportIntoStoreForm;
  bool storePerMailbox() const override { return true; }
  void openMailbox(const std::string& targetFolder, const MailboxPaths& paths) override {
    if (!stores_) throw Error("no message store is available for the .pst form");
    stores_->openMailboxStore(targetFolder, paths.MailboxName);
  }
  void addStoreFolder(const MailboxPaths& paths) override {
    stores_->createMailboxFolder(paths.MailboxName);
  }
  std::string closeMailbox() override { return stores_->closeStore(); }
  void dropMailbox() override { stores_->dropStore(); }
};

}  // namespace

std::unique_ptr<OutputForm> MakePstForm(StoreSteps* stores, const RunRequest& request) {
  return std::make_unique<PstForm>(stores, request);
}

}  // namespace qc
