// The .eml and .emlx forms: each message's bytes as a file of its own, email-N.eml or
// email-N.emlx, in the mailbox's output folder.
#include "convert/forms/output_form.h"

namespace qc {

namespace {

class MessageFileForm final : public OutputForm {
 public:
  MessageFileForm(Form form, bool crcs) : form_(form), crcs_(crcs) {}
  Form form() const override { return form_; }
  MessageJobFactory jobs(const SearchedMailbox& mailbox, const std::vector<std::int64_t>& offsets,
                         const OutputFolder* folder) const override {
    return MessageFileJobs(mailbox, offsets, *folder, form_, crcs_);
  }

 private:
  Form form_;
  bool crcs_;
};

}  // namespace

std::unique_ptr<OutputForm> MakeEmlForm(const RunRequest& request) {
  return std::make_unique<MessageFileForm>(Form::EML, request.verify);
}

std::unique_ptr<OutputForm> MakeEmlxForm(const RunRequest& request) {
  return std::make_unique<MessageFileForm>(Form::EMLX, request.verify);
}

}  // namespace qc
