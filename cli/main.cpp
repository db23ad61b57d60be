// quillon-convert: converts mailboxes from the command line through the same run as the window.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>

#include "cli/console_view.h"
#include "cli/mailbox_args.h"
#include "convert/conversion_run.h"
#include "convert/manifest_writer.h"
#include "convert/store_library.h"
#include "mapi/import/charset_labels.h"
#include "qc_version.h"
#include "scanner/frm_finder.h"
#include "util/error.h"
#include "util/mod_main.h"
#include "util/registry.h"
#include "util/system.h"

namespace {

enum Exit : int { kAllWritten = 0, kBadUsage = 1, kSomeFailed = 2, kStopped = 3 };

int Fail(int code, const std::string& text) {
  std::fprintf(stderr, "quillon-convert: %s\n", text.c_str());
  return code;
}

const char* Plural(std::int64_t n, const char* one, const char* many) {
  return n == 1 ? one : many;
}

// The summary: what stopped the run, if anything did; one line of counts; then what the user
// should know about the output.
void PrintSummary(const qc::RunReport& report, const std::string& target, double seconds,
                  std::int64_t extraProblems, const char* stoppedBy) {
  const bool stoppedOnError = report.outcome == qc::RunReport::Outcome::Stopped;
  if (stoppedOnError) std::printf("Stopped: %s\n", report.stopReason.c_str());
  if (stoppedBy) std::printf("Stopped by %s: ", stoppedBy);
  std::printf("%zu mailbox%s: %lld message%s written (%s) to %s in %.2f s", report.mailboxCount,
              Plural(static_cast<std::int64_t>(report.mailboxCount), "", "es"),
              static_cast<long long>(report.messagesWritten),
              Plural(report.messagesWritten, "", "s"), qc::HumanBytes(report.bytesWritten).c_str(),
              target.c_str(), seconds);
  if (stoppedOnError) {
    // The failure above is the whole story of what was not converted; counts of zero would
    // only hide it.
    const std::size_t notConverted = report.mailboxCount - report.mailboxIndex;
    if (report.messagesFailed > 0) {
      std::printf("; %lld message%s failed", static_cast<long long>(report.messagesFailed),
                  Plural(report.messagesFailed, "", "s"));
    }
    if (report.mailboxesFailed > 0) {
      std::printf("; %lld mailbox%s unreadable", static_cast<long long>(report.mailboxesFailed),
                  Plural(report.mailboxesFailed, "", "es"));
    }
    std::printf("; %zu mailbox%s not converted", notConverted,
                Plural(static_cast<std::int64_t>(notConverted), "", "es"));
  } else if (report.anyFailed() || extraProblems > 0) {
    std::printf(
        "; %lld message%s failed, %lld mailbox%s unreadable",
        static_cast<long long>(report.messagesFailed), Plural(report.messagesFailed, "", "s"),
        static_cast<long long>(report.mailboxesFailed), Plural(report.mailboxesFailed, "", "es"));
    if (report.mailboxesChanged > 0) {
      std::printf(", %lld changed while converted",
                  static_cast<long long>(report.mailboxesChanged));
    }
  }
  if (extraProblems > 0) {
    std::printf(", %lld folder%s not searched", static_cast<long long>(extraProblems),
                Plural(extraProblems, "", "s"));
  }
  if (report.duplicatesSkipped > 0) {
    std::printf("; %lld duplicate%s skipped", static_cast<long long>(report.duplicatesSkipped),
                Plural(report.duplicatesSkipped, "", "s"));
  }
  std::printf("\n");
  if (report.messagesVerified >= 0) {
    std::printf("verified: %lld message%s read back as written\n",
                static_cast<long long>(report.messagesVerified),
                Plural(report.messagesVerified, "", "s"));
  }
  for (const auto& store : report.storeFiles) std::printf("store file: %s\n", store.c_str());
  for (const auto& warning : report.warnings) std::printf("warning: %s\n", warning.c_str());
}

// The charsets --charset takes: one line each, its usual name and then its other names.
void PrintCharsets() {
  std::printf(
      "Charsets for --charset, each by its usual name and then its other names (any letter "
      "case, '_' for '-'; also iso8859-N, cpNNNN and windowsNNNN):\n");
  for (const auto& group : qc::mapi::import::CharsetLabelGroups()) {
    std::printf("%s", group.front().c_str());
    for (std::size_t i = 1; i < group.size(); ++i) {
      std::printf("%s%s", i == 1 ? "  (" : ", ", group[i].c_str());
    }
    std::printf("%s\n", group.size() > 1 ? ")" : "");
  }
}

// SOURCE_DATE_EPOCH, the reproducible-builds convention (seconds since 1970, UTC): when set, the
// data files' times, their identifiers and the temporary store's name no longer depend on the
// moment or the machine, so that two runs, or two systems, write the same bytes.
qc::StoreLibrary MakeStores() {
  const char* epoch = std::getenv("SOURCE_DATE_EPOCH");
  if (!epoch || !*epoch) return qc::StoreLibrary();
  char* end = nullptr;
  const long long seconds = std::strtoll(epoch, &end, 10);
  if (*end != '\0' || seconds < 0) return qc::StoreLibrary();
  const auto when = static_cast<std::time_t>(seconds);
  constexpr std::uint64_t k1601To1970 = 11644473600ull;
  const qc::mapi::FileTime ticks{(k1601To1970 + static_cast<std::uint64_t>(seconds)) * 10000000ull};
  return qc::StoreLibrary([when] { return qc::sys::UtcTime(when); },
                          qc::mapi::pst::FixedSources(ticks));
}

// Why NAME cannot name the one data file of --single-store, or empty text when it can.
std::string SingleStoreNameProblem(const std::string& name) {
  const std::string trimmed(qc::TrimSpaces(name));
  if (trimmed.empty()) return "the data file needs a name";
  if (name.find_first_of("/\\:*?\"<>|") != std::string::npos ||
      name.find_first_of(std::string("\0", 1)) != std::string::npos) {
    return "'" + name +
           "' is a name for the data file, without a folder or any of \\ / : * ? \" < > |";
  }
  if (trimmed == "." || trimmed == "..") return "'" + name + "' cannot name a file";
  return {};
}

// What the command line asks for.
struct Options {
  qc::Form form = qc::Form::EML;
  std::string output;
  std::vector<std::string> folders;
  std::vector<std::string> mailboxes;
  std::string charset{qc::mapi::import::kDefaultFallbackCharset};
  std::string singleStore;
  std::uint64_t partSize = 0;
  std::string manifest;
  bool skipDuplicates = false;
  bool verify = false;
  bool quiet = false;
};

// "20G", "500M", "300K" or a number of bytes (K, M, G: 1024, 1024², 1024³; a "B" or "iB" after
// them is allowed); nothing for anything else, or zero.
std::optional<std::uint64_t> ParseSize(std::string text) {
  for (const char* unit : {"iB", "ib", "B", "b"}) {
    if (text.size() > std::strlen(unit) && text.ends_with(unit) &&
        !std::isdigit(static_cast<unsigned char>(text[text.size() - std::strlen(unit) - 1]))) {
      text.resize(text.size() - std::strlen(unit));
      break;
    }
  }
  std::uint64_t scale = 1;
  if (!text.empty()) {
    switch (text.back()) {
      case 'k':
      case 'K':
        scale = 1ull << 10;
        break;
      case 'm':
      case 'M':
        scale = 1ull << 20;
        break;
      case 'g':
      case 'G':
        scale = 1ull << 30;
        break;
      default:
        break;
    }
    if (scale > 1) text.pop_back();
  }
  if (text.empty() || text.size() > 12 ||
      text.find_first_not_of("0123456789") != std::string::npos) {
    return std::nullopt;
  }
  const std::uint64_t size = std::stoull(text) * scale;
  if (size == 0) return std::nullopt;
  return size;
}

// The options beyond the window's run: one data file, parts, a manifest, duplicates, reading
// the output back.
void AddBeyondOptions(CLI::App& app, Options& options, std::string& partSize) {
  app.add_option("--single-store", options.singleStore,
                 "with --format pst: every mailbox into one data file, OUTPUT/NAME.pst, a folder "
                 "each, nested as their folders are")
      ->check(
          CLI::Validator([](std::string& name) { return SingleStoreNameProblem(name); }, "NAME"));
  app.add_option("--split-stores", partSize,
                 "with --format pst: keep each data file below SIZE (for example 20G), going on "
                 "in 'NAME (part 2).pst' and so on")
      ->check(CLI::Validator(
          [](std::string& size) {
            return ParseSize(size) ? std::string()
                                   : "'" + size + "' is not a size (for example 20G, 500M)";
          },
          "SIZE"));
  app.add_option("--manifest", options.manifest,
                 "write a CSV file with a row for every message: where it lies in its mailbox, "
                 "its SHA-256, where it went, its Message-ID, subject and date, and what became "
                 "of it");
  app.add_flag("--skip-duplicates", options.skipDuplicates,
               "do not write a message again whose bytes (less the separator line) are those of "
               "one already written in this run");
  app.add_flag("--verify", options.verify,
               "read every message written back from its file or data file and compare it with "
               "what was written (subject, sender, date, body, attachments); a message that "
               "differs counts as failed");
}

// The arguments read into `options`; an exit status when the program is done already (help,
// version, a usage error).
std::optional<int> ParseArguments(int argc, char** argv, Options& options) {
  CLI::App app{
      "Converts Quillon mailboxes (.mbx, .mbox) into message files or Outlook data files.\n"
      "eml, emlx: OUTPUT/<mailbox path>/email-0.eml, email-1.eml, ... one file per message\n"
      "msg: OUTPUT/<mailbox path>/Email-0.msg, Email-1.msg, ... and OUTPUT/Temp<time>.pst\n"
      "pst: OUTPUT/<mailbox name>.pst, one Outlook data file per mailbox",
      "quillon-convert"};
  app.set_version_flag("--version", "quillon-convert " QC_VERSION);
  // "/Mail/Inbox.mbx" is a path on Windows too (from the current drive's root), never an option.
  app.allow_windows_style_options(false);
  const std::map<std::string, qc::Form> forms{{"eml", qc::Form::EML},
                                              {"emlx", qc::Form::EMLX},
                                              {"msg", qc::Form::MSG},
                                              {"pst", qc::Form::PST}};
  std::string format;
  app.add_option("--format", format, "eml, emlx, msg or pst")
      ->required()
      ->check(CLI::IsMember({"eml", "emlx", "msg", "pst"}));
  app.add_option("--output", options.output,
                 "folder that receives the results (created when missing)")
      ->required();
  // One folder per --folder: the words after it are mailboxes.
  app.add_option("--folder", options.folders,
                 "add every .mbx/.mbox file below this folder (any depth); may be repeated")
      ->expected(1)
      ->allow_extra_args(false)
      ->take_all();
  app.add_option("--charset", options.charset,
                 "charset of text that names none and is not UTF-8 (mail of old programs); "
                 "default windows-1252, see --list-charsets")
      ->check(CLI::Validator(
          [](std::string& name) {
            return qc::mapi::import::IsUsableFallback(name)
                       ? std::string()
                       : "'" + name +
                             "' is not a charset this program reads; 'quillon-convert "
                             "--list-charsets' lists those it does";
          },
          "NAME"));
  app.add_flag_callback(
      "--list-charsets",
      [] {
        PrintCharsets();
        throw CLI::Success();
      },
      "list the charsets --charset takes, with their other names, and exit");
  std::string partSize;
  AddBeyondOptions(app, options, partSize);
  app.add_option("mailboxes", options.mailboxes, "mailbox files to convert");
  app.add_flag("-q,--quiet", options.quiet, "print only problems");
  try {
    // CLI11 takes the words in reverse order, the program's name left out.
    std::vector<std::string> words = qc::sys::Arguments(argc, argv);
    words.erase(words.begin());
    std::reverse(words.begin(), words.end());
    app.parse(words);
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? kAllWritten : kBadUsage;
  }
  options.form = forms.at(format);
  if (!partSize.empty()) {
    options.partSize = *ParseSize(partSize);
    if (options.form != qc::Form::PST) {
      return Fail(kBadUsage, "--split-stores splits Outlook data files: it needs --format pst");
    }
  }
  if (!options.singleStore.empty() && options.form != qc::Form::PST) {
    return Fail(kBadUsage, "--single-store makes one Outlook data file: it needs --format pst");
  }
  return std::nullopt;
}

// The mailboxes named and found below the folders; an exit status when there are none to convert
// or the search was stopped.
std::optional<int> CollectAll(const Options& options, qc::NamedMailboxes& collected) {
  for (const auto& m : options.mailboxes) {
    if (m.empty()) return Fail(kBadUsage, "a mailbox argument is empty");
  }
  for (const auto& folder : options.folders) {
    const qc::sys::PathInfo info = qc::sys::Inspect(folder);
    if (info.kind == qc::sys::Kind::Missing && info.error == 0) {
      return Fail(kBadUsage, "--folder '" + folder + "' does not exist");
    }
    if (info.kind != qc::sys::Kind::Folder && info.kind != qc::sys::Kind::Missing) {
      return Fail(kBadUsage, "--folder '" + folder + "' is not a folder");
    }
  }
  qc::sys::InstallStopHandlers();
  try {
    collected = qc::CollectMailboxes(options.mailboxes, options.folders, qc::sys::StopFlag());
  } catch (const qc::StopRequested&) {
    const int signal = qc::sys::StopSignal();
    std::fprintf(stderr, "quillon-convert: stopped by %s while searching the folders\n",
                 signal == SIGTERM ? "SIGTERM" : "SIGINT");
    return 128 + signal;
  }
  for (const auto& folder : collected.foldersWithout) {
    if (!options.quiet) {
      std::fprintf(stderr, "quillon-convert: no .mbx or .mbox files below '%s'\n", folder.c_str());
    }
  }
  if (collected.mailboxes.empty()) {
    for (const auto& problem : collected.problems) Fail(kSomeFailed, problem);
    return collected.problems.empty() ? Fail(kBadUsage, "no mailboxes to convert (see --help)")
                                      : Fail(kSomeFailed, "no mailboxes to convert");
  }
  return std::nullopt;
}

// The run's summary and its exit status.
int Conclude(const qc::RunReport& report, const qc::ConsoleView& view,
             const qc::NamedMailboxes& collected, const std::string& target, double seconds,
             bool quiet, qc::ManifestWriter* manifest) {
  // Every file a stopped run counts is complete; unfinished ones are gone.
  const bool stopped = report.outcome == qc::RunReport::Outcome::Interrupted;
  const int signal = qc::sys::StopSignal();
  const char* stoppedBy = !stopped ? nullptr : signal == SIGTERM ? "SIGTERM" : "SIGINT";
  const auto extraProblems = static_cast<std::int64_t>(collected.problems.size());
  if (view.problemsNotShown() > 0) {
    std::fprintf(stderr, "quillon-convert: ... and %zu more problem%s\n", view.problemsNotShown(),
                 view.problemsNotShown() == 1 ? "" : "s");
  }
  bool manifestFailed = false;
  if (manifest) {
    // A stopped run's manifest still lists what it counted.
    try {
      manifest->close(stopped ? std::string("the run was stopped by ") + stoppedBy
                              : std::string("the run was stopped: ") + report.stopReason);
    } catch (const qc::Error& e) {
      Fail(kSomeFailed, e.what());
      manifestFailed = true;
    }
  }
  if (!quiet || report.anyFailed() || extraProblems > 0 || stopped || !report.warnings.empty()) {
    PrintSummary(report, target, seconds, extraProblems, stoppedBy);
    if (manifest && !manifestFailed) {
      std::printf("manifest: %s (%lld row%s)\n", manifest->path().c_str(),
                  static_cast<long long>(manifest->rows()), Plural(manifest->rows(), "", "s"));
    }
  }
  int code = kAllWritten;
  if (stopped) {
    code = 128 + (signal != 0 ? signal : SIGINT);
  } else if (report.outcome == qc::RunReport::Outcome::Stopped) {
    code = kStopped;
  } else if (report.anyFailed() || extraProblems > 0 || manifestFailed) {
    code = kSomeFailed;
  }
  // A summary that never reached its reader (a full disk, a closed pipe) is a failure too.
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    Fail(kSomeFailed, std::string("cannot write to standard output: ") + std::strerror(errno));
    if (code == kAllWritten) code = kSomeFailed;
  }
  return code;
}

}  // namespace

