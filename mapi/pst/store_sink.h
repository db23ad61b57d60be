// Where a store's bytes go. The store is written mostly in order, but its header, allocation
// maps and held-back heap blocks are written at fixed places later, so the sink takes offsets.
#pragma once

#include <cstdint>
#include <string>

#include "mapi/property.h"
#include "util/pending_file.h"

namespace qc::mapi::pst {

class PositionedSink {
 public:
  virtual ~PositionedSink() = default;
  // Throws qc::Error.
  virtual void writeAt(std::uint64_t offset, const std::uint8_t* data, std::size_t size) = 0;
  // Makes the output at least `size` bytes long; what was never written reads as zeros.
  virtual void extendTo(std::uint64_t size) = 0;
};

// The store in memory, for tests and small stores.
class MemorySink final : public PositionedSink {
 public:
  void writeAt(std::uint64_t offset, const std::uint8_t* data, std::size_t size) override;
  void extendTo(std::uint64_t size) override {
    if (bytes_.size() < size) bytes_.resize(size);
  }
  const Bytes& bytes() const { return bytes_; }

 private:
  Bytes bytes_;
};

// A store file, written under a temporary name and renamed to its final name only by commit();
// destroyed uncommitted, it leaves nothing under the final name.
class FileStoreSink final : public PositionedSink {
 public:
  explicit FileStoreSink(std::string finalPath);  // throws qc::Error naming the path
  ~FileStoreSink() override;
  FileStoreSink(const FileStoreSink&) = delete;
  FileStoreSink& operator=(const FileStoreSink&) = delete;

  void writeAt(std::uint64_t offset, const std::uint8_t* data, std::size_t size) override;
  void extendTo(std::uint64_t size) override;
  void commit();  // throws qc::Error
  std::string path() const { return file_.finalPath(); }

 private:
  void flush();

  PendingFile file_;
  std::uint64_t end_ = 0;
  // Consecutive writes are gathered here: most of a store is written front to back.
  Bytes buffer_;
  std::uint64_t bufferOffset_ = 0;
};

}  // namespace qc::mapi::pst
