// quillon-convert: converts mailboxes from the command line through the same run as the window.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <map>

#include "cli/cli_window.h"
#include "convert/conversion_run.h"
#include "scanner/frm_finder.h"
#include "util/error.h"
#include "util/mailbox_filter.h"

namespace {

enum Exit : int { kAllWritten = 0, kBadUsage = 1, kSomeFailed = 2, kStopped = 3 };

int Fail(int code, const std::string& text) {
  std::fprintf(stderr, "quillon-convert: %s\n", text.c_str());
  return code;
}

}  // namespace

int main(int argc, char** argv) {
  // A file-size limit must end in a write error we can report, not kill the process.
  std::signal(SIGXFSZ, SIG_IGN);

  CLI::App app{
      "Converts Quillon mailboxes (.mbx, .mbox) into one file per message.\n"
      "Each mailbox's messages go to OUTPUT/<mailbox path>/email-0.eml, email-1.eml, ...",
      "quillon-convert"};
  app.set_version_flag("--version", "quillon-convert " QC_VERSION);
  std::string format;
  std::string output;
  std::vector<std::string> folders;
  std::vector<std::string> mailboxes;
  bool quiet = false;
  const std::map<std::string, qc::Form> forms{{"eml", qc::Form::EML},
                                              {"emlx", qc::Form::EMLX},
                                              {"msg", qc::Form::MSG},
                                              {"pst", qc::Form::PST}};
  app.add_option("--format", format, "eml, emlx, msg or pst")
      ->required()
      ->check(CLI::IsMember({"eml", "emlx", "msg", "pst"}));
  app.add_option("--output", output, "folder that receives the results (created when missing)")
      ->required();
  app.add_option("--folder", folders,
                 "add every .mbx/.mbox file below this folder (any depth); may be repeated");
  app.add_option("mailboxes", mailboxes, "mailbox files to convert");
  app.add_flag("-q,--quiet", quiet, "print only problems");
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? kAllWritten : kBadUsage;
  }

  const qc::Form form = forms.at(format);
  if (form == qc::Form::PST || form == qc::Form::MSG) {
    return Fail(kBadUsage, "the ." + format +
                               " form is not available in this version; use --format eml or emlx");
  }
  for (const auto& m : mailboxes) {
    if (m.empty()) return Fail(kBadUsage, "a mailbox argument is empty");
  }
  for (const auto& folder : folders) {
    std::error_code ec;
    if (!std::filesystem::is_directory(folder, ec)) {
      return Fail(kBadUsage, "--folder '" + folder + "' is not a folder");
    }
    try {
      const auto found = qc::FindMailboxes(folder);
      if (found.empty() && !quiet) {
        std::fprintf(stderr, "quillon-convert: no .mbx or .mbox files below '%s'\n",
                     folder.c_str());
      }
      mailboxes.insert(mailboxes.end(), found.begin(), found.end());
    } catch (const std::exception& e) {
      return Fail(kStopped, e.what());
    }
  }
  if (mailboxes.empty()) return Fail(kBadUsage, "no mailboxes to convert (see --help)");

  std::error_code ec;
  std::filesystem::create_directories(output, ec);
  if (ec || !std::filesystem::is_directory(output, ec)) {
    return Fail(kStopped, "cannot create the output folder '" + output + "'" +
                              (ec ? ": " + ec.message() : std::string(": a file is in the way")));
  }
  const std::string target = std::filesystem::absolute(output).lexically_normal().string();

  const auto started = std::chrono::steady_clock::now();
  qc::CliWindow window(form, mailboxes, target, quiet, ::isatty(STDERR_FILENO) == 1);
  qc::NullLog log;
  qc::FinderSlot finder(window, log);
  qc::ConversionRun run(window, finder);
  window.watch(&run.report());
  const qc::RunReport report = run.CmdConvert_Click();
  window.endProgress();
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

  if (report.outcome == qc::RunReport::Outcome::NotStarted) return kBadUsage;
  if (!quiet || report.anyFailed()) {
    std::printf("%zu mailbox%s: %lld message%s written (%s) to %s in %.2f s", report.mailboxCount,
                report.mailboxCount == 1 ? "" : "es",
                static_cast<long long>(report.messagesWritten),
                report.messagesWritten == 1 ? "" : "s", qc::HumanBytes(report.bytesWritten).c_str(),
                target.c_str(), seconds);
    if (report.anyFailed()) {
      std::printf(
          "; %lld message%s failed, %lld mailbox%s unreadable",
          static_cast<long long>(report.messagesFailed), report.messagesFailed == 1 ? "" : "s",
          static_cast<long long>(report.mailboxesFailed), report.mailboxesFailed == 1 ? "" : "es");
    }
    std::printf("\n");
    for (std::size_t i = 1; i < report.problems.size(); ++i) {
      std::fprintf(stderr, "quillon-convert: %s\n", report.problems[i].c_str());
    }
  }
  if (report.outcome == qc::RunReport::Outcome::Stopped) return kStopped;
  return report.anyFailed() ? kSomeFailed : kAllWritten;
}