int main(int argc, char** argv) {
  qc::sys::PrepareConsole();
  Options options;
  if (const auto done = ParseArguments(argc, argv, options)) return *done;
  qc::NamedMailboxes collected;
  if (const auto done = CollectAll(options, collected)) return *done;
  if (options.output.empty()) {
    return Fail(kBadUsage, "--output is empty: name the folder for the results");
  }
  const std::string target = qc::sys::AbsolutePath(options.output);
  if (std::string why; !qc::EnsureFolderPath(target, &why)) return Fail(kStopped, why);

  const auto started = std::chrono::steady_clock::now();
  qc::ConsoleView view(options.quiet, qc::sys::StandardErrorIsTerminal());
  for (const auto& problem : collected.problems) view.problem(problem);
  if (!options.quiet && collected.duplicates > 0) {
    std::fprintf(stderr,
                 "quillon-convert: %zu repeated mention%s of a mailbox skipped: each file is "
                 "converted once\n",
                 collected.duplicates, collected.duplicates == 1 ? "" : "s");
  }
  qc::SignalScreen screen;
  qc::NullLog log;
  qc::FinderSlot finder(screen, log);
  std::unique_ptr<qc::ManifestWriter> manifest;
  if (!options.manifest.empty()) {
    try {
      manifest = std::make_unique<qc::ManifestWriter>(qc::sys::AbsolutePath(options.manifest));
    } catch (const qc::Error& e) {
      return Fail(kStopped, e.what());
    }
  }
  qc::StoreLibrary stores = MakeStores();
  stores.setPartSize(options.partSize);
  qc::ConversionRun run(finder, &stores);
  run.addObserver(&view);
  run.addObserver(manifest.get());
  qc::RunRequest request;
  request.form = options.form;
  request.mailboxes = collected.mailboxes;
  request.targetFolder = target;
  request.fallbackCharset = options.charset;
  request.singleStore = options.singleStore;
  request.messageFacts = manifest != nullptr;
  request.skipDuplicates = options.skipDuplicates;
  request.verify = options.verify;
  request.outlookLimits = qc::OutlookLimits{};
  const qc::RunReport report = run.run(request);
  view.endProgress();
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  return Conclude(report, view, collected, target, seconds, options.quiet, manifest.get());
}
