// Read access to a mailbox file: positioned reads and a sliding window for forward scans.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "util/system.h"

namespace qc {

// Size of a file in bytes. Throws qc::Error carrying the system's error number for a missing
// file, an unusable path, or a folder (EISDIR).
std::int64_t FileSizeOf(const std::string& path);

// True when `path` names a regular file (links followed).
bool IsExistingFile(const std::string& path);

// Why `path` is no regular file, for a message: the system's reason ("No such file or
// directory"), "a folder" or "not a regular file" (a pipe, a device, a socket).
std::string NotAFileReason(const std::string& path);

class MailboxFile {
 public:
  // Opens `path` for reading; throws qc::Error with the system's error number on failure.
  explicit MailboxFile(const std::string& path);
  ~MailboxFile();
  MailboxFile(const MailboxFile&) = delete;
  MailboxFile& operator=(const MailboxFile&) = delete;

  const std::string& path() const { return path_; }

  // The size the file system reports now; the file may grow or shrink while we read it.
  std::int64_t size() const;

  // Whether `path` still names this open file (it may have been renamed away or replaced by a
  // new file, as mail clients do when they compact a mailbox).
  bool isNamedBy(const std::string& path) const;

  // Reads up to `n` bytes at `offset`; fewer only at the end of the file. Throws on a read error.
  std::size_t readAt(std::int64_t offset, std::uint8_t* buffer, std::size_t n) const;

 private:
  std::string path_;
  sys::InputFile file_;
};

class ReadAhead;

// A window of consecutive bytes of a file, moved forward by large reads.
class ByteWindow {
 public:
  // Reads of this size cost no more per byte than larger ones; a window per thread, no more
  // memory than that.
  static constexpr std::size_t kDefaultCapacity = std::size_t{512} << 10;
  // A refill also keeps this many bytes before the position it was asked for: the search looks
  // back a little from a find, and that must not cost the read of a whole window again.
  static constexpr std::size_t kLookBehind = 4096;

  enum class Reading {
    OnDemand,  // a refill reads when it is asked for
    // For a scan from front to back: while the window's bytes are used, the bytes that follow
    // are read on a thread of its own, so that copying them overlaps the work on these. Two
    // buffers of `capacity` then.
    Ahead,
  };

  // Each refill reads `capacity` bytes from the position asked for.
  explicit ByteWindow(const MailboxFile& file, std::size_t capacity = kDefaultCapacity,
                      Reading reading = Reading::OnDemand);
  ~ByteWindow();
  ByteWindow(const ByteWindow&) = delete;
  ByteWindow& operator=(const ByteWindow&) = delete;

  // The bytes from `pos` on that the window holds, refilled so that at least `want` of them are
  // there when the file has them. Shorter (possibly empty) only at the end of the file. Throws
  // qc::Error on a read error, when the bytes are asked for.
  std::span<const std::uint8_t> at(std::int64_t pos, std::size_t want = 1);

 private:
  struct Buffer {
    std::unique_ptr<std::uint8_t[]> bytes;  // not cleared: every byte used was read
    std::size_t size = 0;
    void reserve(std::size_t n);
  };

  const MailboxFile& file_;
  std::size_t capacity_;
  Buffer buffer_;
  std::int64_t start_ = 0;
  std::size_t length_ = 0;
  Buffer spare_;                      // what is read ahead goes here
  std::unique_ptr<ReadAhead> ahead_;  // made at the first refill that reads a whole window
  bool readAhead_;
};

}  // namespace qc
