// The main window as a view of the run: its labels, bars, list selection, Convert button and
// boxes follow the run's events, in the window's own texts.
#pragma once

#include "convert/main_window.h"
#include "convert/run_observer.h"

namespace qc {

inline constexpr std::string_view kProductTitle = "Quillon Converter";

class WindowView final : public RunObserver {
 public:
  explicit WindowView(MainWindow& window) : window_(window) {}

  void pace() override { window_.yield(); }
  void runStarted(const RunRequest& request) override;
  void mailboxStarted(std::size_t index, std::size_t count, std::string_view path) override;
  void searchStarted(const MailboxPaths& paths) override;
  void searchOpened() override;
  void messagesFound(std::size_t count) override;
  void writingProgress(std::int64_t bytesSoFar, std::int64_t mailboxBytes) override;
  void messageDone(std::size_t j, std::int64_t written) override;
  void mailboxWritten(std::size_t done, std::size_t count) override;
  void runDone(const RunReport& report) override;

 private:
  MainWindow& window_;
  Form form_ = Form::EML;
};

}  // namespace qc
