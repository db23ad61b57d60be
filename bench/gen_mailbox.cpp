// gen_mailbox: writes a large, deterministic mailbox for the benchmarks.
//
//   gen_mailbox [--size 256M] [--count 75000] [--seed 1]
//               [--attach 0.15] [--html 0.30] [--crlf 1.0] OUTPUT
#include <cstdio>
#include <exception>
#include <stdexcept>
#include <string>
#include <string_view>

#include "bench/mailbox_gen.h"

namespace {

constexpr const char* kUsage =
    "usage: gen_mailbox [--size BYTES] [--count N] [--seed N] [--attach SHARE] [--html SHARE]\n"
    "                   [--crlf SHARE] OUTPUT\n"
    "  --size    target size, with an optional k/M/G suffix (default 256M)\n"
    "  --count   number of messages (default 75000)\n"
    "  --seed    seed of the generator; the same options give the same bytes (default 1)\n"
    "  --attach  share of messages with a base64 attachment (default 0.15)\n"
    "  --html    share of messages with an HTML alternative (default 0.30)\n"
    "  --crlf    share of messages with CR LF line ends, the rest LF (default 1.0)\n";

int Usage(const char* problem) {
  std::fprintf(stderr, "gen_mailbox: %s\n%s", problem, kUsage);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  qc::bench::MailboxOptions options;
  std::string output;
  try {
    for (int i = 1; i < argc; ++i) {
      const std::string_view arg = argv[i];
      if (arg == "-h" || arg == "--help") {
        std::fputs(kUsage, stdout);
        return 0;
      }
      if (arg.size() > 2 && arg.substr(0, 2) == "--") {
        if (i + 1 >= argc) return Usage("an option lacks its value");
        const std::string value = argv[++i];
        if (arg == "--size") {
          options.size = qc::bench::ParseSize(value);
        } else if (arg == "--count") {
          options.count = std::stoll(value);
        } else if (arg == "--seed") {
          options.seed = std::stoull(value);
        } else if (arg == "--attach") {
          options.attachShare = std::stod(value);
        } else if (arg == "--html") {
          options.htmlShare = std::stod(value);
        } else if (arg == "--crlf") {
          options.crlfShare = std::stod(value);
        } else {
          return Usage("unknown option");
        }
      } else if (output.empty()) {
        output = arg;
      } else {
        return Usage("more than one output path");
      }
    }
    if (output.empty()) return Usage("no output path");
    const auto summary = qc::bench::WriteMailbox(output, options);
    std::printf("%s: %lld bytes, %lld messages\n", output.c_str(),
                static_cast<long long>(summary.bytes), static_cast<long long>(summary.messages));
    return 0;
  } catch (const std::invalid_argument& e) {
    return Usage(e.what());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "gen_mailbox: %s\n", e.what());
    return 1;
  }
}
