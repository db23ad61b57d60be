// What a conversion run tells as it goes. The window's labels and boxes and the command line's
// lines are two observers of the same events, each turning them into its own texts; tests
// observe them too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "convert/mailbox_paths.h"
#include "convert/run_request.h"
#include "util/failure.h"

namespace qc {

struct RunReport;

struct MailboxSummary {
  std::string path;
  std::string outputFolder;
  std::int64_t mailboxBytes = -1;  // size when searched; -1 when it could not be read
  std::int64_t messagesFound = 0;
  std::int64_t messagesWritten = 0;
  std::int64_t messagesFailed = 0;
  std::string storePath;  // .pst form: the store file the mailbox went to
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
  // While a large message is copied: its bytes copied so far (0 before it starts), and the
  // mailbox's size.
  virtual void writingProgress(std::int64_t /*bytesSoFar*/, std::int64_t /*mailboxBytes*/) {}
  virtual void messageWritten(std::size_t /*j*/, std::uint64_t /*bytes*/) {}
  // Message j is done with, written or failed; `written` messages of the mailbox so far.
  virtual void messageDone(std::size_t /*j*/, std::int64_t /*written*/) {}
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
