// A Compound File (version 3, 512-byte sectors) built as a tree of storages and streams and then
// written once, front to back, to a sink. Stream contents can come from a ByteSource, so large
// attachment data is copied in pieces and never held whole.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "mapi/cfb/entry_name.h"
#include "mapi/property.h"
#include "mapi/sink.h"

namespace qc::mapi::cfb {

// The names and the small stream contents of one file's entries, kept side by side in blocks
// that never move: a .msg file of tens of thousands of attachments has hundreds of thousands of
// entries of a few dozen bytes each, which allocated one by one would take three times the room.
class Pool {
 public:
  Pool() = default;
  Pool(const Pool&) = delete;
  Pool& operator=(const Pool&) = delete;

  // The bytes kept here for as long as the pool lives: copied, or moved in when large.
  std::span<const std::uint8_t> keep(Bytes bytes);
  std::u16string_view keep(std::u16string_view units);
  // The same for a name many entries share (the value streams of every attachment have the
  // same few names): kept once.
  std::u16string_view keepShared(std::u16string_view units);

 private:
  std::uint8_t* room(std::size_t size, std::size_t align);

  static constexpr std::size_t kBlock = std::size_t{1} << 16;
  static constexpr std::size_t kLarge = 1024;  // moved in rather than copied from this size up
  std::vector<std::unique_ptr<std::uint8_t[]>> blocks_;
  std::vector<Bytes> large_;
  std::size_t used_ = kBlock;  // of the last block
  // Names kept by keepShared(), by a hash of their units: a name another one pushed out is kept
  // again, which costs a few bytes, where a complete table would cost a lookup per entry.
  std::array<std::u16string_view, 64> shared_;
};

// An entry's name, checked, as its file's pool keeps it.
class PooledName {
 public:
  PooledName() = default;
  PooledName(const EntryName& name, Pool& pool) : units_(pool.keep(name.units())) {}
  PooledName(const EntryName& name, Pool& pool, bool shared)
      : units_(shared ? pool.keepShared(name.units()) : pool.keep(name.units())) {}
  std::u16string_view units() const { return units_; }
  std::string utf8() const { return Utf16ToUtf8(units_); }

 private:
  std::u16string_view units_;
};

class Storage {
 public:
  // Names and small contents of the storage and all below it are kept in `pool`, which must
  // outlive them.
  Storage(std::string_view name, Pool& pool) : pool_(&pool), name_(EntryName(name), pool) {}

  // Names are at most 31 UTF-16 code units and unique (ignoring case) within their storage;
  // breaking either rule throws qc::Error.
  Storage& addStorage(std::string_view name);
  void addStream(std::string_view name, Bytes data);
  void addStream(std::string_view name, std::shared_ptr<const ByteSource> data);
  // A stream of bytes held elsewhere, which must stay as they are until the file is written:
  // a writer's values are there all along, and need no copy.
  void addBorrowedStream(std::string_view name, std::span<const std::uint8_t> data);
  void setClsid(const Guid& clsid) { clsid_ = clsid; }
  // Room for this many more children without moving those there are.
  void reserve(std::size_t more);

  // A storage, or a stream whose bytes are kept in the pool, held elsewhere, or read from a
  // source when written.
  struct Child {
    PooledName name;
    std::unique_ptr<Storage> storage;
    std::span<const std::uint8_t> bytes;  // the pool's bytes, or borrowed ones
    std::shared_ptr<const ByteSource> source;

    std::uint64_t streamSize() const { return source ? source->size() : bytes.size(); }
  };
  std::string name() const { return name_.utf8(); }
  const PooledName& entryName() const { return name_; }
  const Guid& clsid() const { return clsid_; }
  // In the order they were added.
  const std::vector<Child>& children() const { return children_; }
  // Indices into children(), in the order siblings take in the directory: shorter names
  // first, then unit by unit after upper-casing (CompareNames).
  const std::vector<std::uint32_t>& siblingOrder() const { return siblingOrder_; }

 private:
  // Takes the child's name; throws qc::Error when a sibling has it already.
  Child& add(Child child);

  Pool* pool_;
  PooledName name_;
  Guid clsid_;
  std::vector<Child> children_;
  std::vector<std::uint32_t> siblingOrder_;
};

class CompoundFile {
 public:
  CompoundFile() : root_("Root Entry", pool_) {}
  Storage& root() { return root_; }
  const Storage& root() const { return root_; }

  // Lays the file out and writes all of it to `sink`; throws qc::Error.
  void write(Sink& sink) const;

 private:
  Pool pool_;  // before the root, which keeps its names in it
  Storage root_;
};

}  // namespace qc::mapi::cfb
