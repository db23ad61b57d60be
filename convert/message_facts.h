// What the manifest and the duplicate check need to know of one message, read from the mailbox
// on the thread that does the message, and only when the run was asked for them: where it lies,
// a SHA-256 of its bytes as its message file holds them, and the headers that name it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "convert/message_cutter.h"

namespace qc {

struct MessageFacts {
  std::int64_t offset = 0;  // of its separator in the mailbox
  std::int64_t length = 0;  // up to the next separator, or the end of the searched range
  std::string sha256;       // lower-case hex, of the bytes the .eml form writes
  // SHA-256 (raw) of those bytes less the separator line: two messages with the same body key
  // are the same message, whatever date the mail program wrote into their separators.
  std::string bodyKey;
  std::string messageId;
  std::string subject;  // decoded as the import decodes it
  std::string date;     // ISO 8601, from the Date header; empty when absent or unreadable
  std::optional<std::size_t> attachments;  // known to the forms that import the message
};

// An incremental SHA-256 (FIPS 180-4).
class Sha256 {
 public:
  Sha256();
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;
  void update(const void* data, std::size_t size);
  // The 32 bytes of the digest; the object takes no more input after.
  std::string digest();
  static std::string Hex(std::string_view digest);

 private:
  void* checksum_;
};

// The headers the manifest names a message by, from the start of its bytes (separator line
// first). Text that names no charset and is not UTF-8 is read in `fallbackCharset`.
struct HeaderFacts {
  std::string messageId;
  std::string subject;
  std::string date;
};
HeaderFacts ReadHeaderFacts(std::string_view head, const std::string& fallbackCharset);

// Reads message j of the searched mailbox through `window` and gathers its facts (all but the
// attachments). Throws qc::Error when the mailbox no longer holds it whole.
MessageFacts ReadMessageFacts(ByteWindow& window, const SearchedMailbox& mailbox,
                              const std::vector<std::int64_t>& offsets, std::size_t j,
                              const std::string& fallbackCharset);

}  // namespace qc
