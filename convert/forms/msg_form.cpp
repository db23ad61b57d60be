// The .msg form: each message imported and written as an Outlook message file, Email-N.msg, in the
// mailbox's output folder. The run keeps one temporary store in the target folder with a folder
// per mailbox, as the messages pass through it.
#include "convert/forms/store_form.h"
#include "util/error.h"

namespace qc {

namespace {

class MsgForm final : public StoreForm {
 public:
  using StoreForm::StoreForm;
  Form form() const override { return Form::MSG; }
  std::string openRun(const std::string& targetFolder) override {
    if (!stores_) throw Error("no message store is available for the .msg form");
    return stores_->openTemporaryStore(targetFolder);
  }
  void addStoreFolder(const MailboxPaths& paths) override {
    stores_->createMailboxFolder(paths.MailboxName);
  }
  MessageJobFactory jobs(const SearchedMailbox& mailbox, const std::vector<std::int64_t>& offsets,
                         const OutputFolder* folder) const override {
    return MsgFileJobs(mailbox, offsets, *folder, fallbackCharset_, digests_);
  }
  std::string finishRun() override { return stores_->closeStore(); }
};

}  // namespace

std::unique_ptr<OutputForm> MakeMsgForm(StoreSteps* stores, const RunRequest& request) {
  return std::make_unique<MsgForm>(stores, request);
}

}  // namespace qc
