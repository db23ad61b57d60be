// One conversion run: every mailbox of a request, one after the other, into the chosen form.
// The run tells what happens through events to its observers; the window's Convert button asks
// the window for the request and makes the window one of them.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "convert/duplicate_index.h"
#include "convert/forms/output_form.h"
#include "convert/mailbox_paths.h"
#include "convert/main_window.h"
#include "convert/message_cutter.h"
#include "convert/run_broadcast.h"
#include "convert/run_observer.h"
#include "convert/run_report.h"
#include "convert/run_request.h"
#include "convert/store_steps.h"
#include "convert/window_view.h"
#include "convert/written_checks.h"

#include <deque>
#include <utility>
#include "scanner/frm_finder.h"
#include "util/failure.h"
#include "util/leftovers.h"

namespace qc {

inline constexpr std::string_view kSeparatorText = "From ???@???";

class ConversionRun {
 public:
  // `stores` serves the .pst and .msg forms; without it those forms stop at their first store
  // step with the store error.
  ConversionRun(FinderSlot& finder, StoreSteps* stores = nullptr,
                PathStyle style = kNativePathStyle);
  // A run the window's Convert button starts: the window is asked for the request and shows
  // the run.
  ConversionRun(MainWindow& window, FinderSlot& finder, StoreSteps* stores = nullptr,
                PathStyle style = kNativePathStyle);

  // The window's Convert button: the chosen form, the list and a folder from the window, then
  // the run.
  RunReport CmdConvert_Click();
  // The whole run. A stop requested through an observer ends it as Interrupted, with the counts
  // of what was done; every file it counts is complete.
  RunReport run(const RunRequest& request);

  const RunReport& report() const { return report_; }
  // Threads that write message files beside the run's own (0: the run writes them itself).
  void setWriterThreads(unsigned workers) { workers_ = workers; }
  void addObserver(RunObserver* observer) { events_.add(observer); }
  // The charset the window's runs read text in that names none and is not UTF-8.
  void setFallbackCharset(std::string charset) { fallbackCharset_ = std::move(charset); }

 private:
  // A failure of a step that stops the run (a store that cannot be made).
  struct RunStopped {
    Failure failure;
  };
  struct Caught {
    std::string reason;
    int code = 0;
    bool storeLost = false;
    std::string completedPart;  // StoreLost: a part completed before the store was lost
  };
  // The one place that catches what a step throws; a stop request passes.
  template <class Step>
  static std::optional<Caught> Catch(Step&& step);
  // The step's failure is counted as `kind` and the run goes on. True when it succeeded.
  template <class Step>
  bool attempt(Failure::Kind kind, Step&& step);
  // The step's failure stops the run.
  template <class Step>
  void must(Step&& step);

  struct Counts {
    std::int64_t written = 0;
    std::uint64_t bytes = 0;
  };
  Counts counts() const { return {report_.messagesWritten, report_.bytesWritten}; }
  // Duplicate: not written, its file (if any) removed; DuplicateKept: not written, and no file
  // of its name was touched.
  enum class Taken { Written, Failed, StoreLost, Duplicate, DuplicateKept };

  void recordFailure(Failure failure);
  void warn(std::string text);
  void warnOfLeftovers(const LeftoverSweep& swept, const std::string& folder);
  void storeWritten(const std::string& path);
  // The messages counted as written since `before` were not kept after all (their store was
  // dropped, or their files could not be put on the disk): they move to the mailbox's failed
  // count, and how many is returned. `reason` says why they were not kept.
  std::int64_t forgetStoredMessages(Counts before, MailboxSummary& summary,
                                    const std::string& reason);
  void warnOfOutlookLimits(const MailboxSummary& summary);

