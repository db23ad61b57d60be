// What the command line prints of a run: a line per mailbox, a line per problem and, on a
// terminal, a live progress line, all on standard error. It is an observer of the run's events;
// the summary at the end is printed from the run's report.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>

#include "convert/run_observer.h"
#include "util/ui.h"

namespace qc {

class ConsoleView final : public RunObserver {
 public:
  // At most this many problems are printed as they happen; the rest are counted.
  static constexpr std::size_t kProblemsShown = 100;

  ConsoleView(bool quiet, bool liveLine, std::FILE* err = stderr);

  // Clears a live progress line so later text starts on a clean line.
  void endProgress();
  // Prints a problem found before the run (one line), counted like the run's own.
  void problem(std::string_view text);
  std::size_t problemsNotShown() const { return problemsNotShown_; }

  // Throws StopRequested once a stop signal came; so does every step of the run's progress.
  void pace() override;
  void mailboxStarted(std::size_t index, std::size_t count, std::string_view path) override;
  void searchStarted(const MailboxPaths&) override { pace(); }
  void searchOpened() override { pace(); }
  void messagesFound(std::size_t) override { pace(); }
  void writingProgress(std::int64_t, std::int64_t) override { pace(); }
  void messageDone(std::size_t, std::int64_t) override { pace(); }
  void mailboxWritten(std::size_t, std::size_t) override { pace(); }
  void messageWritten(std::size_t j, std::uint64_t bytes) override;
  void problem(const Failure& failure) override { problem(failure.text()); }
  void mailboxDone(std::size_t index, const MailboxSummary& summary) override;

 private:
  void drawLiveLine();

  bool quiet_;
  bool live_;
  std::FILE* err_;
  std::size_t mailboxIndex_ = 0;
  std::size_t mailboxCount_ = 0;
  std::string mailboxPath_;
  std::int64_t messagesWritten_ = 0;
  std::uint64_t bytesWritten_ = 0;
  bool lineShown_ = false;
  std::size_t problemsShown_ = 0;
  std::size_t problemsNotShown_ = 0;
  std::chrono::steady_clock::time_point started_;
  std::chrono::steady_clock::time_point lastDraw_;
};

// The screen the mailbox search is given on the command line: nothing to show, and a stop
// signal ends the search at its next step.
class SignalScreen final : public NoScreen {
 public:
  void yield() override;
};

// "1.5 MiB", "812 KiB", "12 bytes".
std::string HumanBytes(std::uint64_t bytes);

// What a mailbox came to, for its line: "12 messages written", "empty, no messages", ...
std::string MailboxOutcomeText(const MailboxSummary& summary);

}  // namespace qc
