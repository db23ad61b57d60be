#include "convert/window_view.h"

#include "convert/run_report.h"

namespace qc {

namespace {

constexpr std::string_view kSupportEmail = "support@brantwell-software.example";

std::string Stars() {
  return std::string(75, '*');
}

// Where the run cannot create its store file it stops, as it always has, but says what failed
// and what to look at; no Outlook is involved.
std::string StoreErrorText(const std::string& reason) {
  return "The Outlook data file could not be written !\r\n" + reason +
         "\r\nCheck that the output folder exists and that you may write to it, that its disk "
         "has free space, and that no folder has the data file's name.\r\n"
         "If still you face any issue, please write to us at " +
         std::string(kSupportEmail) + " with the text of this message.";
}

std::string CompletionText(Form form) {
  if (form == Form::PST) {
    return "Your messages from Quillon Mailboxes has been successfully exported to Outlook (.pst) "
           "file.\r\n" +
           Stars() +
           "\r\nStart Outlook and open converted pst file by clicking File -> Open -> Outlook Data "
           "File. And it all done !";
  }
  return "Your messages from Quillon Mailboxes has been successfully exported.\r\n" + Stars() +
         "\r\n";
}

}  // namespace

void WindowView::runStarted(const RunRequest& request) {
  form_ = request.form;
  window_.yield();
  window_.setConvertEnabled(false);
  window_.setProgressRange(Bar::ProgressBar1, 0, 100);
  // The progress area as a new window shows it: a run that fails early must not show the
  // figures of the run before it.
  window_.setLabel(Label::LblHappening, "");
  window_.setLabel(Label::LblProgessCurrent, "Mailbox  0 (of 0)");
  window_.setLabel(Label::LblIMMFile, "");
  window_.setLabel(Label::LblEmlsFound, "");
  window_.setLabel(Label::LblByteUpdate, "");
  window_.setLabel(Label::LblProgress, "Saving :");
  window_.setProgress(Bar::ProgressBar1, 0);
  window_.setProgress(Bar::ProgressBar2, 0);
}

void WindowView::mailboxStarted(std::size_t index, std::size_t count, std::string_view) {
  window_.selectRow(index);
  window_.yield();
  window_.setLabel(Label::LblProgessCurrent,
                   "Mailbox " + std::to_string(index + 1) + " (of " + std::to_string(count) + ") ");
}

void WindowView::searchStarted(const MailboxPaths& paths) {
  window_.setLabel(Label::LblIMMFile, paths.fileName);
  window_.yield();
  window_.setLabel(Label::LblHappening, "Setting Mail Search Filter...");
  window_.yield();
  window_.setLabel(Label::LblEmlsFound, "");
  window_.setLabel(Label::LblProgress, "");
}

void WindowView::searchOpened() {
  window_.yield();
  window_.setProgressRange(Bar::ProgressBar2, 0, 100);
}

void WindowView::messagesFound(std::size_t count) {
  window_.yield();
  window_.yield();
  window_.setLabel(Label::LblEmlsFound, std::to_string(count) + " Messages");
  window_.yield();
  window_.setLabel(Label::LblHappening, "Saving email messages...");
}

void WindowView::writingProgress(std::int64_t bytesSoFar, std::int64_t mailboxBytes) {
  if (bytesSoFar > 0) {
    window_.setLabel(Label::LblByteUpdate, "Saving: " + std::to_string(bytesSoFar) +
                                               " Bytes out of " + std::to_string(mailboxBytes) +
                                               " Total Bytes.");
  }
  window_.yield();
}

void WindowView::messageDone(std::size_t, std::int64_t written) {
  window_.setLabel(Label::LblProgress, "Saved " + std::to_string(written) + " Message(s)");
  window_.yield();
}

void WindowView::mailboxWritten(std::size_t done, std::size_t count) {
  window_.yield();
  window_.setProgress(Bar::ProgressBar1,
                      static_cast<double>(done) / static_cast<double>(count) * 100.0);
}

void WindowView::runDone(const RunReport& report) {
  switch (report.outcome) {
    case RunReport::Outcome::Stopped:
      window_.messageBox(StoreErrorText(report.stopReason), MsgStyle::OkInformation,
                         "Outlook Error");
      break;
    case RunReport::Outcome::Completed:
      if (report.anyFailed()) {
        window_.messageBox(FailureSummaryText(report), MsgStyle::OkExclamation, kProductTitle);
      } else {
        window_.messageBox(CompletionText(form_), MsgStyle::OkInformation, kProductTitle);
      }
      break;
    case RunReport::Outcome::NotStarted:
    case RunReport::Outcome::Interrupted:
      return;  // a window being closed shows nothing more
  }
  window_.setConvertEnabled(true);
  window_.clearOptions();
}

}  // namespace qc
