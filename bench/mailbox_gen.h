// Deterministic generator of large, realistic mailboxes for the benchmarks.
//
// The same options always give the same bytes. Every message starts with a separator line such
// as "From ???@??? Mon Jan 01 00:00:00 2024", which both our finder and `git mailsplit` take as a
// message start (git wants "From " at a line start and "HH:MM:SS YYYY" at the end of the line).
// Nothing else in the file looks like a separator to either of them: no body line starts with
// "From ", no "???@???" appears anywhere, and every separator follows a line break, so both
// split the file into exactly `count` messages.
#pragma once

#include <cstdint>
#include <string>

namespace qc::bench {

struct MailboxOptions {
  std::int64_t size = std::int64_t{256} << 20;  // target size in bytes; the result is close to it
  std::int64_t count = 75000;                   // number of messages
  std::uint64_t seed = 1;
  double attachShare = 0.15;  // messages with a base64 attachment
  double htmlShare = 0.30;    // messages with an HTML alternative
  double crlfShare = 1.0;     // messages with CR LF line ends (the others use LF)
};

struct MailboxSummary {
  std::int64_t bytes = 0;
  std::int64_t messages = 0;
};

// Writes the mailbox to `path` (replacing it). Throws std::runtime_error on bad options or an
// I/O failure.
MailboxSummary WriteMailbox(const std::string& path, const MailboxOptions& options);

// "256M", "1G", "4096", "64k": bytes with an optional binary suffix (k, M, G). Throws
// std::invalid_argument on anything else.
std::int64_t ParseSize(const std::string& text);

}  // namespace qc::bench
