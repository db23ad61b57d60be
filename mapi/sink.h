// Where the writers put the bytes of a file: an append-only sink for formats laid out before
// they are written (a Compound File), and a positioned one for formats whose header and indexes
// are known only once what they describe is written (a store's header, allocation maps and
// B-tree pages, written at fixed places or at the end).
#pragma once

#include <cstddef>
#include <cstdint>

#include "mapi/property.h"

namespace qc::mapi {

class Sink {
 public:
  virtual ~Sink() = default;
  // Appends; throws qc::Error.
  virtual void write(const std::uint8_t* data, std::size_t size) = 0;
};

class PositionedSink : public Sink {
 public:
  // How many bytes were appended: where the next write() goes.
  virtual std::uint64_t size() const = 0;
  // Writes over bytes already appended, leaving the append position where it is. Throws
  // qc::Error when [offset, offset + size) reaches past size(): space is reserved by appending.
  virtual void writeAt(std::uint64_t offset, const std::uint8_t* data, std::size_t size) = 0;
};

// The whole file in memory, for tests and for formats small enough to build in memory.
class MemorySink final : public PositionedSink {
 public:
  void write(const std::uint8_t* data, std::size_t size) override {
    bytes.insert(bytes.end(), data, data + size);
  }
  std::uint64_t size() const override { return bytes.size(); }
  void writeAt(std::uint64_t offset, const std::uint8_t* data, std::size_t size) override;

  Bytes bytes;
};

}  // namespace qc::mapi
