#include "convert/run_report.h"

namespace qc {

namespace {
std::string Plural(std::int64_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}
}  // namespace

std::string FailureSummaryText(const RunReport& report) {
  std::string text = "Not all of your messages from Quillon Mailboxes could be exported.\r\n";
  text += std::string(75, '*') + "\r\n";
  text += Plural(report.messagesWritten, "message was", "messages were") + " written, ";
  text += Plural(report.messagesFailed, "message", "messages") + " failed";
  if (report.mailboxesFailed > 0) {
    text += ", " + Plural(report.mailboxesFailed, "mailbox", "mailboxes") + " could not be read";
  }
  if (report.mailboxesChanged > 0) {
    text += ", " + Plural(report.mailboxesChanged, "mailbox", "mailboxes") +
            " changed while being converted";
  }
  if (report.otherFailures > 0) {
    text += ", " + Plural(report.otherFailures, "other step", "other steps") + " failed";
  }
  text += ".\r\n";
  if (!report.problems.empty()) text += "First problem: " + report.problems.front() + "\r\n";
  return text;
}

}  // namespace qc
