// eml2pst: writes message files into a new Outlook data file, in one mail folder, marked read
// as the conversion marks every message. For checking stores by hand, and for the tests.
#include <sys/stat.h>

#include <cstdio>
#include <exception>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "mapi/pst/pst_store.h"

namespace {

constexpr const char* kUsage =
    "usage: eml2pst OUT.pst FOLDER [IN.eml...]\n"
    "Writes a new Outlook data file whose display name is OUT's file name without .pst,\n"
    "with one mail folder FOLDER holding the given messages (a leading mailbox \"From \"\n"
    "line is skipped).\n";

bool SameFile(const char* a, const char* b) {
  struct stat sa {
  }, sb{};
  return ::stat(a, &sa) == 0 && ::stat(b, &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
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
  if (argc == 2 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h")) {
    std::fputs(kUsage, stdout);
    return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 2;
  }
  if (argc < 3) {
    std::fputs(kUsage, stderr);
    return 1;
  }
  for (int i = 3; i < argc; ++i) {
    if (SameFile(argv[1], argv[i])) {
      std::fprintf(stderr, "eml2pst: '%s' is also an input; it would be lost\n", argv[i]);
      return 1;
    }
  }
  try {
    auto store = qc::mapi::pst::PstStore::Create(argv[1], DisplayNameOf(argv[1]));
    const auto folder = store->addMailFolder(argv[2]);
    for (int i = 3; i < argc; ++i) {
      std::ifstream in(argv[i], std::ios::binary);
      if (!in) {
        std::fprintf(stderr, "eml2pst: cannot read '%s'\n", argv[i]);
        return 2;
      }
      const std::string bytes((std::istreambuf_iterator<char>(in)),
                              std::istreambuf_iterator<char>());
      std::vector<std::string> warnings;
      store->addMessageFromRfc822(folder, bytes, 17, &warnings);  // read; has-attachment if any
      for (const std::string& warning : warnings) {
        std::fprintf(stderr, "eml2pst: '%s': %s\n", argv[i], warning.c_str());
      }
    }
    store->close();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "eml2pst: %s\n", e.what());
    return 2;
  }
  return 0;
}
