// eml2pst: writes message files into a new Outlook data file, in one mail folder, marked read
// as the conversion marks every message. For checking stores by hand, and for the tests.
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
    "usage: eml2pst [--force] OUT.pst FOLDER [IN.eml...]\n"
    "Writes a new Outlook data file whose display name is OUT's file name without .pst,\n"
    "with one mail folder FOLDER holding the given messages (a leading mailbox \"From \"\n"
    "line is skipped). An existing OUT.pst is replaced only with --force.\n";

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
std::string DisplayNameOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (name.size() > 4 && name.compare(name.size() - 4, 4, ".pst") == 0) {
    name.resize(name.size() - 4);
  }
  return name;
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
  if (args.size() == 1 && args[0] == "--version") return qc::PrintVersion("eml2pst");
  const bool force = !args.empty() && args[0] == "--force";
  if (force) args.erase(args.begin());
  if (args.size() < 2) {
    std::fputs(kUsage, stderr);
    return 1;
  }
  const std::string& out = args[0];
  for (std::size_t i = 2; i < args.size(); ++i) {
    if (SameFile(out.c_str(), args[i].c_str())) {
      std::fprintf(stderr, "eml2pst: '%s' is also an input; it would be lost\n", args[i].c_str());
      return 1;
    }
  }
  if (!force && Exists(out.c_str())) {
    std::fprintf(stderr, "eml2pst: '%s' already exists; give --force to replace it\n", out.c_str());
    return 1;
  }
  try {
    // Without --force a file that appears at OUT meanwhile is not replaced either.
    qc::mapi::StoreOptions options;
    options.replaceExisting = force;
    auto store = qc::mapi::StoreFile::Create(out, DisplayNameOf(out), std::move(options));
    const auto folder = store->addFolder(args[1]);
    for (std::size_t i = 2; i < args.size(); ++i) {
      // Read where it lies, as the run reads a mailbox: names in any script, files of any size;
      // marked read (has-attachment if any), as the conversion marks every message.
      std::vector<std::string> warnings;
      store->addMessageFromRfc822(folder, qc::mapi::FileSource::Open(args[i], "message file"), 17,
                                  &warnings);
      for (const std::string& warning : warnings) {
        std::fprintf(stderr, "eml2pst: '%s': %s\n", args[i].c_str(), warning.c_str());
      }
    }
    store->close();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "eml2pst: %s\n", e.what());
    return 2;
  }
  return 0;
}
