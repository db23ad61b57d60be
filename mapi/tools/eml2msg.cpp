// eml2msg: turns one RFC 822 message file into an Outlook .msg file, marked read as the
// conversion marks every message. For checking a single message by hand, and for the tests.
#include <sys/stat.h>

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "mapi/import/rfc822_import.h"
#include "mapi/msg/msg_writer.h"

namespace {

constexpr const char* kUsage =
    "usage: eml2msg IN.eml OUT.msg\n"
    "Imports one message file (a leading mailbox \"From \" line is skipped) and writes\n"
    "it as an Outlook .msg file.\n";

// Writing the output renames a new file over OUT, so naming the input twice would replace it.
bool SameFile(const char* a, const char* b) {
  struct stat sa {
  }, sb{};
  return ::stat(a, &sa) == 0 && ::stat(b, &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h")) {
    std::fputs(kUsage, stdout);
    return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 2;
  }
  if (argc != 3) {
    std::fputs(kUsage, stderr);
    return 1;
  }
  if (SameFile(argv[1], argv[2])) {
    std::fprintf(stderr, "eml2msg: '%s' and '%s' are the same file; the input would be lost\n",
                 argv[1], argv[2]);
    return 1;
  }
  try {
    std::vector<std::string> warnings;
    auto message = qc::mapi::ImportRfc822File(argv[1], &warnings);
    for (const std::string& warning : warnings) {
      std::fprintf(stderr, "eml2msg: '%s': %s\n", argv[1], warning.c_str());
    }
    qc::mapi::SetMessageFlags(*message, 17);  // read; has-attachment where it has some
    qc::mapi::msg::WriteMsgFile(*message, argv[2]);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "eml2msg: %s\n", e.what());
    return 2;
  }
  return 0;
}
