#include "cli/cli_window.h"

#include <cinttypes>

#include "util/registry.h"

namespace qc {

namespace {
constexpr auto kRedrawEvery = std::chrono::milliseconds(100);

// Message-box text uses CR LF or a bare CR between lines; a terminal wants LF.
std::string TerminalText(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      out += '\n';
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      out += text[i];
    }
  }
  while (!out.empty() && out.back() == '\n') out.pop_back();
  return out;
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

CliWindow::CliWindow(Form form, std::vector<std::string> mailboxes, std::string outputFolder,
                     bool quiet, bool liveLine, std::FILE* err)
    : form_(form),
      mailboxes_(std::move(mailboxes)),
      outputFolder_(std::move(outputFolder)),
      quiet_(quiet),
      live_(liveLine && !quiet),
      err_(err),
      started_(std::chrono::steady_clock::now()),
      lastDraw_(started_) {}

MsgButton CliWindow::messageBox(std::string_view text, MsgStyle style, std::string_view title) {
  const bool informational = style == MsgStyle::Ok || style == MsgStyle::OkInformation;
  if (quiet_ && informational && title == "Quillon Converter") return MsgButton::Ok;
  endProgress();
  const std::string body = TerminalText(text);
  if (title.empty()) {
    std::fprintf(err_, "%s\n", body.c_str());
  } else {
    std::fprintf(err_, "%.*s: %s\n", static_cast<int>(title.size()), title.data(), body.c_str());
  }
  return style == MsgStyle::YesNoQuestion ? MsgButton::Yes : MsgButton::Ok;
}

void CliWindow::yield() {
  if (!live_) return;
  const auto now = std::chrono::steady_clock::now();
  if (now - lastDraw_ < kRedrawEvery) return;
  lastDraw_ = now;
  drawLiveLine();
}

void CliWindow::setLabel(Label label, std::string_view text) {
  if (label == Label::LblEmlsFound && !text.empty()) mailboxDone(text);
}

void CliWindow::drawLiveLine() {
  if (!report_) return;
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
  const double rate = seconds > 0 ? static_cast<double>(report_->bytesWritten) / seconds : 0.0;
  std::fprintf(err_, "\r\033[K[%zu/%zu] %s: %" PRId64 " messages, %s, %s/s",
               report_->mailboxIndex + 1, report_->mailboxCount,
               GetFileNamePart(report_->mailboxPath.empty() ? "?" : report_->mailboxPath).c_str(),
               report_->messagesWritten, HumanBytes(report_->bytesWritten).c_str(),
               HumanBytes(static_cast<std::uint64_t>(rate)).c_str());
  std::fflush(err_);
  lineShown_ = true;
}

void CliWindow::mailboxDone(std::string_view messagesLabel) {
  // The count of messages found is known once the search of a mailbox has ended.
  if (quiet_ || !report_) return;
  endProgress();
  std::fprintf(err_, "[%zu/%zu] %s: %.*s found\n", report_->mailboxIndex + 1, report_->mailboxCount,
               report_->mailboxPath.c_str(), static_cast<int>(messagesLabel.size()),
               messagesLabel.data());
  std::fflush(err_);
}

void CliWindow::endProgress() {
  if (!lineShown_) return;
  std::fprintf(err_, "\r\033[K");
  std::fflush(err_);
  lineShown_ = false;
}

}  // namespace qc
