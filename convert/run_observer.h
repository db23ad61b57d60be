// What a conversion run tells as it goes. The window's labels and boxes and the command line's
// lines are views of the same run; front ends listen here rather than read each other's texts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "convert/mailbox_paths.h"

namespace qc {

struct RunReport;

struct MailboxSummary {
  std::string path;
  std::string outputFolder;
  std::int64_t mailboxBytes = -1;  // size when searched; -1 when it could not be read
  std::int64_t messagesFound = 0;
  std::int64_t messagesWritten = 0;
  std::int64_t messagesFailed = 0;
};

class RunObserver {
 public:
  virtual ~RunObserver() = default;
  virtual void mailboxStarted(std::size_t /*index*/, std::size_t /*count*/,
                              const MailboxPaths& /*paths*/) {}
  // A step failed; the run counts it. The text names the file and the system's reason.
  virtual void problem(std::string_view /*text*/) {}
  // Not a failure, but something the user should know about the output.
  virtual void warning(std::string_view /*text*/) {}
  virtual void mailboxDone(std::size_t /*index*/, const MailboxSummary& /*summary*/) {}
  virtual void runDone(const RunReport& /*report*/) {}
};

}  // namespace qc
