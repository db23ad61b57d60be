// What the forms that go through a message store share.
#pragma once

#include <string>

#include "convert/forms/output_form.h"
#include "mapi/import/library_messages.h"

namespace qc {

// The store steps, the charset of text that names none, whether messages' digests are kept for
// reading them back, and dropping a store a stopped run leaves open.
class StoreForm : public OutputForm {
 public:
  StoreForm(StoreSteps* stores, const RunRequest& request)
      : stores_(stores), fallbackCharset_(request.fallbackCharset), digests_(request.verify) {}
  bool writesStores() const override { return true; }
  void dropStores() override {
    if (stores_) stores_->dropStore();
  }

 protected:
  StoreSteps* stores_;
  std::string fallbackCharset_;
  bool digests_;
};

// The forms whose messages go into the store itself (.pst): imported on the workers, added to
// the store in message order; no message files.
class ImportIntoStoreForm : public StoreForm {
 public:
  using StoreForm::StoreForm;
  Form form() const override { return Form::PST; }
  bool writesMessageFiles() const override { return false; }
  MessageJobFactory jobs(const SearchedMailbox& mailbox, const std::vector<std::int64_t>& offsets,
                         const OutputFolder*) const override {
    return ImportJobs(mailbox, offsets, fallbackCharset_, digests_);
  }
  // Imported messages wait in memory for the store, whose writer sets the pace anyway.
  PoolLead lead() const override { return kShortLead; }
  StoredAt accept(MessageOutcome& outcome) override {
    // The store reads the message's attachments from the mailbox as it writes them; what the
    // mail libraries say meanwhile is said of the message.
    const mapi::LibraryMessageScope libraries(&outcome.warnings);
    return stores_->addMessage(*outcome.message, outcome.bytes);
  }
};

}  // namespace qc
