// The main window as the command line plays it: the form and list come from the arguments, the
// folder browser answers with --output, message boxes go to stderr, progress to stderr.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "convert/main_window.h"
#include "convert/run_report.h"

namespace qc {

class CliWindow final : public MainWindow {
 public:
  CliWindow(Form form, std::vector<std::string> mailboxes, std::string outputFolder, bool quiet,
            bool liveLine, std::FILE* err = stderr);

  // The run whose counts the progress line shows.
  void watch(const RunReport* report) { report_ = report; }
  // Clears a live progress line so later text starts on a clean line.
  void endProgress();

  MsgButton messageBox(std::string_view text, MsgStyle style, std::string_view title) override;
  void beep() override {}
  void yield() override;
  void setLabel(Label label, std::string_view text) override;
  void setProgressRange(Bar, int, int) override {}
  void setProgress(Bar, double) override {}

  std::string BrowseForFolder(std::string_view) override { return outputFolder_; }
  void ShellOpen(std::string_view) override {}

  std::optional<Form> chosenForm() override { return form_; }
  std::vector<std::string> mailboxRows() override { return mailboxes_; }
  void selectRow(std::size_t) override {}
  void setConvertEnabled(bool) override {}
  void clearOptions() override {}

 private:
  void drawLiveLine();
  void mailboxDone(std::string_view messagesLabel);

  Form form_;
  std::vector<std::string> mailboxes_;
  std::string outputFolder_;
  bool quiet_;
  bool live_;
  std::FILE* err_;
  const RunReport* report_ = nullptr;
  bool lineShown_ = false;
  std::chrono::steady_clock::time_point started_;
  std::chrono::steady_clock::time_point lastDraw_;
};

// "1.5 MiB", "812 KiB", "12 bytes".
std::string HumanBytes(std::uint64_t bytes);

}  // namespace qc
