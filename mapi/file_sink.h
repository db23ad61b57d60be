// A sink onto a file that is written under a temporary name in the same folder and renamed to
// its final name only when complete, so no half-written file ever stands under the final name.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "mapi/sink.h"
#include "util/pending_file.h"

namespace qc::mapi {

class FileSink final : public PositionedSink {
 public:
  // Creates the temporary file; throws qc::Error naming the path on failure.
  explicit FileSink(const std::string& finalPath);
  // The same for a file `name` of `folder`, which must outlive the sink.
  FileSink(const OutputFolder& folder, std::string name);
  ~FileSink();
  FileSink(const FileSink&) = delete;
  FileSink& operator=(const FileSink&) = delete;

  void write(const std::uint8_t* data, std::size_t size) override;  // buffered
  std::uint64_t size() const override { return file_.bytesWritten() + buffer_.size(); }
  void writeAt(std::uint64_t offset, const std::uint8_t* data, std::size_t size) override;
  // Flushes, closes and renames (replacing a file at the final name only when `replace`), made
  // to survive a power cut as `durability` says; throws qc::Error.
  void commit(bool replace = true, Durability durability = Durability::Folder);
  // Flushes, closes and renames, never replacing: a final name taken meanwhile makes way for
  // the names `nextName` gives (see PendingFile::commitUnderFreeName).
  void commitUnderFreeName(const std::function<std::string()>& nextName,
                           Durability durability = Durability::Folder);
  std::string finalPath() const { return file_.finalPath(); }

 private:
  void flush();

  PendingFile file_;                  // removes the temporary file unless committed
  std::vector<std::uint8_t> buffer_;  // what follows the bytes already in the file
};

}  // namespace qc::mapi
