// A sink onto a file that is written under a temporary name in the same folder and renamed to
// its final name only when complete, so no half-written file ever stands under the final name.
#pragma once

#include <string>
#include <vector>

#include "mapi/cfb/compound_file.h"
#include "util/pending_file.h"

namespace qc::mapi {

class FileSink final : public cfb::Sink {
 public:
  // Creates the temporary file; throws qc::Error naming the path on failure.
  explicit FileSink(const std::string& finalPath);
  FileSink(const FileSink&) = delete;
  FileSink& operator=(const FileSink&) = delete;

  void write(const std::uint8_t* data, std::size_t size) override;  // buffered
  void commit();  // flushes, closes and renames; throws qc::Error

 private:
  void flush();

  PendingFile file_;  // removes the temporary file unless committed
  std::vector<std::uint8_t> buffer_;
};

}  // namespace qc::mapi
