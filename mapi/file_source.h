// A ByteSource over a range of a file: a message file, or one message of a mailbox. Reads go
// through pread, so the source can share its file with other readers without moving their
// offset, and it holds the file open for as long as anything (an attachment still to be
// written) reads from it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "mapi/property.h"

namespace qc::mapi {

class FileSource final : public ByteSource {
 public:
  // Opens a regular file for reading, the whole of it as it is now. Anything else (a folder, a
  // device that never ends, a FIFO) is refused before a byte is read; a FIFO does not hang the
  // open. Throws qc::Error naming `path` and `what` it is ("message file").
  static std::shared_ptr<FileSource> Open(const std::string& path, const std::string& what);

  // `size` bytes from `offset` of the open file `fd`, which the source takes over and closes
  // (pass a dup() of a descriptor you keep). `path` names the file in errors.
  FileSource(int fd, std::string path, std::uint64_t offset, std::uint64_t size);
  ~FileSource() override;
  FileSource(const FileSource&) = delete;
  FileSource& operator=(const FileSource&) = delete;

  std::uint64_t size() const override { return size_; }
  // Fewer bytes than asked for where the file ends early (it shrank since); throws qc::Error
  // naming the path when the system cannot read it.
  std::size_t read(std::uint64_t offset, std::uint8_t* out, std::size_t n) const override;

 private:
  int fd_;
  std::string path_;
  std::uint64_t offset_;
  std::uint64_t size_;
};

}  // namespace qc::mapi
