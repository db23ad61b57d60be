// The .eml and .emlx forms: each message's bytes as a file of its own, email-N.eml or
// email-N.emlx, in the mailbox's output folder.
#include "convert/forms/output_form.h"

namespace qc {

namespace {

class MessageFileForm final : public OutputForm {
 public:
  explicit MessageFileForm(Form form) : form_(form) {}
  Form form() const override { return form_; }
  MessageJobFactory jobs(const SearchedMailbox& mailbox, const std::vector<std::int64_t>& offsets,
                         const OutputFolder* folder) const override {
    return MessageFileJobs(mailbox, offsets, *folder, form_);
  }

 private:
  Form form_;
};

}  // namespace

std::unique_ptr<OutputForm> MakeEmlForm() {
  return std::make_unique<MessageFileForm>(Form::EML);
}

std::unique_ptr<OutputForm> MakeEmlxForm() {
  return std::make_unique<MessageFileForm>(Form::EMLX);
}

}  // namespace qc
