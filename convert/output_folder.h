// A folder that receives message files. Every file is written under a temporary name in the same
// folder and renamed when complete, so no half-written file ever stands under a final name.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qc {

class OutputFolder {
 public:
  // Opens an existing folder; throws qc::Error naming it when it cannot be opened.
  explicit OutputFolder(std::string path);
  ~OutputFolder();
  OutputFolder(const OutputFolder&) = delete;
  OutputFolder& operator=(const OutputFolder&) = delete;

  const std::string& path() const { return path_; }
  std::string pathOf(std::string_view name) const;
  int fd() const { return fd_; }

 private:
  std::string path_;
  int fd_ = -1;
};

// One file being written into an OutputFolder. Until commit() it lives under a temporary name;
// destroying it uncommitted (a failure, or a run stopped by closing the window) removes it.
class PendingFile {
 public:
  PendingFile(const OutputFolder& folder, std::string name);
  ~PendingFile();
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;

  // Writes all of the given pieces, in order, with as few system calls as possible.
  struct Piece {
    const void* data;
    std::size_t size;
  };
  void write(const Piece* pieces, std::size_t count);
  void write(const void* data, std::size_t size);

  // Closes the file and gives it its final name, replacing any file of that name.
  void commit();

  std::string finalPath() const { return folder_.pathOf(name_); }
  std::uint64_t bytesWritten() const { return written_; }

 private:
  void discard() noexcept;

  const OutputFolder& folder_;
  std::string name_;
  std::string tempName_;
  int fd_ = -1;
  std::uint64_t written_ = 0;
};

}  // namespace qc
