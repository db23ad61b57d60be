// A Compound File (version 3, 512-byte sectors) built as a tree of storages and streams and then
// written once, front to back, to a sink. Stream contents can come from a ByteSource, so large
// attachment data is copied in pieces and never held whole.
#pragma once

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

class Storage {
 public:
  explicit Storage(std::string_view name) : name_(name) {}

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

  // A storage, or a stream whose bytes are held here, held elsewhere, or read from a source when
  // written.
  struct Child {
    EntryName name;
    std::unique_ptr<Storage> storage;
    Bytes owned;
    std::span<const std::uint8_t> bytes;  // the owned bytes, or borrowed ones
    std::shared_ptr<const ByteSource> source;

    std::uint64_t streamSize() const { return source ? source->size() : bytes.size(); }
  };
  std::string name() const { return name_.utf8(); }
  const EntryName& entryName() const { return name_; }
  const Guid& clsid() const { return clsid_; }
  // In the order they were added.
  const std::vector<Child>& children() const { return children_; }
  // Indices into children(), in the order siblings take in the directory: shorter names
  // first, then unit by unit after upper-casing (CompareNames).
  const std::vector<std::uint32_t>& siblingOrder() const { return siblingOrder_; }

 private:
  // Takes the child's name; throws qc::Error when a sibling has it already.
  Child& add(Child child);

  EntryName name_;
  Guid clsid_;
  std::vector<Child> children_;
  std::vector<std::uint32_t> siblingOrder_;
};

class CompoundFile {
 public:
  CompoundFile() : root_("Root Entry") {}
  Storage& root() { return root_; }
  const Storage& root() const { return root_; }

  // Lays the file out and writes all of it to `sink`; throws qc::Error.
  void write(Sink& sink) const;

 private:
  Storage root_;
};

}  // namespace qc::mapi::cfb
