// The .pst form: one Outlook data file per mailbox in the target folder, named after the mailbox,
// its messages in a folder of the same name. No message files are written.
#include "convert/forms/output_form.h"
#include "mapi/import/library_messages.h"
#include "util/error.h"

namespace qc {

namespace {

class PstForm final : public OutputForm {
 public:
  PstForm(StoreSteps* stores, std::string fallbackCharset)
      : stores_(stores), fallbackCharset_(std::move(fallbackCharset)) {}
  Form form() const override { return Form::PST; }
  bool writesStores() const override { return true; }
  bool storePerMailbox() const override { return true; }
  void openMailbox(const std::string& targetFolder, const MailboxPaths& paths) override {
    if (!stores_) throw Error("no message store is available for the .pst form");
    stores_->openMailboxStore(targetFolder, paths.MailboxName);
  }
  void addStoreFolder(const MailboxPaths& paths) override {
    stores_->createMailboxFolder(paths.MailboxName);
  }
  bool writesMessageFiles() const override { return false; }
  MessageJobFactory jobs(const SearchedMailbox& mailbox, const std::vector<std::int64_t>& offsets,
                         const OutputFolder*) const override {
    return ImportJobs(mailbox, offsets, fallbackCharset_);
  }
  // Imported messages wait in memory for the store, whose writer sets the pace anyway.
  PoolLead lead() const override { return kShortLead; }
  StoredAt accept(MessageOutcome& outcome) override {
    // The store reads the message's attachments from the mailbox as it writes them; what the
    // mail libraries say meanwhile is said of the message.
    const mapi::LibraryMessageScope libraries(&outcome.warnings);
    return stores_->addMessage(*outcome.message, outcome.bytes);
  }
  std::string closeMailbox() override { return stores_->closeStore(); }
  void dropMailbox() override { stores_->dropStore(); }

  void dropStores() override {
    if (stores_) stores_->dropStore();
  }

 private:
  StoreSteps* stores_;
  std::string fallbackCharset_;
};

}  // namespace

std::unique_ptr<OutputForm> MakePstForm(StoreSteps* stores, std::string fallbackCharset) {
  return std::make_unique<PstForm>(stores, std::move(fallbackCharset));
}

}  // namespace qc
