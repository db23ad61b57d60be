// eml2msg: turns one RFC 822 message file into an Outlook .msg file, marked read as the
// conversion marks every message. For checking a single message by hand, and for the tests.
#include <cstdio>
#include <exception>
#include <string>

#include "mapi/import/rfc822_import.h"
#include "mapi/msg/msg_writer.h"

int main(int argc, char** argv) {
  if (argc != 3 || std::string(argv[1]) == "--help") {
    std::fprintf(
        stderr,
        "usage: eml2msg IN.eml OUT.msg\n"
        "Imports one message file (a leading mailbox \"From \" line is skipped) and writes\n"
        "it as an Outlook .msg file.\n");
    return argc == 2 ? 0 : 1;
  }
  try {
    auto message = qc::mapi::ImportRfc822File(argv[1]);
    qc::mapi::SetMessageFlags(*message, 17);  // read; has-attachment where it has some
    qc::mapi::msg::WriteMsgFile(*message, argv[2]);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "eml2msg: %s\n", e.what());
    return 2;
  }
  return 0;
}
