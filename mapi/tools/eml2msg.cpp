// eml2msg: turns one RFC 822 message file into an Outlook .msg file, marked read as the
// conversion marks every message. For checking a single message by hand, and for the tests.
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "mapi/file_source.h"
#include "mapi/store_file.h"
#include "util/program_version.h"
#include "util/system.h"

namespace {

constexpr const char* kUsage =
    "usage: eml2msg [--force] IN.eml OUT.msg\n"
    "Imports one message file (a leading mailbox \"From \" line is skipped) and writes\n"
    "it as an Outlook .msg file. An existing OUT.msg is replaced only with --force.\n";

// Writing the output renames a new file over OUT, so naming the input twice would replace it.
bool SameFile(const char* a, const char* b) {
  const qc::sys::PathInfo first = qc::sys::Inspect(a);
  const qc::sys::PathInfo second = qc::sys::Inspect(b);
  return first.kind == qc::sys::Kind::File && second.kind == qc::sys::Kind::File &&
         first.id == second.id;
}
// Anything at all under the name, a dangling link included.
bool Exists(const char* path) {
  const qc::sys::PathInfo info = qc::sys::Inspect(path, false);
  return info.kind != qc::sys::Kind::Missing || info.error != 0;
}
}  // namespace

int main(int argc, char** argv) {
  qc::sys::PrepareConsole();
  std::vector<std::string> args = qc::sys::Arguments(argc, argv);
  args.erase(args.begin());
  if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
    std::fputs(kUsage, stdout);
    return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 2;
  }
  if (args.size() == 1 && args[0] == "--version") return qc::PrintVersion("eml2msg");
  const bool force = !args.empty() && args[0] == "--force";
  if (force) args.erase(args.begin());
  if (args.size() != 2) {
    std::fputs(kUsage, stderr);
    return 1;
  }
  const std::string& in = args[0];
  const std::string& out = args[1];
  if (SameFile(in.c_str(), out.c_str())) {
    std::fprintf(stderr, "eml2msg: '%s' and '%s' are the same file; the input would be lost\n",
                 in.c_str(), out.c_str());
    return 1;
  }
  if (!force && Exists(out.c_str())) {
    std::fprintf(stderr, "eml2msg: '%s' already exists; give --force to replace it\n", out.c_str());
    return 1;
  }
  try {
    // Marked read (has-attachment where it has some). Without --force a file that appears at
    // OUT meanwhile is not replaced either.
    qc::mapi::WriteMsgFromRfc822(qc::mapi::FileSource::Open(in, "message file"), out, 17, force,
                                 [&](const std::vector<std::string>& warnings) {
                                   for (const std::string& warning : warnings) {
                                     std::fprintf(stderr, "eml2msg: '%s': %s\n", in.c_str(),
                                                  warning.c_str());
                                   }
                                 });
  } catch (const std::exception& e) {
    std::fprintf(stderr, "eml2msg: %s\n", e.what());
    return 2;
  }
  return 0;
}
