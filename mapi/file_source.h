// A ByteSource over a whole file: a message file read by positioned reads, so the source can be
// shared with other readers without moving their offset, and it holds the file open for as
// long as anything (an attachment still to be written) reads from it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "mapi/property.h"
#include "util/system.h"

namespace qc::mapi {

class FileSource final : public ByteSource {
 public:
  // Opens a regular file for reading, the whole of it as it is now. Anything else (a folder, a
  // device that never ends, a FIFO) is refused before a byte is read; a FIFO does not hang the
  // open. Throws qc::Error naming `path` and `what` it is ("message file").
  static std::shared_ptr<FileSource> Open(const std::string& path, const std::string& what);

  FileSource(std::unique_ptr<sys::InputFile> file, std::string path, std::uint64_t size);
  FileSource(const FileSource&) = delete;
  FileSource& operator=(const FileSource&) = delete;

  std::uint64_t size() const override { return size_; }
  // Fewer bytes than asked for where the file ends early (it shrank since); throws qc::Error
  // naming the path when the system cannot read it.
  std::size_t read(std::uint64_t offset, std::uint8_t* out, std::size_t n) const override;

 private:
  std::unique_ptr<sys::InputFile> file_;
  std::string path_;
  std::uint64_t size_;
};

}  // namespace qc::mapi
