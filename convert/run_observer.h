// What a conversion run tells as it goes. The window's labels and boxes and the command line's
// lines are two observers of the same events, each turning them into its own texts; tests
// observe them too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "convert/mailbox_paths.h"
#include "convert/run_request.h"
#include "util/failure.h"

namespace qc {

struct RunReport;
struct MessageFacts;

struct MailboxSummary {
  std::string path;
  std::string outputFolder;
  std::int64_t mailboxBytes = -1;  // size when searched; -1 when it could not be read
  std::int64_t messagesFound = 0;
  std::int64_t messagesWritten = 0;
  std::int64_t messagesFailed = 0;
  std::int64_t duplicatesSkipped = 0;
  std::string storePath;    // .pst form: the store file the mailbox went to
  std::string storeFolder;  // .pst form: its folder in that store
};

// What became of one message of the mailbox, told once the run has taken it.
struct MessageRecord {
  enum class Status { Written, Failed, Duplicate };
  std::size_t j = 0;
  Status status = Status::Written;
  std::string reason;  // Failed: why
  // Duplicate: the message written first, and its mailbox's path when that is another one.
  std::size_t duplicateOf = 0;
  std::string duplicateMailbox;
  // Written, with facts asked for: the message file (.eml, .emlx, .msg forms); for the .pst
  // form its place in the mailbox's store folder, from 0.
  std::string file;
  std::int64_t storePosition = -1;
  // .pst form: the data file (the part) and the folder path the message went to.
  std::string storeFile;
  std::string storeFolder;
  std::shared_ptr<const MessageFacts> facts;  // when the request asks for them
};

class RunObserver {
 public:
  virtual ~RunObserver() = default;
  // A moment where the front end may do its own work (repaint, look for a stop signal). Throwing
  // StopRequested here stops the run, which then ends as Interrupted.
  virtual void pace() {}

  virtual void runStarted(const RunRequest& /*request*/) {}
  virtual void mailboxStarted(std::size_t /*index*/, std::size_t /*count*/,
                              std::string_view /*path*/) {}
  // The search of the mailbox's file is about to begin.
  virtual void searchStarted(const MailboxPaths& /*paths*/) {}
  // Its file is open for the search.
  virtual void searchOpened() {}
  // The search is done: `count` messages, now written one by one.
  virtual void messagesFound(std::size_t /*count*/) {}
  // Where they lie: the separators' offsets, and the end of the searched range (-1 when the
  // mailbox could not be read to its end).
  virtual void messagePlaces(const std::vector<std::int64_t>& /*offsets*/, std::int64_t /*end*/) {}
  // While a large message is copied: its bytes copied so far (0 before it starts), and the
  // mailbox's size.
  virtual void writingProgress(std::int64_t /*bytesSoFar*/, std::int64_t /*mailboxBytes*/) {}
  virtual void messageWritten(std::size_t /*j*/, std::uint64_t /*bytes*/) {}
  // Message j is done with, written or failed; `written` messages of the mailbox so far.
  virtual void messageDone(std::size_t /*j*/, std::int64_t /*written*/) {}
  // Message j was taken: written, failed, or skipped as a duplicate.
  virtual void messageSettled(const MessageRecord& /*record*/) {}
  // Message j of `mailbox` (this one, or an earlier one whose messages went into a store that
  // was completed later), settled as written, did not read back as it was written: it counts as
  // failed, for `reason`.
  virtual void messageUnverified(std::string_view /*mailbox*/, std::size_t /*j*/,
                                 std::string_view /*reason*/) {}
  // Message j of `mailbox`, counted as written into the run's one data file, was not kept after
  // all: that file could not be completed, for `reason`.
  virtual void storedMessageLost(std::string_view /*mailbox*/, std::size_t /*j*/,
                                 std::string_view /*reason*/) {}
  // The mailbox's messages counted as written so far were not kept after all (their store was
  // dropped, their files could not be put on the disk), for `reason`; nor are those it did not
  // reach.
  virtual void writtenMessagesDropped(std::string_view /*reason*/) {}
  // A step failed; the run counts it.
  virtual void problem(const Failure& /*failure*/) {}
  // Not a failure, but something the user should know about the output.
  virtual void warning(std::string_view /*text*/) {}
  // The mailbox's messages are through; `done` of `count` mailboxes.
  virtual void mailboxWritten(std::size_t /*done*/, std::size_t /*count*/) {}
  // A store file is complete under its final name (.pst: one per mailbox; .msg: the temporary
  // store of the run).
  virtual void storeWritten(std::string_view /*path*/) {}
  virtual void mailboxDone(std::size_t /*index*/, const MailboxSummary& /*summary*/) {}
  virtual void runDone(const RunReport& /*report*/) {}
};

}  // namespace qc
