// Cuts the messages of one mailbox out at the separator offsets and writes each to its own file:
// the message's bytes with leading and trailing spaces (0x20 only) removed, then CR LF. Bytes are
// copied in chunks, never held whole, and otherwise unchanged.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "util/pending_file.h"
#include "scanner/mailbox_file.h"

namespace qc {

struct CutResult {
  std::string path;         // the message file written
  std::uint64_t bytes = 0;  // bytes written, CR LF included
  bool cutShort = false;    // the mailbox ended before the message did (it shrank)
};

class MessageCutter {
 public:
  // Called while a message larger than one chunk is copied: bytes read of it so far.
  using ChunkProgress = std::function<void(std::int64_t bytesSoFar)>;

  // Opens the mailbox for reading; throws qc::Error when it cannot. `offsets` must outlive the
  // cutter.
  MessageCutter(const std::string& mailboxPath, const std::vector<std::int64_t>& offsets);

  // Writes message j as `folder`/email-j<extension>. Throws qc::Error with the message number,
  // offset and path on failure; a message that starts past the current end of the mailbox is
  // such a failure, and no file is left for it.
  CutResult write(std::size_t j, const OutputFolder& folder, std::string_view extension,
                  const ChunkProgress& progress);

  const MailboxFile& mailbox() const { return file_; }

 private:
  MailboxFile file_;
  ByteWindow window_;
  const std::vector<std::int64_t>& offsets_;
};

}  // namespace qc
