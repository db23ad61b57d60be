#include "convert/conversion_run.h"

#include <algorithm>
#include <cstdio>

#include "convert/facts_jobs.h"
#include "convert/message_facts.h"
#include "util/error.h"
#include "util/mod_main.h"
#include "util/registry.h"
#include "util/system.h"

namespace qc {

namespace {

constexpr std::size_t kMaxProblemsKept = 100;

std::string Count(std::int64_t n, const char* one, const char* many) {
  return std::to_string(n) + (n == 1 ? one : many);
}

std::string StoreNotKept(const std::string& cause) {
  return cause + ": the Outlook data file was not kept";
}

}  // namespace

ConversionRun::ConversionRun(FinderSlot& finder, StoreSteps* stores, PathStyle style)
    : finder_(finder),
      stores_(stores),
      style_(style),
      workers_(MessageWriterPool::DefaultWorkers()),
      claims_(style) {}

ConversionRun::ConversionRun(MainWindow& window, FinderSlot& finder, StoreSteps* stores,
                             PathStyle style)
    : ConversionRun(finder, stores, style) {
  window_ = &window;
  windowView_ = std::make_unique<WindowView>(window);
  events_.add(windowView_.get());
}

template <class Step>
std::optional<ConversionRun::Caught> ConversionRun::Catch(Step&& step) {
  try {
    step();
    return std::nullopt;
  } catch (const StopRequested&) {
    throw;
  } catch (const RunStopped&) {
    throw;
  } catch (const StoreLost& e) {
    return Caught{e.what(), e.code(), true, e.completedPart};
  } catch (const Error& e) {
    return Caught{e.what(), e.code(), false, {}};
  } catch (const std::exception& e) {
    return Caught{e.what(), 0, false, {}};
  }
}

template <class Step>
bool ConversionRun::attempt(Failure::Kind kind, Step&& step) {
  const std::optional<Caught> caught = Catch(std::forward<Step>(step));
  if (caught) recordFailure(Failure::Of(kind, caught->reason, caught->code));
  return !caught;
}

template <class Step>
void ConversionRun::must(Step&& step) {
  if (const std::optional<Caught> caught = Catch(std::forward<Step>(step))) {
    throw RunStopped{Failure::Of(Failure::Kind::Store, caught->reason, caught->code)};
  }
}

void ConversionRun::recordFailure(Failure failure) {
  switch (failure.kind) {
    case Failure::Kind::Message:
      report_.messagesFailed += failure.messages;
      break;
    case Failure::Kind::Mailbox:
      ++report_.mailboxesFailed;
      break;
    case Failure::Kind::Changed:
      ++report_.mailboxesChanged;
      break;
    case Failure::Kind::Store:
      ++report_.otherFailures;
      break;
  }
  events_.problem(failure);
  if (report_.problems.size() < kMaxProblemsKept) {
    report_.problems.push_back(failure.text());
  } else {
    ++report_.problemsNotKept;
  }
}

void ConversionRun::storeWritten(const std::string& path) {
  report_.storeFiles.push_back(path);
  events_.storeWritten(path);
  if (verify_) {
    events_.pace();
    std::vector<WrittenChecks::Mismatch> found;
    must([&] { found = checks_.checkStore(path); });
    settleMismatches(found);
  }
}

void ConversionRun::settleMismatches(const std::vector<WrittenChecks::Mismatch>& found) {
  report_.messagesVerified = checks_.verified();
  const auto& offsets = finder_.shared.MessageOffsets.values();
  for (const WrittenChecks::Mismatch& m : found) {
    const bool current = inRow_ && m.mailbox == report_.mailboxIndex;
    std::int64_t offset = m.offset;
    if (offset < 0 && current && m.j < offsets.size()) offset = offsets[m.j];
    --report_.messagesWritten;
    if (current && rowSummary_) {
      --rowSummary_->messagesWritten;
      ++rowSummary_->messagesFailed;
    }
    // A message of an earlier mailbox, in a part completed now: its mailbox's line is printed
    // already, and this one's must not carry it.
    if (inRow_ && !current) ++otherRowsUnverified_;
    recordFailure(Failure::AtMessage({m.j, offset, rowPaths_[m.mailbox]}, m.reason));
    events_.messageUnverified(rowPaths_[m.mailbox], m.j, m.reason);
  }
}

void ConversionRun::warn(std::string text) {
  events_.warning(text);
  if (report_.warnings.size() < kMaxProblemsKept) report_.warnings.push_back(std::move(text));
}

RunReport ConversionRun::CmdConvert_Click() {
  report_ = RunReport{};
  MainWindow& window = *window_;
  const std::optional<Form> chosen = window.chosenForm();
  if (!chosen) {
    window.messageBox("Please select a option to convert file(s).", MsgStyle::OkInformation,
                      kProductTitle);
    return report_;
  }
  std::vector<std::string> rows = window.mailboxRows();
  const bool anyPath = std::any_of(rows.begin(), rows.end(), [](const std::string& row) {
    return !TrimSpaces(row).empty();  // blank rows name no file
  });
  if (!anyPath) {
    window.messageBox("The list of mailboxes is empty. Add (.mbx) or (.mbox) files first.",
                      MsgStyle::OkExclamation, kProductTitle);
    return report_;
  }
  const std::string folder = window.BrowseForFolder("Choose Folder to Save...");
  if (folder.empty()) return report_;
  RunRequest request;
  request.form = *chosen;
  request.mailboxes = std::move(rows);
  request.targetFolder = folder;
  request.fallbackCharset = fallbackCharset_;
  return run(request);
}

RunReport ConversionRun::run(const RunRequest& request) {
  report_ = RunReport{};
  form_ = MakeOutputForm(request, stores_, style_);
  TargetFolder = AddSeparator(request.targetFolder, style_ == PathStyle::Windows ? '\\' : '/');
  rowCount_ = request.mailboxes.size();
  report_.mailboxCount = rowCount_;
  runStorePath_.clear();
  claims_ = OutputFolderClaims(style_);
  wantFacts_ = request.messageFacts || request.skipDuplicates;
  skipDuplicates_ = request.skipDuplicates;
  outlookLimits_ = request.outlookLimits;
  verify_ = request.verify;
  // What is kept of every message written until it is read back waits beside the output.
  checks_ = WrittenChecks(workers_, TargetFolder + "verify");
  report_.messagesVerified = verify_ ? 0 : -1;
  factsCharset_ = request.fallbackCharset;
  duplicates_.clear();
  rowPaths_.assign(rowCount_, {});
  // The stores go straight into the target folder: what killed runs left there goes first.
  if (form_->writesStores()) warnOfLeftovers(RemoveLeftovers(TargetFolder), TargetFolder);
  try {
    events_.runStarted(request);
    must([&] { runStorePath_ = form_->openRun(TargetFolder); });
    storeStart_ = counts();
    for (std::size_t i = 0; i < rowCount_; ++i) convertRow(i, request.mailboxes[i]);
    finish();
  } catch (const StopRequested&) {
    if (!runStorePath_.empty()) {
      const std::string where = writing_ ? "at message " + std::to_string(messagesDone_ + 1) +
                                               " of '" + report_.mailboxPath + "'"
                                         : "before the messages of '" + report_.mailboxPath + "'";
      if (form_->messagesInRunStore()) {
        // The messages of the data file (or of its last part) go with it: none is written.
        const std::int64_t dropped = report_.messagesWritten - storeStart_.written;
        report_.messagesWritten = storeStart_.written;
        report_.bytesWritten = storeStart_.bytes;
        loseRunStoreMessages(
            "the run was stopped before the Outlook data file was complete: it "
            "was not kept");
        warn("the run was stopped " + where + ": the Outlook data file '" + runStorePath_ +
             "' was not kept, and its " + Count(dropped, " message is", " messages are") +
             " not counted as written");
      } else {
        // The .msg files counted stay; the store they passed through is dropped with the run.
        warn("the run was stopped " + where + ": the temporary Outlook data file '" +
             runStorePath_ + "' was not kept");
      }
    }
    Catch([&] { form_->dropStores(); });
    report_.outcome = RunReport::Outcome::Interrupted;
  } catch (const RunStopped& stopped) {
    recordFailure(stopped.failure);
    report_.stopReason = stopped.failure.text();
    report_.outcome = RunReport::Outcome::Stopped;
    events_.runDone(report_);
  }
  return report_;
}

void ConversionRun::convertRow(std::size_t i, const std::string& row) {
  report_.mailboxIndex = i;
  writing_ = false;
  messagesDone_ = 0;
  finder_.shared.SearchFinished = 0;
  finder_.shared.MessageOffsets.clear();
  events_.mailboxStarted(i, rowCount_, row);
  MailboxPaths paths;
  const bool derived = attempt(Failure::Kind::Mailbox,
                               [&] { paths = DeriveMailboxPaths(row, TargetFolder, style_); });
  report_.mailboxPath = derived ? paths.path : row;
  rowPaths_[i] = report_.mailboxPath;
  MailboxSummary summary;
  summary.path = report_.mailboxPath;
  inRow_ = true;
  rowSummary_ = nullptr;
  struct LeaveRow {
    ConversionRun& run;
    ~LeaveRow() {
      run.inRow_ = false;
      run.rowSummary_ = nullptr;
    }
  } leaveRow{*this};

  bool storeOpen = false;
  storeLost_ = false;
  storeLostCause_.clear();
  partCompletedInRow_ = false;
  bool runStoreLost = false;  // the run's data file, found lost in this mailbox
  if (derived && form_->storePerMailbox()) {
    events_.pace();
    must([&] { form_->openMailbox(TargetFolder, paths); });
    storeOpen = true;
  }
  const Counts before = counts();
  if (storeOpen) storeStart_ = before;
  try {
    const bool read = derived && convertMailbox(paths, summary);
    rowSummary_ = &summary;
    flushMessageFiles(before, summary);
    if (verify_) {
      events_.pace();
      std::vector<WrittenChecks::Mismatch> found;
      must([&] { found = checks_.checkFiles(); });
      settleMismatches(found);
    }
    if (storeOpen && !read) {
      // A mailbox that could not be read leaves no store: an empty one would stand for it, and
      // take its name from the store of a later, successful run.
      storeOpen = false;
      form_->dropMailbox();
    }
    events_.mailboxWritten(i + 1, rowCount_);
    if (storeOpen) {
      events_.pace();
      storeOpen = false;
      closeMailboxStore(summary);
    }
    if (storeLost_ && form_->messagesInRunStore()) {
      runStoreLost = true;
      dropLostRunStore(before, summary);
    }
  } catch (const StopRequested&) {
    // The files a stopped run counts must last like those of a finished one.
    flushMessageFiles(before, summary);
    // A store being written when the run stops is dropped, not left half-written: the messages
    // added to it are written nowhere, so they are not counted as written.
    if (storeOpen) {
      const std::int64_t dropped = forgetStoredMessages(
          storeStart_, summary,
          "the run was stopped while the Outlook data file of this mailbox was being written: it "
          "was not kept");
      warn("the run was stopped while the Outlook data file of '" + report_.mailboxPath +
           "' was being written: it was not kept, and its " +
           Count(dropped, " message is", " messages are") + " not counted as written");
    }
    throw;
  }
  events_.mailboxDone(i, summary);
  if (runStoreLost && i + 1 < rowCount_) {
    // Every mailbox after this one would go into the same data file: none can be converted.
    report_.mailboxIndex = i + 1;
    const std::size_t left = rowCount_ - i - 1;
    const std::string after = "after '" + report_.mailboxPath + "'";
    throw RunStopped{Failure::Of(
        Failure::Kind::Store,
        storeLostCause_ + ": the Outlook data file can no longer be written, so " +
            (left == 1 ? "the mailbox " + after + " is"
                       : "the " + std::to_string(left) + " mailboxes " + after + " are") +
            " not converted")};
  }
}

void ConversionRun::closeMailboxStore(MailboxSummary& summary) {
  const Counts before = storeStart_;
  if (storeLost_) {
    Catch([&] { form_->closeMailbox(); });  // drops it: its file was never complete
    // Their reason is the one already given for the message that found the store lost.
    report_.messagesFailed += forgetStoredMessages(before, summary, StoreNotKept(storeLostCause_));
    return;
  }
  const std::optional<Caught> caught = Catch([&] { summary.storePath = form_->closeMailbox(); });
  if (!caught) {
    storeWritten(summary.storePath);
    warnOfOutlookLimits(summary);
    return;
  }
  const std::int64_t lost = forgetStoredMessages(
      before, summary, caught->reason + ": the Outlook data file was not kept");
  if (lost == 0) {
    recordFailure(Failure::Of(Failure::Kind::Store, caught->reason, caught->code));
  } else {
    recordFailure(Failure::Of(Failure::Kind::Message,
                              caught->reason + ": the Outlook data file was not kept, so its " +
                                  Count(lost, " message is", " messages are") + " not converted",
                              caught->code, lost));
  }
}

std::int64_t ConversionRun::forgetStoredMessages(Counts before, MailboxSummary& summary,
                                                 const std::string& reason) {
  const std::int64_t lost = report_.messagesWritten - before.written;
  report_.messagesWritten = before.written;
  report_.bytesWritten = before.bytes;
  summary.messagesWritten -= lost;
  summary.messagesFailed += lost;
  // A later copy of a message that was not kept is no duplicate: it must be written.
  if (skipDuplicates_) duplicates_.forgetMailbox(report_.mailboxIndex);
  // Nor is there anything of them to read back.
  checks_.forgetStored();
  checks_.forgetFiles();
  events_.writtenMessagesDropped(reason);
  return lost;
}

void ConversionRun::warnOfOutlookLimits(const MailboxSummary& summary) {
  if (!outlookLimits_) return;
  const auto gb = [](std::uint64_t bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f GB", static_cast<double>(bytes) / (1 << 30));
    return std::string(text);
  };
  const sys::PathInfo store = sys::Inspect(summary.storePath);
  const auto size = static_cast<std::uint64_t>(std::max<std::int64_t>(store.size, 0));
  if (size > outlookLimits_->fileBytes) {
    warn("the Outlook data file '" + summary.storePath + "' is " + gb(size) + " (" +
         std::to_string(size) + " bytes), past the " + gb(outlookLimits_->fileBytes) + " (" +
         std::to_string(outlookLimits_->fileBytes) +
         " bytes, a GB being 1024^3 bytes) at which Outlook warns that a data file is nearly full; "
         "Outlook stops a Unicode data file at 50 GB by default (Outlook 2003 and 2007 at 20 GB): "
         "split the mailbox, or convert it in parts, so that each data file stays below");
  }
  if (summary.messagesWritten > outlookLimits_->folderItems) {
    warn("the folder '" + summary.storeFolder + "' of the Outlook data file '" + summary.storePath +
         "' holds " + std::to_string(summary.messagesWritten) + " items, more than the " +
         std::to_string(outlookLimits_->folderItems) +
         " Microsoft advises for one folder (Outlook grows slow with more): split the mailbox, or "
         "convert it in parts");
  }
}

bool ConversionRun::convertMailbox(const MailboxPaths& paths, MailboxSummary& summary) {
  attempt(Failure::Kind::Store, [&] { form_->addStoreFolder(paths); });
  FrmFinder& finder = finder_.get();
  finder.Text2 = std::string(kSeparatorText);
  events_.searchStarted(paths);

  SearchedMailbox searched;
  bool read = false;
  if (attempt(Failure::Kind::Mailbox, [&] { searched = searchMailbox(finder, paths.path); })) {
    read = !finder.OpenError;
    if (finder.OpenError) {
      recordFailure(*finder.OpenError);
    } else if (finder.ReadError) {
      recordFailure(*finder.ReadError);
    } else {
      summary.mailboxBytes = finder.FileSize;
    }
  }

  const std::int64_t writtenBefore = report_.messagesWritten;
  const std::int64_t failedBefore = report_.messagesFailed;
  const std::int64_t duplicatesBefore = report_.duplicatesSkipped;
  otherRowsUnverified_ = 0;
  if (form_->storePerMailbox()) summary.storeFolder = paths.MailboxName;
  const std::string outputFolder = claims_.claim(paths.MailboxOutputFolder, paths.canonicalPath);
  summary.outputFolder = outputFolder;
  writeMessages(outputFolder, searched);
  summary.messagesFound = static_cast<std::int64_t>(finder_.shared.MessageOffsets.size());
  summary.messagesWritten = report_.messagesWritten - writtenBefore + otherRowsUnverified_;
  summary.messagesFailed = report_.messagesFailed - failedBefore - otherRowsUnverified_;
  summary.duplicatesSkipped = report_.duplicatesSkipped - duplicatesBefore;
  if (searched.file) checkUnchanged(paths, searched);
  return read;
}

SearchedMailbox ConversionRun::searchMailbox(FrmFinder& finder, const std::string& path) {
  finder.Open_MBOX(path);
  events_.searchOpened();
  SearchedMailbox searched;
  try {
    finder.Find_Click();
    events_.pace();
    // Every search either finds a separator or ends the search; the second condition only
    // guards against a search that did neither, which would otherwise loop here for ever.
    while (finder_.shared.SearchFinished != -1 && finder.FoundPos >= 0) {
      finder.FindNext_Click();
      events_.pace();
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
  const auto& values = finder_.shared.MessageOffsets.values();
  const std::size_t n = values.size();
  report_.messagesFound += static_cast<std::int64_t>(n);
  events_.messagesFound(n);
  events_.messagePlaces(values, searched.file ? searched.end : -1);
  std::int64_t earlier = 0;
  std::vector<bool> existing;
  if (folderMade && form_->writesMessageFiles()) {
    const auto caught = Catch([&] {
      messageFolder_ = std::make_unique<OutputFolder>(outputFolder);
      earlier = sweepOutputFolder(*messageFolder_, searched.file ? n : 0, existing);
    });
    if (caught) folderProblem = caught->reason;
  }
  if (verify_ && messageFolder_) {
    checks_.beginFiles(report_.mailboxIndex,
                       [prefix = messageFolder_->pathOf(""), form = form_->form()](std::size_t j) {
                         return prefix + MessageFileName(form, j);
                       });
  }
  if (n == 0 || !searched.file) return warnOfEarlierFiles(outputFolder, earlier);
  // Every message of this mailbox depends on the folder; when it is missing, all of them are
  // counted as failed with the one reason.
  if (form_->writesMessageFiles() && !messageFolder_) {
    for (std::size_t j = 0; j < n; ++j) {
      MessageRecord record;
      record.j = j;
      record.status = MessageRecord::Status::Failed;
      record.reason = folderProblem;
      events_.messageSettled(record);
    }
    return recordFailure(
        Failure::Of(Failure::Kind::Message, folderProblem, 0, static_cast<std::int64_t>(n)));
  }

  MessageJobFactory jobs = form_->jobs(searched, values, messageFolder_.get());
  if (wantFacts_) {
    jobs = WithMessageFacts(std::move(jobs), searched, values,
                            skipDuplicates_ ? &duplicates_ : nullptr, factsCharset_);
  }
  MessageWriterPool writer(values, std::move(jobs), workers_, form_->lead());
  const auto waiting = [&](std::int64_t soFar) {
    std::int64_t size = 0;
    if (soFar > 0) Catch([&] { size = searched.file->size(); });
    events_.writingProgress(soFar, size);
  };
  writing_ = true;
  std::int64_t saved = 0;
  std::vector<bool> replaced(n);  // message files this run wrote
  for (std::size_t j = 0; j < n; ++j) {
    MessageOutcome outcome = writer.take(j, waiting);
    const Taken taken = takeOutcome(j, outcome, searched, saved);
    if (taken == Taken::StoreLost) break;
    if (taken == Taken::Written) {
      replaced[j] = true;
      ++saved;
    }
    if (taken == Taken::Duplicate) replaced[j] = true;  // an earlier file of its name went too
    // Its attachments may hold the mailbox's bytes open until it is freed, at the latest when
    // the writer is.
    writer.giveBack(std::move(outcome.message));
    messagesDone_ = j + 1;
    events_.messageDone(j, saved);
  }
  for (std::size_t j = 0; j < existing.size(); ++j) earlier += existing[j] && !replaced[j];
  warnOfEarlierFiles(outputFolder, earlier);
}

ConversionRun::Taken ConversionRun::takeOutcome(std::size_t j, MessageOutcome& outcome,
                                                const SearchedMailbox& searched,
                                                std::int64_t saved) {
  MessageRecord record;
  record.j = j;
  record.facts = outcome.facts;
  if (skipDuplicates_ && outcome.facts) {
    // Decided here, in message order: the first copy may have been written after the job
    // looked.
    if (const auto first = duplicates_.find(outcome.facts->bodyKey)) {
      return takeDuplicate(record, outcome, *first);
    }
  }
  const auto& offsets = finder_.shared.MessageOffsets.values();
  const MessagePlace place{j, offsets[j], searched.file->path()};
  if (outcome.duplicate) {
    // Its first copy was not kept after all; the message was not written either.
    outcome.failure = Failure::AtMessage(
        place, "it was taken for a copy of a message whose copy was not kept; convert it again");
  }
  if (!outcome.done) return settleFailed(record, std::move(*outcome.failure), Taken::Failed);
  StoredAt stored;
  if (const auto caught = Catch([&] { stored = form_->accept(outcome); })) {
    Failure failure = Failure::AtMessage(place, caught->reason, caught->code);
    if (!caught->storeLost) return settleFailed(record, std::move(failure), Taken::Failed);
    // Nothing added to the store is kept now: this message and the rest fail with this one
    // reason, and the ones added before are taken back when the mailbox ends.
    if (!caught->completedPart.empty()) partCompleted(caught->completedPart);
    storeLost_ = true;
    storeLostCause_ = caught->reason;
    // Those in a part completed before are kept.
    failure.reason += partCompletedInRow_
                          ? ": this part of the Outlook data file is not kept, so none of this "
                            "mailbox's messages in it are converted"
                          : ": the Outlook data file is not kept, so none of this mailbox's "
                            "messages are converted";
    failure.messages = static_cast<std::int64_t>(offsets.size() - j);
    return settleFailed(record, std::move(failure), Taken::StoreLost);
  }
  settleWritten(record, outcome, stored, saved);
  for (const std::string& warning : outcome.warnings) {
    warn(MessageContext(place) + ": " + warning);
  }
  return Taken::Written;
}

ConversionRun::Taken ConversionRun::settleFailed(MessageRecord& record, Failure failure,
                                                 Taken taken) {
  record.status = MessageRecord::Status::Failed;
  record.reason = failure.reason;
  recordFailure(std::move(failure));
  events_.messageSettled(record);
  return taken;
}

void ConversionRun::settleWritten(MessageRecord& record, const MessageOutcome& outcome,
                                  const StoredAt& stored, std::int64_t saved) {
  if (!stored.completedPart.empty()) partCompleted(stored.completedPart);
  if (wantFacts_ && form_->messagesInRunStore()) {
    runStoreMessages_.emplace_back(report_.mailboxIndex, record.j);
  }
  ++report_.messagesWritten;
  report_.bytesWritten += outcome.bytes;
  events_.messageWritten(record.j, outcome.bytes);
  if (skipDuplicates_ && outcome.facts) {
    duplicates_.add(outcome.facts->bodyKey, {report_.mailboxIndex, record.j});
  }
  record.status = MessageRecord::Status::Written;
  if (verify_) {
    if (messageFolder_ && outcome.digest) {
      checks_.addFile(record.j, *outcome.digest);
    } else if (messageFolder_ && outcome.fileCrc) {
      checks_.addFile(record.j, FileSum{outcome.bytes, *outcome.fileCrc});
    } else if (stored.messageId != 0 && outcome.digest) {
      checks_.addStored(report_.mailboxIndex, record.j,
                        finder_.shared.MessageOffsets.values()[record.j], stored.messageId,
                        stored.folderId, *outcome.digest);
    }
  }
  if (wantFacts_) {
    if (messageFolder_) {
      record.file = messageFolder_->pathOf(MessageFileName(form_->form(), record.j));
    } else if (!stored.store.empty()) {
      record.storeFile = stored.store;
      record.storeFolder = stored.folder;
      record.storePosition = static_cast<std::int64_t>(stored.position);
    } else {
      record.storePosition = saved;
    }
  }
  events_.messageSettled(record);
}

ConversionRun::Taken ConversionRun::takeDuplicate(MessageRecord& record, MessageOutcome& outcome,
                                                  FirstCopy first) {
  // A job that wrote it before its first copy was taken leaves its file: it goes.
  const bool removed = static_cast<bool>(outcome.withdraw);
  if (removed) {
    outcome.withdraw();
    outcome.withdraw = nullptr;
  }
  ++report_.duplicatesSkipped;
  record.status = MessageRecord::Status::Duplicate;
  record.duplicateOf = first.message;
  if (first.mailbox != report_.mailboxIndex) record.duplicateMailbox = rowPaths_[first.mailbox];
  events_.messageSettled(record);
  return removed ? Taken::Duplicate : Taken::DuplicateKept;
}

void ConversionRun::checkUnchanged(const MailboxPaths& paths, const SearchedMailbox& searched) {
  // A mail client compacting a mailbox writes a new file and renames it over the old one; new
  // mail is appended. Either way the file now holds what this run did not convert.
  if (!searched.file->isNamedBy(paths.path)) {
    recordFailure(Failure::Of(
        Failure::Kind::Changed,
        "the mailbox '" + paths.path +
            "' was replaced by another file during the run: its messages were converted from the "
            "file as it was when it was searched; convert it again to get the new file's "
            "messages"));
    return;
  }
  std::int64_t now = 0;
  if (Catch([&] { now = searched.file->size(); })) return;
  if (now > searched.end) {
    recordFailure(Failure::Of(
        Failure::Kind::Changed,
        "the mailbox '" + paths.path + "' grew by " + std::to_string(now - searched.end) +
            " bytes during the run (new mail?): the messages up to byte " +
            std::to_string(searched.end) +
            " were converted, what came after was not; convert it again to get it"));
  }
}

std::int64_t ConversionRun::sweepOutputFolder(const OutputFolder& folder, std::size_t written,
                                              std::vector<bool>& existing) {
  std::int64_t earlier = 0;
  existing.assign(written, false);
  const Form form = form_->form();
  const auto count = [&](std::string_view name) {
    const std::optional<std::uint64_t> number = MessageFileNumber(form, name);
    if (!number) return;
    if (!IsOwnMessageFile(form, name) || *number >= written) {
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
    warn("'" + outputFolder + "' also holds " + Count(earlier, " message file", " message files") +
         " of an earlier run that this run did not replace; they are not messages of this "
         "mailbox as it is now");
  }
}

void ConversionRun::warnOfLeftovers(const LeftoverSweep& swept, const std::string& folder) {
  if (swept.files == 0) return;
  warn("'" + folder + "' held " +
       Count(static_cast<std::int64_t>(swept.files), " leftover temporary file",
             " leftover temporary files") +
       " (" + std::to_string(swept.bytes) + " bytes) of an earlier run that was killed; " +
       (swept.files == 1 ? "it was" : "they were") + " removed");
}

void ConversionRun::flushMessageFiles(Counts before, MailboxSummary& summary) {
  const std::unique_ptr<OutputFolder> folder = std::move(messageFolder_);
  if (!folder || report_.messagesWritten == before.written) return;
  if (const auto caught = Catch([&] { folder->flush(); })) {
    const std::int64_t lost = forgetStoredMessages(
        before, summary, caught->reason + ": the message files may be lost on a power cut");
    recordFailure(Failure::Of(Failure::Kind::Message,
                              caught->reason + ": the mailbox's " +
                                  Count(lost, " message file", " message files") +
                                  " written there may be lost on a power cut, so they are "
                                  "not counted as converted",
                              caught->code, lost));
  }
}

void ConversionRun::dropLostRunStore(Counts before, MailboxSummary& summary) {
  // This mailbox's messages in the lost file: all of them, or those after a part completed
  // during it. The message that found the file lost gave their reason already.
  const std::int64_t here = report_.messagesWritten - std::max(before.written, storeStart_.written);
  summary.messagesWritten -= here;
  summary.messagesFailed += here;
  report_.messagesFailed += here;
  // Those of earlier mailboxes, whose lines were told already.
  const std::int64_t earlier = report_.messagesWritten - here - storeStart_.written;
  report_.messagesWritten = storeStart_.written;
  report_.bytesWritten = storeStart_.bytes;
  loseRunStoreMessages(StoreNotKept(storeLostCause_));
  checks_.forgetStored();
  Catch([&] { form_->dropStores(); });
  runStorePath_.clear();
  if (earlier > 0) {
    recordFailure(Failure::Of(
        Failure::Kind::Message,
        StoreNotKept(storeLostCause_) + ", so its " + Count(earlier, " message", " messages") +
            " from earlier mailboxes " + (earlier == 1 ? "is" : "are") + " not converted either",
        0, earlier));
  }
}

void ConversionRun::partCompleted(const std::string& path) {
  // The messages before the current one are in a complete store part of their own now.
  storeWritten(path);
  storeStart_ = counts();
  partCompletedInRow_ = true;
  runStoreMessages_.clear();
}

void ConversionRun::loseRunStoreMessages(const std::string& reason) {
  for (const auto& [mailbox, j] : runStoreMessages_) {
    events_.storedMessageLost(rowPaths_[mailbox], j, reason);
  }
  runStoreMessages_.clear();
}

void ConversionRun::finish() {
  if (!runStorePath_.empty()) {
    events_.pace();
    const std::optional<Caught> caught = Catch([&] {
      const std::string path = form_->finishRun();
      runStorePath_.clear();
      storeWritten(path);
    });
    const std::int64_t lost =
        form_->messagesInRunStore() ? report_.messagesWritten - storeStart_.written : 0;
    if (caught) checks_.forgetStored();
    if (caught && lost > 0) {
      loseRunStoreMessages(caught->reason + ": the Outlook data file was not kept");
      // The messages counted as written since the store (or its last part) began are in the
      // store that was not kept.
      report_.messagesWritten = storeStart_.written;
      report_.bytesWritten = storeStart_.bytes;
      recordFailure(Failure::Of(Failure::Kind::Message,
                                caught->reason + ": the Outlook data file was not kept, so its " +
                                    Count(lost, " message is", " messages are") + " not converted",
                                caught->code, lost));
    } else if (caught) {
      recordFailure(Failure::Of(Failure::Kind::Store, caught->reason, caught->code));
    }
  }
  report_.outcome = RunReport::Outcome::Completed;
  events_.runDone(report_);
}

}  // namespace qc
