#include "convert/facts_jobs.h"

#include "convert/message_facts.h"
#include "util/error.h"

namespace qc {

namespace {

class FactsJob final : public MessageJob {
 public:
  FactsJob(std::unique_ptr<MessageJob> job, SearchedMailbox mailbox,
           const std::vector<std::int64_t>& offsets, const DuplicateIndex* duplicates,
           const std::string& fallbackCharset)
      : job_(std::move(job)),
        mailbox_(std::move(mailbox)),
        window_(*mailbox_.file),
        offsets_(offsets),
        duplicates_(duplicates),
        fallbackCharset_(fallbackCharset) {}

  MessageOutcome run(std::size_t j, const ChunkProgress& progress) override {
    std::shared_ptr<MessageFacts> facts;
    try {
      facts = std::make_shared<MessageFacts>(
          ReadMessageFacts(window_, mailbox_, offsets_, j, fallbackCharset_));
    } catch (const Error&) {
      // The job meets the same mailbox and says why the message cannot be done.
    }
    if (facts && duplicates_ && duplicates_->find(facts->bodyKey)) {
      MessageOutcome outcome;
      outcome.duplicate = true;
      outcome.facts = std::move(facts);
      return outcome;
    }
    MessageOutcome outcome = job_->run(j, progress);
    if (facts) facts->attachments = outcome.attachments;
    outcome.facts = std::move(facts);
    return outcome;
  }

 private:
  std::unique_ptr<MessageJob> job_;
  SearchedMailbox mailbox_;
  ByteWindow window_;
  const std::vector<std::int64_t>& offsets_;
  const DuplicateIndex* duplicates_;
  std::string fallbackCharset_;
};

}  // namespace

MessageJobFactory WithMessageFacts(MessageJobFactory jobs, SearchedMailbox mailbox,
                                   const std::vector<std::int64_t>& offsets,
                                   const DuplicateIndex* duplicates, std::string fallbackCharset) {
  return [=, &offsets] {
    return std::unique_ptr<MessageJob>(
        std::make_unique<FactsJob>(jobs(), mailbox, offsets, duplicates, fallbackCharset));
  };
}

}  // namespace qc
