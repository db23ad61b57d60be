// The main window as the command line plays it: the form and the list come from the arguments,
// the folder browser answers with --output, and what happens reaches the terminal through the
// run's observer: a line per mailbox, a line per problem, a live progress line. Message boxes
// are the window's way of saying the same things and are not repeated here.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "convert/main_window.h"
#include "convert/run_observer.h"
#include "convert/run_report.h"

namespace qc {

class CliWindow final : public MainWindow, public RunObserver {
 public:
  // At most this many problems are printed as they happen; the rest are counted.
  static constexpr std::size_t kProblemsShown = 100;

  CliWindow(Form form, std::vector<std::string> mailboxes, std::string outputFolder, bool quiet,
            bool liveLine, std::FILE* err = stderr);

  // The run whose counts the progress line shows.
  void watch(const RunReport* report) { report_ = report; }
  // Clears a live progress line so later text starts on a clean line.
  void endProgress();

  // Prints a problem found before the run (one line), counted like the run's own.
  void problem(std::string_view text) override;
  std::size_t problemsNotShown() const { return problemsNotShown_; }

  // MainWindow
  MsgButton messageBox(std::string_view text, MsgStyle style, std::string_view title) override;
  void beep() override {}
  void yield() override;  // throws StopRequested once a stop signal came
  void setLabel(Label, std::string_view) override {}
  void setProgressRange(Bar, int, int) override {}
  void setProgress(Bar, double) override {}
  std::string BrowseForFolder(std::string_view) override { return outputFolder_; }
  void ShellOpen(std::string_view) override {}
  std::optional<Form> chosenForm() override { return form_; }
  std::vector<std::string> mailboxRows() override { return mailboxes_; }
  void selectRow(std::size_t) override {}
  void setConvertEnabled(bool) override {}
  void clearOptions() override {}

  // RunObserver
  void mailboxDone(std::size_t index, const MailboxSummary& summary) override;

 private:
  void drawLiveLine();

  Form form_;
  std::vector<std::string> mailboxes_;
  std::string outputFolder_;
  bool quiet_;
  bool live_;
  std::FILE* err_;
  const RunReport* report_ = nullptr;
  bool lineShown_ = false;
  std::size_t problemsShown_ = 0;
  std::size_t problemsNotShown_ = 0;
  std::chrono::steady_clock::time_point started_;
  std::chrono::steady_clock::time_point lastDraw_;
};

// "1.5 MiB", "812 KiB", "12 bytes".
std::string HumanBytes(std::uint64_t bytes);

// What a mailbox came to, for its line: "12 messages written", "empty, no messages", ...
std::string MailboxOutcomeText(const MailboxSummary& summary);

}  // namespace qc
