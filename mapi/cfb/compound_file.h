// A Compound File (version 3, 512-byte sectors) built as a tree of storages and streams and then
// written once, front to back, to a sink. Stream contents can come from a ByteSource, so large
// attachment data is copied in pieces and never held whole.
#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "mapi/property.h"
#include "mapi/sink.h"

namespace qc::mapi::cfb {

class Storage {
 public:
  explicit Storage(std::string name) : name_(std::move(name)) {}

  // Names are at most 31 UTF-16 code units and unique (ignoring case) within their storage;
  // breaking either rule throws qc::Error.
  Storage& addStorage(std::string name);
  void addStream(std::string name, Bytes data);
  void addStream(std::string name, std::shared_ptr<const ByteSource> data);
  void setClsid(const Guid& clsid) { clsid_ = clsid; }

  struct Stream {
    std::string name;
    std::shared_ptr<const ByteSource> data;
  };
  const std::string& name() const { return name_; }
  const Guid& clsid() const { return clsid_; }
  const std::vector<std::unique_ptr<Storage>>& storages() const { return storages_; }
  const std::vector<Stream>& streams() const { return streams_; }

 private:
  // Checks the name and takes it; throws qc::Error when it is not valid or already taken.
  void claimName(const std::string& name);

  std::string name_;
  Guid clsid_;
  std::set<std::u16string> taken_;  // names of the entries, upper-cased as readers compare them
  std::vector<std::unique_ptr<Storage>> storages_;
  std::vector<Stream> streams_;
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
