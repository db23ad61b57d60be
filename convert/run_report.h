// What a conversion run did: counts for the front ends and the end-of-run message.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qc {

struct RunReport {
  enum class Outcome {
    NotStarted,   // no form chosen, an empty list, or the folder choice cancelled
    Completed,    // every row was worked through (some steps may have failed)
    Stopped,      // a store could not be opened; the remaining mailboxes were not converted
    Interrupted,  // a stop was requested (the window closed, a signal): the rest was not done
  };
  Outcome outcome = Outcome::NotStarted;
  std::string stopReason;  // Stopped: why

  std::size_t mailboxCount = 0;    // rows of the list
  std::size_t mailboxIndex = 0;    // 0-based row being converted (live)
  std::string mailboxPath;         // row being converted (live)
  std::int64_t messagesFound = 0;  // separators found, all mailboxes
  std::int64_t messagesWritten = 0;
  std::int64_t messagesFailed = 0;
  std::int64_t mailboxesFailed = 0;    // could not be read
  std::int64_t mailboxesChanged = 0;   // replaced or grown during the run: not all converted
  std::int64_t otherFailures = 0;      // store steps outside single messages
  std::int64_t duplicatesSkipped = 0;  // not written: copies of messages written before
  std::uint64_t bytesWritten = 0;
  // When the run reads its output back: messages read back and found as written.
  std::int64_t messagesVerified = -1;
  std::vector<std::string> problems;    // the reasons, in the order they happened (the first ones)
  std::int64_t problemsNotKept = 0;     // problems past those kept
  std::vector<std::string> warnings;    // not failures, but worth knowing (the first ones)
  std::vector<std::string> storeFiles;  // .pst and .msg forms: the store files written

  bool anyFailed() const {
    return messagesFailed + mailboxesFailed + mailboxesChanged + otherFailures > 0;
  }
};

// The text of the box that ends a run which had failures.
std::string FailureSummaryText(const RunReport& report);

}  // namespace qc
