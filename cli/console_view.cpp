#include "cli/console_view.h"

#include <cinttypes>

#include "util/registry.h"
#include "util/system.h"

namespace qc {

namespace {
constexpr auto kRedrawEvery = std::chrono::milliseconds(100);

std::string Count(std::int64_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}
}  // namespace

std::string HumanBytes(std::uint64_t bytes) {
  char text[64];
  if (bytes >= (std::uint64_t{1} << 30)) {
    std::snprintf(text, sizeof text, "%.2f GiB", static_cast<double>(bytes) / (1 << 30));
  } else if (bytes >= (std::uint64_t{1} << 20)) {
    std::snprintf(text, sizeof text, "%.1f MiB", static_cast<double>(bytes) / (1 << 20));
  } else if (bytes >= 1024) {
    std::snprintf(text, sizeof text, "%.1f KiB", static_cast<double>(bytes) / 1024);
  } else {
    std::snprintf(text, sizeof text, "%" PRIu64 " bytes", bytes);
  }
  return text;
}

std::string MailboxOutcomeText(const MailboxSummary& s) {
  if (s.mailboxBytes < 0) return "not read";
  if (s.mailboxBytes < 2) {
    return s.mailboxBytes == 0 ? "empty, no messages" : "1 byte, no messages";
  }
  if (s.messagesFound == 0) return "no messages (no \"From ???@???\" separator in it)";
  std::string text = Count(s.messagesWritten, "message", "messages") + " written";
  if (s.messagesFailed > 0) text += ", " + std::to_string(s.messagesFailed) + " failed";
  if (s.duplicatesSkipped > 0) {
    text += ", " + Count(s.duplicatesSkipped, "duplicate", "duplicates") + " skipped";
  }
  return text;
}

ConsoleView::ConsoleView(bool quiet, bool liveLine, std::FILE* err)
    : quiet_(quiet),
      live_(liveLine && !quiet),
      err_(err),
      started_(std::chrono::steady_clock::now()),
      lastDraw_(started_) {}

void SignalScreen::yield() {
  if (sys::StopSignal() != 0) throw StopRequested{};
}

void ConsoleView::pace() {
  if (sys::StopSignal() != 0) throw StopRequested{};
  if (!live_) return;
  const auto now = std::chrono::steady_clock::now();
  if (now - lastDraw_ < kRedrawEvery) return;
  lastDraw_ = now;
  drawLiveLine();
}

void ConsoleView::mailboxStarted(std::size_t index, std::size_t count, std::string_view path) {
  mailboxIndex_ = index;
  mailboxCount_ = count;
  mailboxPath_ = path;
  pace();
}

void ConsoleView::messageWritten(std::size_t, std::uint64_t bytes) {
  ++messagesWritten_;
  bytesWritten_ += bytes;
}

void ConsoleView::problem(std::string_view text) {
  if (problemsShown_ >= kProblemsShown) {
    ++problemsNotShown_;
    return;
  }
  ++problemsShown_;
  endProgress();
  std::fprintf(err_, "quillon-convert: %.*s\n", static_cast<int>(text.size()), text.data());
  std::fflush(err_);
}

void ConsoleView::drawLiveLine() {
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
  const double rate = seconds > 0 ? static_cast<double>(bytesWritten_) / seconds : 0.0;
  std::fprintf(err_, "\r\033[K[%zu/%zu] %s: %" PRId64 " messages, %s, %s/s", mailboxIndex_ + 1,
               mailboxCount_, GetFileNamePart(mailboxPath_.empty() ? "?" : mailboxPath_).c_str(),
               messagesWritten_, HumanBytes(bytesWritten_).c_str(),
               HumanBytes(static_cast<std::uint64_t>(rate)).c_str());
  std::fflush(err_);
  lineShown_ = true;
}

void ConsoleView::mailboxDone(std::size_t index, const MailboxSummary& summary) {
  if (quiet_) return;
  endProgress();
  std::string outcome = MailboxOutcomeText(summary);
  if (!summary.storePath.empty()) outcome += " into " + summary.storePath;
  std::fprintf(err_, "[%zu/%zu] %s: %s\n", index + 1, mailboxCount_, summary.path.c_str(),
               outcome.c_str());
  std::fflush(err_);
}

void ConsoleView::endProgress() {
  if (!lineShown_) return;
  std::fprintf(err_, "\r\033[K");
  std::fflush(err_);
  lineShown_ = false;
}

}  // namespace qc
