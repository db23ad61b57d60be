// Cuts the messages of one mailbox out at the separator offsets and writes each to its own file:
// the message's bytes with leading and trailing spaces (0x20 only) removed, then CR LF. Bytes are
// copied in chunks, never held whole, and otherwise unchanged.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "scanner/mailbox_file.h"
#include "util/pending_file.h"

namespace qc {

struct CutResult {
  std::string name;         // the message file written, in the folder it was written to
  std::uint64_t bytes = 0;  // bytes written, CR LF included
  std::uint32_t crc = 0;    // CRC-32 of those bytes, when the cutter was asked for it
};

// A mailbox as its search saw it: the open file that was searched, and where the search's range
// ended (the file's size when the search began). The last message ends there, whatever has been
// appended since.
struct SearchedMailbox {
  std::shared_ptr<const MailboxFile> file;
  std::int64_t end = 0;
};

// Called for each read of a message walked by WalkTrimmed(): the spaces held back that `text`
// now follows (0 when none), the text (`size` 0 when the read held only spaces), whether this was
// the last read, and the bytes read of the message so far.
using TrimmedPiece = std::function<void(std::int64_t spaces, const char* text, std::size_t size,
                                        bool last, std::int64_t readSoFar)>;

// Walks the bytes [start, end) of `file` through `window` as the message file holds them, less its
// final CR LF: spaces (0x20 only) at both ends dropped. Throws qc::Error when the mailbox no
// longer holds the message whole (it shrank).
void WalkTrimmed(ByteWindow& window, const MailboxFile& file, std::int64_t start, std::int64_t end,
                 const TrimmedPiece& piece);

class MessageCutter {
 public:
  // Called while a message larger than one chunk is copied: bytes read of it so far.
  using ChunkProgress = std::function<void(std::int64_t bytesSoFar)>;

  // Reads the searched file itself, never the path again, `readSize` bytes at a time. `offsets`
  // must outlive the cutter.
  MessageCutter(SearchedMailbox mailbox, const std::vector<std::int64_t>& offsets,
                std::size_t readSize = ByteWindow::kDefaultCapacity);

  // Writes message j as `folder`/`name`. Throws qc::Error on failure; a message the mailbox no
  // longer holds whole (it shrank) is such a failure, and no file is left for it.
  CutResult write(std::size_t j, const OutputFolder& folder, std::string name,
                  const ChunkProgress& progress);

  const MailboxFile& mailbox() const { return *mailbox_.file; }
  // Each file's CRC-32 (mapi::Crc32) is computed as it is written, for reading it back later.
  void computeCrc() { crc_ = true; }

 private:
  SearchedMailbox mailbox_;
  ByteWindow window_;
  const std::vector<std::int64_t>& offsets_;
  bool crc_ = false;
};

}  // namespace qc
