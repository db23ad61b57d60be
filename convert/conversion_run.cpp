#include "convert/conversion_run.h"

#include <algorithm>
#include <memory>
#include <optional>

#include "convert/message_writer_pool.h"
#include "mapi/import/library_messages.h"
#include "util/error.h"
#include "util/mod_main.h"
#include "util/registry.h"

namespace qc {

namespace {

constexpr std::size_t kMaxProblemsKept = 100;
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

// The progress area as a new window shows it: a run that fails early must not show the
// figures of the run before it.
void ResetProgress(MainWindow& window) {
  window.setLabel(Label::LblHappening, "");
  window.setLabel(Label::LblProgessCurrent, "Mailbox  0 (of 0)");
  window.setLabel(Label::LblIMMFile, "");
  window.setLabel(Label::LblEmlsFound, "");
  window.setLabel(Label::LblByteUpdate, "");
  window.setLabel(Label::LblProgress, "Saving :");
  window.setProgress(Bar::ProgressBar1, 0);
  window.setProgress(Bar::ProgressBar2, 0);
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

ConversionRun::ConversionRun(MainWindow& window, FinderSlot& finder, StoreSteps* stores,
                             PathStyle style)
    : window_(window),
      finder_(finder),
      stores_(stores),
      style_(style),
      workers_(MessageWriterPool::DefaultWorkers()),
      claims_(style) {}

template <class Step>
bool ConversionRun::attempt(FailureKind kind, Step&& step) {
  try {
    step();
    return true;
  } catch (const StopRequested&) {
    throw;
  } catch (const Trapped&) {
    throw;
  } catch (const std::exception& e) {
    if (mode_ == FailureMode::Trapped) throw Trapped{e.what()};
    recordFailure(kind, e.what());
    return false;
  }
}

void ConversionRun::recordFailure(FailureKind kind, std::string reason, std::int64_t messages) {
  switch (kind) {
    case FailureKind::Message:
      report_.messagesFailed += messages;
      break;
    case FailureKind::Mailbox:
      ++report_.mailboxesFailed;
      break;
    case FailureKind::Changed:
      ++report_.mailboxesChanged;
      break;
    case FailureKind::Other:
      ++report_.otherFailures;
      break;
  }
  if (observer_) observer_->problem(reason);
  if (report_.problems.size() < kMaxProblemsKept) {
    report_.problems.push_back(std::move(reason));
  } else {
    ++report_.problemsNotKept;
  }
}

void ConversionRun::storeWritten(const std::string& path) {
  report_.storeFiles.push_back(path);
  if (observer_) observer_->storeWritten(path);
}

void ConversionRun::warn(std::string text) {
  if (observer_) observer_->warning(text);
  if (report_.warnings.size() < kMaxProblemsKept) report_.warnings.push_back(std::move(text));
}

RunReport ConversionRun::CmdConvert_Click() {
  report_ = RunReport{};
  const std::optional<Form> chosen = window_.chosenForm();
  if (!chosen) {
    window_.messageBox("Please select a option to convert file(s).", MsgStyle::OkInformation,
                       kProductTitle);
    return report_;
  }
  std::vector<std::string> rows = window_.mailboxRows();
  bool anyPath = false;
  for (const auto& row : rows)
    anyPath = anyPath || !TrimSpaces(row).empty();  // blank rows name no file
  if (!anyPath) {
    window_.messageBox("The list of mailboxes is empty. Add (.mbx) or (.mbox) files first.",
                       MsgStyle::OkExclamation, kProductTitle);
    return report_;
  }
  const std::string folder = window_.BrowseForFolder("Choose Folder to Save...");
  if (folder.empty()) return report_;

  form_ = *chosen;
  TargetFolder = AddSeparator(folder, style_ == PathStyle::Windows ? '\\' : '/');
  rowCount_ = rows.size();
  report_.mailboxCount = rowCount_;
  mode_ = FailureMode::Unset;
  temporaryStoreOpen_ = false;
  claims_ = OutputFolderClaims(style_);
  // The stores go straight into the target folder: what killed runs left there goes first.
  if (form_ == Form::PST || form_ == Form::MSG) {
    warnOfLeftovers(RemoveLeftovers(TargetFolder), TargetFolder);
  }

  window_.yield();
  window_.setConvertEnabled(false);
  window_.setProgressRange(Bar::ProgressBar1, 0, 100);
  ResetProgress(window_);
  try {
    if (form_ == Form::MSG) {
      mode_ = FailureMode::Trapped;
      attempt(FailureKind::Other, [&] {
        if (!stores_) throw Error("no message store is available for the .msg form");
        temporaryStorePath_ = stores_->openTemporaryStore(TargetFolder);
        temporaryStoreOpen_ = true;
      });
    }
    for (std::size_t i = 0; i < rowCount_; ++i) convertRow(i, rows[i]);
  } catch (const StopRequested&) {
    if (temporaryStoreOpen_) {
      // The .msg files counted stay; the store they passed through is dropped with the run.
      const std::string where = writing_ ? "at message " + std::to_string(messagesDone_ + 1) +
                                               " of '" + report_.mailboxPath + "'"
                                         : "before the messages of '" + report_.mailboxPath + "'";
      warn("the run was stopped " + where + ": the temporary Outlook data file '" +
           temporaryStorePath_ + "' was not kept");
    }
    throw;
  } catch (const Trapped& trapped) {
    recordFailure(FailureKind::Other, trapped.reason);
    report_.stopReason = trapped.reason;
    window_.messageBox(StoreErrorText(trapped.reason), MsgStyle::OkInformation, "Outlook Error");
    window_.setConvertEnabled(true);
    window_.clearOptions();
    report_.outcome = RunReport::Outcome::Stopped;
    if (observer_) observer_->runDone(report_);
    return report_;
  }
  finish();
  return report_;
}

void ConversionRun::convertRow(std::size_t i, const std::string& row) {
  report_.mailboxIndex = i;
  writing_ = false;
  messagesDone_ = 0;
  window_.selectRow(i);
  finder_.shared.SearchFinished = 0;
  finder_.shared.MessageOffsets.clear();
  window_.yield();
  window_.setLabel(Label::LblProgessCurrent,
                   "Mailbox " + std::to_string(i + 1) + " (of " + std::to_string(rowCount_) + ") ");
  MailboxPaths paths;
  const bool derived =
      attempt(FailureKind::Mailbox, [&] { paths = DeriveMailboxPaths(row, TargetFolder, style_); });
  report_.mailboxPath = derived ? paths.path : row;
  MailboxSummary summary;
  summary.path = report_.mailboxPath;
  if (derived && observer_) observer_->mailboxStarted(i, rowCount_, paths);

  bool storeOpen = false;
  storeLost_ = false;
  if (form_ == Form::PST && derived) {
    mode_ = FailureMode::Trapped;
    attempt(FailureKind::Other, [&] {
      if (!stores_) throw Error("no message store is available for the .pst form");
      window_.yield();
      stores_->openMailboxStore(TargetFolder, paths.MailboxName);
      storeOpen = true;
    });
  }
  mode_ = FailureMode::Ignored;
  const std::int64_t writtenBefore = report_.messagesWritten;
  const std::uint64_t bytesBefore = report_.bytesWritten;
  try {
    const bool read = derived && convertMailbox(paths, summary);
    flushMessageFiles(writtenBefore, bytesBefore, summary);
    if (storeOpen && !read) {
      // A mailbox that could not be read leaves no store: an empty one would stand for it, and
      // take its name from the store of a later, successful run.
      storeOpen = false;
      stores_->dropMailboxStore();
    }
    window_.yield();
    window_.setProgress(Bar::ProgressBar1,
                        static_cast<double>(i + 1) / static_cast<double>(rowCount_) * 100.0);
    if (storeOpen) {
      window_.yield();
      storeOpen = false;
      if (storeLost_) {
        try {
          stores_->closeMailboxStore();  // drops it: its file was never complete
        } catch (const std::exception&) {
        }
        // Their reason is the one already given for the message that found the store lost.
        report_.messagesFailed += forgetStoredMessages(writtenBefore, bytesBefore, summary);
      } else {
        try {
          summary.storePath = stores_->closeMailboxStore();
          storeWritten(summary.storePath);
        } catch (const std::exception& e) {
          const std::int64_t lost = forgetStoredMessages(writtenBefore, bytesBefore, summary);
          if (lost == 0) {
            recordFailure(FailureKind::Other, e.what());
          } else {
            recordFailure(FailureKind::Message,
                          std::string(e.what()) + ": the Outlook data file was not kept, so its " +
                              std::to_string(lost) + " message" + (lost == 1 ? " is" : "s are") +
                              " not converted",
                          lost);
          }
        }
      }
    }
  } catch (const StopRequested&) {
    // The files a stopped run counts must last like those of a finished one.
    flushMessageFiles(writtenBefore, bytesBefore, summary);
    // A store being written when the run stops is dropped, not left half-written: the messages
    // added to it are written nowhere, so they are not counted as written.
    if (storeOpen) {
      const std::int64_t dropped = forgetStoredMessages(writtenBefore, bytesBefore, summary);
      warn("the run was stopped while the Outlook data file of '" + report_.mailboxPath +
           "' was being written: it was not kept, and its " + std::to_string(dropped) + " message" +
           (dropped == 1 ? " is" : "s are") + " not counted as written");
    }
    throw;
  }
  if (observer_) observer_->mailboxDone(i, summary);
}

std::int64_t ConversionRun::forgetStoredMessages(std::int64_t writtenBefore,
                                                 std::uint64_t bytesBefore,
                                                 MailboxSummary& summary) {
  const std::int64_t lost = report_.messagesWritten - writtenBefore;
  report_.messagesWritten = writtenBefore;
  report_.bytesWritten = bytesBefore;
  summary.messagesWritten -= lost;
  summary.messagesFailed += lost;
  return lost;
}

bool ConversionRun::convertMailbox(const MailboxPaths& paths, MailboxSummary& summary) {
  StoreFolderName = paths.MailboxName;
  if (form_ == Form::PST || form_ == Form::MSG) {
    attempt(FailureKind::Other, [&] { stores_->createMailboxFolder(StoreFolderName); });
  }
  window_.setLabel(Label::LblIMMFile, paths.fileName);
  window_.yield();
  window_.setLabel(Label::LblHappening, "Setting Mail Search Filter...");
  FrmFinder& finder = finder_.get();
  finder.Text2 = std::string(kSeparatorText);
  window_.yield();
  window_.setLabel(Label::LblEmlsFound, "");
  window_.setLabel(Label::LblProgress, "");

  SearchedMailbox searched;
  bool read = false;
  if (attempt(FailureKind::Mailbox, [&] { searched = searchMailbox(finder, paths.path); })) {
    read = !finder.OpenError;
    if (finder.OpenError) {
      recordFailure(FailureKind::Mailbox, *finder.OpenError);
    } else if (finder.ReadError) {
      recordFailure(FailureKind::Mailbox, *finder.ReadError);
    } else {
      summary.mailboxBytes = finder.FileSize;
    }
  }

  const std::int64_t writtenBefore = report_.messagesWritten;
  const std::int64_t failedBefore = report_.messagesFailed;
  const std::string outputFolder = claims_.claim(paths.MailboxOutputFolder, paths.canonicalPath);
  summary.outputFolder = outputFolder;
  writeMessages(outputFolder, searched);
  summary.messagesFound = static_cast<std::int64_t>(finder_.shared.MessageOffsets.size());
  summary.messagesWritten = report_.messagesWritten - writtenBefore;
  summary.messagesFailed = report_.messagesFailed - failedBefore;
  if (searched.file) checkUnchanged(paths, searched);
  return read;
}

SearchedMailbox ConversionRun::searchMailbox(FrmFinder& finder, const std::string& path) {
  finder.Open_MBOX(path);
  window_.yield();
  window_.setProgressRange(Bar::ProgressBar2, 0, 100);
  SearchedMailbox searched;
  try {
    finder.Find_Click();
    window_.yield();
    // Every search either finds a separator or ends the search; the second condition only
    // guards against a search that did neither, which would otherwise loop here for ever.
    while (finder_.shared.SearchFinished != -1 && finder.FoundPos >= 0) {
      finder.FindNext_Click();
      window_.yield();
    }
    // The messages are cut from the very file that was searched, over the range it covered.
    searched = {finder.OpenMailbox(), finder.FileSize};
  } catch (...) {
    finder.CloseFile();  // the next mailbox could not be opened while this one is
    throw;
  }
  finder.CloseFile();
  return searched;
}

void ConversionRun::writeMessages(const std::string& outputFolder,
                                  const SearchedMailbox& searched) {
  std::string folderProblem;
  const bool folderMade = EnsureFolderPath(outputFolder, &folderProblem);
  window_.yield();
  window_.yield();

  const auto& offsets = finder_.shared.MessageOffsets;
  const std::size_t n = offsets.size();
  report_.messagesFound += static_cast<std::int64_t>(n);
  window_.setLabel(Label::LblEmlsFound, std::to_string(n) + " Messages");
  window_.yield();
  window_.setLabel(Label::LblHappening, "Saving email messages...");
  // A .pst store needs no folder of message files; its messages must not fail for want of one.
  const bool needsFolder = form_ != Form::PST;
  std::int64_t earlier = 0;
  std::vector<bool> existing;
  if (folderMade && needsFolder) {
    try {
      messageFolder_ = std::make_unique<OutputFolder>(outputFolder);
      earlier = sweepOutputFolder(*messageFolder_, searched.file ? n : 0, existing);
    } catch (const std::exception& e) {
      folderProblem = e.what();
    }
  }
  if (n == 0 || !searched.file) {
    warnOfEarlierFiles(outputFolder, earlier);
    return;
  }

  // Every message of this mailbox depends on the folder; when it is missing, all of them are
  // counted as failed with the one reason.
  if (needsFolder && !messageFolder_) {
    recordFailure(FailureKind::Message, folderProblem, static_cast<std::int64_t>(n));
    return;
  }
  OutputFolder* folder = messageFolder_.get();

  const auto& values = offsets.values();
  MessageJobFactory jobs;
  switch (form_) {
    case Form::EML:
    case Form::EMLX:
      jobs = MessageFileJobs(searched, values, *folder, std::string(MessageFileExtension(form_)));
      break;
    case Form::PST:
      jobs = ImportJobs(searched, values, fallbackCharset_);
      break;
    case Form::MSG:
      jobs = MsgFileJobs(searched, values, *folder, fallbackCharset_);
      break;
  }
  MessageWriterPool writer(values, std::move(jobs), workers_,
                           form_ == Form::PST ? kShortLead : PoolLead{});
  const auto waiting = [&](std::int64_t soFar) {
    if (soFar > 0) {
      std::int64_t size = 0;
      try {
        size = searched.file->size();
      } catch (const Error&) {
      }
      window_.setLabel(Label::LblByteUpdate, "Saving: " + std::to_string(soFar) + " Bytes out of " +
                                                 std::to_string(size) + " Total Bytes.");
    }
    window_.yield();
  };
  writing_ = true;
  std::int64_t saved = 0;
  std::vector<bool> replaced(n);  // message files this run wrote
  for (std::size_t j = 0; j < n; ++j) {
    MessageWriterPool::Outcome outcome = writer.take(j, waiting);
    bool written = outcome.done;
    if (!written) {
      recordFailure(FailureKind::Message, outcome.error);
    } else if (form_ == Form::PST) {
      const auto failed = [&](const std::exception& e) {
        return MessageContext(j, values[j], searched.file->path()) + ": " + e.what();
      };
      try {
        // The store reads the message's attachments from the mailbox as it writes them.
        const mapi::LibraryMessageScope libraries(&outcome.warnings);
        stores_->addMessage(*outcome.message);
      } catch (const StoreLost& e) {
        // Nothing added to the store is kept now: this message and the rest fail with this one
        // reason, and the ones added before are taken back when the mailbox ends.
        storeLost_ = true;
        recordFailure(FailureKind::Message,
                      failed(e) +
                          ": the Outlook data file is not kept, so none of this "
                          "mailbox's messages are converted",
                      static_cast<std::int64_t>(n - j));
        break;
      } catch (const std::exception& e) {
        recordFailure(FailureKind::Message, failed(e));
        written = false;
      }
    }
    if (written) {
      replaced[j] = true;
      ++saved;
      ++report_.messagesWritten;
      report_.bytesWritten += outcome.bytes;
      for (const std::string& warning : outcome.warnings) {
        warn(MessageContext(j, values[j], searched.file->path()) + ": " + warning);
      }
    }
    outcome.message.reset();  // its attachments may hold the mailbox's bytes open
    messagesDone_ = j + 1;
    window_.setLabel(Label::LblProgress, "Saved " + std::to_string(saved) + " Message(s)");
    window_.yield();
  }
  for (std::size_t j = 0; j < existing.size(); ++j) earlier += existing[j] && !replaced[j];
  warnOfEarlierFiles(outputFolder, earlier);
}

void ConversionRun::checkUnchanged(const MailboxPaths& paths, const SearchedMailbox& searched) {
  // A mail client compacting a mailbox writes a new file and renames it over the old one; new
  // mail is appended. Either way the file now holds what this run did not convert.
  if (!searched.file->isNamedBy(paths.path)) {
    recordFailure(FailureKind::Changed,
                  "the mailbox '" + paths.path +
                      "' was replaced by another file during the run: its messages were "
                      "converted from the file as it was when it was searched; convert it "
                      "again to get the new file's messages");
    return;
  }
  std::int64_t now = 0;
  try {
    now = searched.file->size();
  } catch (const Error&) {
    return;
  }
  if (now > searched.end) {
    recordFailure(FailureKind::Changed,
                  "the mailbox '" + paths.path + "' grew by " + std::to_string(now - searched.end) +
                      " bytes during the run (new mail?): the messages up to byte " +
                      std::to_string(searched.end) +
                      " were converted, what came after was not; convert it again to get it");
  }
}

namespace {

// The message number in `name` when it is one of the message files a form writes
// ("email-12.eml", "email-12.emlx", "Email-12.msg"), spelled as the run spells numbers.
std::optional<std::uint64_t> MessageFileNumber(std::string_view name, std::string_view prefix,
                                               std::initializer_list<std::string_view> extensions) {
  if (!name.starts_with(prefix)) return std::nullopt;
  const auto dot = name.rfind('.');
  if (dot == std::string_view::npos || dot < prefix.size()) return std::nullopt;
  const std::string_view extension = name.substr(dot);
  if (std::find(extensions.begin(), extensions.end(), extension) == extensions.end()) {
    return std::nullopt;
  }
  const std::string_view digits = name.substr(prefix.size(), dot - prefix.size());
  if (digits.empty() || digits.size() > 18 || (digits.size() > 1 && digits[0] == '0') ||
      digits.find_first_not_of("0123456789") != std::string_view::npos) {
    return std::nullopt;
  }
  return std::stoull(std::string(digits));
}

}  // namespace

std::int64_t ConversionRun::sweepOutputFolder(const OutputFolder& folder, std::size_t written,
                                              std::vector<bool>& existing) {
  std::int64_t earlier = 0;
  existing.assign(written, false);
  const std::string_view ours = form_ == Form::MSG ? ".msg" : MessageFileExtension(form_);
  const auto count = [&](std::string_view name) {
    const std::optional<std::uint64_t> number =
        form_ == Form::MSG ? MessageFileNumber(name, "Email-", {".msg"})
                           : MessageFileNumber(name, "email-", {".eml", ".emlx"});
    if (!number) return;
    if (!name.ends_with(ours) || *number >= written) {
      ++earlier;
    } else {
      existing[*number] = true;  // replaced, unless its message fails
    }
  };
  warnOfLeftovers(RemoveLeftovers(folder, count), folder.path());
  return earlier;
}

void ConversionRun::warnOfEarlierFiles(const std::string& outputFolder, std::int64_t earlier) {
  // Files of an earlier run that this run did not replace would stand among the new ones as if
  // they belonged to this mailbox.
  if (earlier > 0) {
    warn("'" + outputFolder + "' also holds " + std::to_string(earlier) + " message file" +
         (earlier == 1 ? "" : "s") +
         " of an earlier run that this run did not replace; they are not messages of this "
         "mailbox as it is now");
  }
}

void ConversionRun::warnOfLeftovers(const LeftoverSweep& swept, const std::string& folder) {
  if (swept.files == 0) return;
  warn("'" + folder + "' held " + std::to_string(swept.files) + " leftover temporary file" +
       (swept.files == 1 ? "" : "s") + " (" + std::to_string(swept.bytes) +
       " bytes) of an earlier run that was killed; " + (swept.files == 1 ? "it was" : "they were") +
       " removed");
}

void ConversionRun::flushMessageFiles(std::int64_t writtenBefore, std::uint64_t bytesBefore,
                                      MailboxSummary& summary) {
  const std::unique_ptr<OutputFolder> folder = std::move(messageFolder_);
  if (!folder || report_.messagesWritten == writtenBefore) return;
  try {
    folder->flush();
  } catch (const std::exception& e) {
    const std::int64_t lost = forgetStoredMessages(writtenBefore, bytesBefore, summary);
    recordFailure(FailureKind::Message,
                  std::string(e.what()) + ": the mailbox's " + std::to_string(lost) +
                      " message file" + (lost == 1 ? "" : "s") +
                      " written there may be lost on a power cut, so they are not counted as "
                      "converted",
                  lost);
  }
}

void ConversionRun::finish() {
  if (temporaryStoreOpen_) {
    window_.yield();
    attempt(FailureKind::Other, [&] { storeWritten(stores_->closeTemporaryStore()); });
  }
  report_.outcome = RunReport::Outcome::Completed;
  if (observer_) observer_->runDone(report_);
  if (report_.anyFailed()) {
    window_.messageBox(FailureSummaryText(report_), MsgStyle::OkExclamation, kProductTitle);
  } else {
    window_.messageBox(CompletionText(form_), MsgStyle::OkInformation, kProductTitle);
  }
  window_.setConvertEnabled(true);
  window_.clearOptions();
}

}  // namespace qc