  void convertRow(std::size_t i, const std::string& row);
  void closeMailboxStore(MailboxSummary& summary);
  // False when the mailbox could not be read at all.
  bool convertMailbox(const MailboxPaths& paths, MailboxSummary& summary);
  SearchedMailbox searchMailbox(FrmFinder& finder, const std::string& path);
  void writeMessages(const std::string& outputFolder, const SearchedMailbox& searched);
  // `saved`: the mailbox's messages written before this one.
  Taken takeOutcome(std::size_t j, MessageOutcome& outcome, const SearchedMailbox& searched,
                    std::int64_t saved);
  // A message whose first copy this run wrote already: counted and told, not written.
  Taken settleFailed(MessageRecord& record, Failure failure, Taken taken);
  void settleWritten(MessageRecord& record, const MessageOutcome& outcome, const StoredAt& stored,
                     std::int64_t saved);
  Taken takeDuplicate(MessageRecord& record, MessageOutcome& outcome, FirstCopy first);
  void checkUnchanged(const MailboxPaths& paths, const SearchedMailbox& searched);
  // One pass over the folder before its files are written (a folder of thousands of message
  // files is not listed again after they are): what killed runs left goes, and message files of
  // an earlier run that this run will not replace (numbers from `written` on, the other
  // message-file form) are counted. `existing` tells, for each of the `written` messages,
  // whether an earlier file of its name is there: one this run fails to replace counts too.
  std::int64_t sweepOutputFolder(const OutputFolder& folder, std::size_t written,
                                 std::vector<bool>& existing);
  void warnOfEarlierFiles(const std::string& outputFolder, std::int64_t earlier);
  void flushMessageFiles(Counts before, MailboxSummary& summary);
  // The messages of the run's store (or of its last part) that it did not keep, told one by one
  // (only when the request asks for facts: a manifest lists them).
  void loseRunStoreMessages(const std::string& reason);
  // A part of the open store was completed (its file is whole) before the current message.
  void partCompleted(const std::string& path);
  // The run's one data file (or its current part) was found lost in this mailbox: what went into
  // it is written nowhere, and the file is dropped.
  void dropLostRunStore(Counts before, MailboxSummary& summary);
  // Messages that did not read back as written: counted as failed, not written.
  void settleMismatches(const std::vector<WrittenChecks::Mismatch>& found);
  void finish();

  MainWindow* window_ = nullptr;
  std::unique_ptr<WindowView> windowView_;
  FinderSlot& finder_;
  StoreSteps* stores_;
  RunBroadcast events_;
  PathStyle style_;
  unsigned workers_;
  std::string fallbackCharset_ = std::string(mapi::import::kDefaultFallbackCharset);

  std::unique_ptr<OutputForm> form_;
  std::string TargetFolder;
  std::size_t rowCount_ = 0;
  std::string runStorePath_;  // the store the whole run writes through, while it is open
  // Where a stop comes: writing the messages of the current mailbox, and how many are done.
  bool writing_ = false;
  std::size_t messagesDone_ = 0;
  bool storeLost_ = false;           // the mailbox's store can no longer be written
  Counts storeStart_;                // the counts when the open store (or its current part) began
  std::string storeLostCause_;       // what the store said when it was lost
  bool partCompletedInRow_ = false;  // a part of the store was completed during this mailbox
  // What the request asks for beyond the conversion.
  bool wantFacts_ = false;
  bool skipDuplicates_ = false;
  std::optional<OutlookLimits> outlookLimits_;
  bool verify_ = false;
  // The mailbox (by row) and number of each message in the run's store since it (or its last
  // part) began, when facts are asked for.
  std::deque<std::pair<std::size_t, std::size_t>> runStoreMessages_;
  WrittenChecks checks_;
  // The mailbox being converted, while its messages are settled (they may yet fail to read
  // back), and its summary once the count of its messages is made.
  bool inRow_ = false;
  MailboxSummary* rowSummary_ = nullptr;
  std::int64_t otherRowsUnverified_ = 0;  // while a mailbox's messages are written
  std::string factsCharset_;
  DuplicateIndex duplicates_;
  std::vector<std::string> rowPaths_;  // the mailboxes' paths, by row, for duplicates' first copies
  OutputFolderClaims claims_;
  std::unique_ptr<OutputFolder> messageFolder_;  // the mailbox's, while its files are written
  RunReport report_;
};

}  // namespace qc
