// One press of Convert: every mailbox of the list, one after the other, into the chosen form.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "convert/mailbox_paths.h"
#include "convert/main_window.h"
#include "convert/message_cutter.h"
#include "convert/run_observer.h"
#include "convert/run_report.h"
#include "convert/store_steps.h"
#include "mapi/import/charset_labels.h"
#include "scanner/frm_finder.h"
#include "util/leftovers.h"

namespace qc {

inline constexpr std::string_view kProductTitle = "Quillon Converter";
inline constexpr std::string_view kSeparatorText = "From ???@???";

class ConversionRun {
 public:
  // `stores` serves the .pst and .msg forms; without it those forms stop at their first store
  // step with the store error.
  ConversionRun(MainWindow& window, FinderSlot& finder, StoreSteps* stores = nullptr,
                PathStyle style = kNativePathStyle);

  // The whole run. The chosen form and the list are read once, when the run starts.
  RunReport CmdConvert_Click();

  // The run's counts so far, for front ends that show more than the labels.
  const RunReport& report() const { return report_; }

  // Threads that write message files beside the run's own (0: the run writes them itself).
  void setWriterThreads(unsigned workers) { workers_ = workers; }

  // Who hears of mailboxes, problems and warnings as they happen (optional).
  void setObserver(RunObserver* observer) { observer_ = observer; }

  // The charset the .pst and .msg forms read text in that names none and is not UTF-8 (a known
  // label; windows-1252 unless told otherwise).
  void setFallbackCharset(std::string charset) { fallbackCharset_ = std::move(charset); }

 private:
  enum class FailureMode { Unset, Trapped, Ignored };
  enum class FailureKind { Message, Mailbox, Changed, Other };
  struct Trapped {
    std::string reason;
  };

  // Runs one step under the run's failure mode: a failure either stops the run (trapped) or is
  // counted and skipped (ignored). True when the step succeeded.
  template <class Step>
  bool attempt(FailureKind kind, Step&& step);
  void recordFailure(FailureKind kind, std::string reason, std::int64_t messages = 1);
  // The mailbox's store was not kept (or its message files could not be put on the disk): the
  // messages added to it since the counts stood at `writtenBefore` and `bytesBefore` were not
  // written after all. Takes them off the written counts, puts them on the mailbox's failed
  // count and returns how many; the caller counts them as failures of the run, or not at all
  // when the run was stopped.
  std::int64_t forgetStoredMessages(std::int64_t writtenBefore, std::uint64_t bytesBefore,
                                    MailboxSummary& summary);
  void warn(std::string text);
  void warnOfLeftovers(const LeftoverSweep& swept, const std::string& folder);
  void storeWritten(const std::string& path);

  void convertRow(std::size_t i, const std::string& row);
  // False when the mailbox could not be read at all.
  bool convertMailbox(const MailboxPaths& paths, MailboxSummary& summary);
  SearchedMailbox searchMailbox(FrmFinder& finder, const std::string& path);
  void writeMessages(const std::string& outputFolder, const SearchedMailbox& searched);
  void checkUnchanged(const MailboxPaths& paths, const SearchedMailbox& searched);
  // One pass over the folder before its files are written (a folder of thousands of message
  // files is not listed again after they are): what killed runs left goes, and message files of
  // an earlier run that this run will not replace (numbers from `written` on, the other
  // message-file form) are counted. `existing` tells, for each of the `written` messages,
  // whether an earlier file of its name is there: one this run fails to replace counts too.
  std::int64_t sweepOutputFolder(const OutputFolder& folder, std::size_t written,
                                 std::vector<bool>& existing);
  void warnOfEarlierFiles(const std::string& outputFolder, std::int64_t earlier);
  // Puts the message files written since the counts stood at `writtenBefore` on the disk; when
  // that fails they are failures after all.
  void flushMessageFiles(std::int64_t writtenBefore, std::uint64_t bytesBefore,
                         MailboxSummary& summary);
  void finish();

  MainWindow& window_;
  FinderSlot& finder_;
  StoreSteps* stores_;
  RunObserver* observer_ = nullptr;
  PathStyle style_;
  unsigned workers_;

  std::string fallbackCharset_ = std::string(mapi::import::kDefaultFallbackCharset);

  FailureMode mode_ = FailureMode::Unset;
  bool temporaryStoreOpen_ = false;
  std::string temporaryStorePath_;
  // Where a stop comes: writing the messages of the current mailbox, and how many are done.
  bool writing_ = false;
  std::size_t messagesDone_ = 0;
  bool storeLost_ = false;  // .pst form: the mailbox's store can no longer be written
  Form form_ = Form::EML;
  std::string TargetFolder;
  std::string StoreFolderName;
  std::size_t rowCount_ = 0;
  OutputFolderClaims claims_;
  std::unique_ptr<OutputFolder> messageFolder_;  // the mailbox's, while its files are written
  RunReport report_;
};

}  // namespace qc
