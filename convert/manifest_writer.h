// The manifest of a run: a CSV file (RFC 4180, UTF-8, CR LF) with a row for every message of
// every mailbox the run searched, saying where the message lies in its mailbox, what it is (a
// SHA-256 of its message file's bytes, its Message-ID, subject and date) and what became of it.
// An observer of the run's events; the request must ask for the messages' facts.
//
// Columns: mailbox,message,offset,length,sha256,output,message_id,subject,date,attachments,status
// - output: the message file; for the .pst form "<data file>|<folder>|<place in the folder, from
//   0>"; empty for a message not written.
// - attachments: as the import counts them (.msg, .pst forms); empty for .eml and .emlx.
// - status: "written", "failed: <reason>", "duplicate of <j>" (or "duplicate of <j> in
//   <mailbox>" when the first copy is in another mailbox), "not converted: <reason>".
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "convert/run_observer.h"
#include "util/pending_file.h"

namespace qc {

// A CSV field as RFC 4180 writes it: quoted (quotes doubled) when it holds a comma, a quote, CR
// or LF.
std::string CsvField(std::string_view text);

class ManifestWriter final : public RunObserver {
 public:
  static constexpr std::string_view kHeader =
      "mailbox,message,offset,length,sha256,output,message_id,subject,date,attachments,status";

  // Starts the file at `path` under a temporary name in its folder. Throws qc::Error.
  explicit ManifestWriter(const std::string& path);
  ~ManifestWriter() override;

  void searchStarted(const MailboxPaths& paths) override;
  void messagePlaces(const std::vector<std::int64_t>& offsets, std::int64_t end) override;
  void messageSettled(const MessageRecord& record) override;
  void messageUnverified(std::string_view mailbox, std::size_t j, std::string_view reason) override;
  void storedMessageLost(std::string_view mailbox, std::size_t j, std::string_view reason) override;
  void writtenMessagesDropped(std::string_view reason) override;
  void mailboxDone(std::size_t index, const MailboxSummary& summary) override;

  // The rows of a mailbox the run did not finish say `why` its messages not done were not
  // converted (it was stopped); then the file takes its name. Throws qc::Error.
  void close(std::string_view why);
  std::int64_t rows() const { return rows_; }
  std::string path() const;

 private:
  // A message's row while its mailbox is converted. Its text (the hash, where it went, the
  // header fields) waits in a spill file rather than in memory: a mailbox can hold a million
  // messages, and what became of them is known only when it is done.
  struct Row {
    bool written = false;
    bool copyHere = false;            // a duplicate of a message of the same mailbox
    bool keepOutput = true;           // false once its message was given up
    std::int64_t storePosition = -1;  // .pst form, when the store did not say where it went
    std::string status;
    std::uint64_t spilled = 0;  // where its text starts in the spill file
    std::uint32_t shaSize = 0;  // its text: the hash, the output, then ",id,subject,date,n"
    std::uint32_t outputSize = 0;
    std::uint32_t tailSize = 0;
  };
  void writeMailbox(const MailboxSummary* summary, std::string_view why);
  // The file written so far again, with the rows of `lateFailures_` saying why they failed.
  void mendLateFailures();
  // `size` bytes of the spill file from `at`; rows are read in the order they were spilled.
  std::string_view spilledText(std::uint64_t at, std::size_t size);

  PendingFile file_;
  std::string mailbox_;
  std::vector<std::int64_t> offsets_;
  std::int64_t end_ = -1;
  std::vector<Row> pending_;
  std::unique_ptr<PendingFile> spill_;  // never takes a name: it goes when the mailbox is done
  std::uint64_t spillSize_ = 0;
  std::string spillWindow_;
  std::uint64_t windowStart_ = 0;
  std::string droppedReason_;
  // Messages of mailboxes whose rows are written already that failed later (their store was
  // completed, or not kept, after them): their rows are mended when the file is closed, with
  // this status, and without their output when it was not kept.
  struct Late {
    std::string status;
    bool keepOutput = true;
  };
  std::map<std::pair<std::string, std::size_t>, Late> lateFailures_;
  std::string text_;
  std::int64_t rows_ = 0;
};

}  // namespace qc
