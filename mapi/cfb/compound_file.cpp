#include "mapi/cfb/compound_file.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

#include "mapi/cfb/allocation.h"
#include "mapi/cfb/directory.h"
#include "mapi/cfb/header.h"
#include "mapi/little_endian.h"
#include "util/error.h"
#include "util/per_thread.h"

namespace qc::mapi::cfb {

namespace {

constexpr std::size_t kCopyPiece = 64 * 1024;

// Pieces of streams read from their sources pass through here on their way to the sink; one
// buffer per thread, rather than one per file.
struct StreamCopyBuffer {
  std::unique_ptr<std::uint8_t[]> bytes =
      std::make_unique_for_overwrite<std::uint8_t[]>(kCopyPiece);
};

std::uint8_t* CopyBuffer() {
  return PerThread<StreamCopyBuffer>().bytes.get();
}

// Writes whole sectors and keeps count, so a layout the writer did not follow is caught here
// instead of in a reader.
class SectorWriter {
 public:
  explicit SectorWriter(Sink& sink) : sink_(sink) {}

  void write(const std::uint8_t* data, std::size_t size) {
    sink_.write(data, size);
    written_ += size;
  }
  // Fills the current sector up with zeros.
  void padSector() {
    const std::size_t used = (written_ - kHeaderSize) % kSectorSize;
    if (used == 0) return;
    const std::uint8_t zeros[kSectorSize] = {};
    write(zeros, kSectorSize - used);
  }
  void writeIds(const std::uint32_t* ids, std::size_t count) {
    std::uint8_t sector[kSectorSize];
    for (std::size_t done = 0; done < count; done += kIdsPerSector) {
      for (std::size_t i = 0; i < kIdsPerSector; ++i) Put32(sector + 4 * i, ids[done + i]);
      write(sector, kSectorSize);
    }
  }
  // Writes a stream's bytes, those of a source in pieces; a source that delivers less than it
  // announced would leave a file whose sizes lie, so that is an error.
  void copy(const DirEntry& entry) {
    const Storage::Child& stream = *entry.item;
    if (!stream.source) return write(stream.bytes.data(), stream.bytes.size());
    std::uint8_t* buffer = CopyBuffer();
    std::uint64_t offset = 0;
    while (offset < entry.size) {
      const std::size_t want =
          static_cast<std::size_t>(std::min<std::uint64_t>(kCopyPiece, entry.size - offset));
      std::size_t got = 0;
      while (got < want) {
        const std::size_t n = stream.source->read(offset + got, buffer + got, want - got);
        if (n == 0) {
          throw Error("the data of the stream \"" + stream.name.utf8() + "\" ended after " +
                      std::to_string(offset + got) + " of " + std::to_string(entry.size) +
                      " bytes");
        }
        got += n;
      }
      write(buffer, got);
      offset += got;
    }
  }
  std::uint64_t written() const { return written_; }

 private:
  Sink& sink_;
  std::uint64_t written_ = 0;
};

// A sector of entries at a time: each entry is only 128 bytes.
void WriteDirectory(SectorWriter& out, const std::vector<DirEntry>& entries, const Storage& root,
                    std::uint32_t sectorCount) {
  std::uint8_t sector[kSectorSize];
  const DirEntry unused;
  for (std::size_t first = 0; first < std::size_t{sectorCount} * kEntriesPerSector;
       first += kEntriesPerSector) {
    for (std::size_t k = 0; k < kEntriesPerSector; ++k) {
      const std::size_t i = first + k;
      EncodeDirEntry(i < entries.size() ? entries[i] : unused, root, sector + k * kDirEntrySize);
    }
    out.write(sector, kSectorSize);
  }
}

void WriteMiniStream(SectorWriter& out, const std::vector<DirEntry>& entries,
                     const Layout& layout) {
  const std::uint8_t zeros[kMiniSectorSize] = {};
  for (std::uint32_t id : layout.miniStreams) {
    out.copy(entries[id]);
    const std::size_t tail = entries[id].size % kMiniSectorSize;
    if (tail != 0) out.write(zeros, kMiniSectorSize - tail);
  }
  out.padSector();
}

}  // namespace

std::uint8_t* Pool::room(std::size_t size, std::size_t align) {
  used_ = (used_ + align - 1) / align * align;
  if (used_ + size > kBlock) {
    blocks_.push_back(std::make_unique_for_overwrite<std::uint8_t[]>(kBlock));
    used_ = 0;
  }
  std::uint8_t* at = blocks_.back().get() + used_;
  used_ += size;
  return at;
}

std::span<const std::uint8_t> Pool::keep(Bytes bytes) {
  if (bytes.size() >= kLarge) {
    large_.push_back(std::move(bytes));  // a vector's buffer stays where it is when moved
    return large_.back();
  }
  if (bytes.empty()) return {};
  std::uint8_t* at = room(bytes.size(), 1);
  std::memcpy(at, bytes.data(), bytes.size());
  return {at, bytes.size()};
}

std::u16string_view Pool::keepShared(std::u16string_view units) {
  // A small file gains nothing: only one of many entries looks names up.
  if (blocks_.size() < 2) return keep(units);
  std::uint32_t hash = static_cast<std::uint32_t>(units.size());
  for (const char16_t unit : units) hash = hash * 31 + unit;
  std::u16string_view& slot = shared_[hash % shared_.size()];
  if (slot != units) slot = keep(units);
  return slot;
}

std::u16string_view Pool::keep(std::u16string_view units) {
  if (units.empty()) return {};
  auto* at = reinterpret_cast<char16_t*>(room(units.size() * sizeof(char16_t), alignof(char16_t)));
  std::copy(units.begin(), units.end(), at);
  return {at, units.size()};
}

Storage::Child& Storage::add(Child child) {
  const std::u16string_view name = child.name.units();
  const auto before = [&](std::uint32_t sibling) {
    return CompareNames(children_[sibling].name.units(), name) < 0;
  };
  // Writers mostly add names in sibling order already: then the new one goes last.
  auto at = siblingOrder_.end();
  if (!siblingOrder_.empty() && !before(siblingOrder_.back())) {
    at = std::partition_point(siblingOrder_.begin(), siblingOrder_.end(), before);
    if (CompareNames(children_[*at].name.units(), name) == 0) {
      throw Error("the storage \"" + this->name() + "\" already holds an entry named \"" +
                  child.name.utf8() + "\"");
    }
  }
  siblingOrder_.insert(at, static_cast<std::uint32_t>(children_.size()));
  children_.push_back(std::move(child));
  return children_.back();
}

void Storage::reserve(std::size_t more) {
  children_.reserve(children_.size() + more);
  siblingOrder_.reserve(siblingOrder_.size() + more);
}

Storage& Storage::addStorage(std::string_view name) {
  auto storage = std::make_unique<Storage>(name, *pool_);
  const PooledName pooled = storage->name_;
  return *add({pooled, std::move(storage), {}, nullptr}).storage;
}

// Stream names repeat from object to object (a value of one tag has one name); storage names
// are numbered, each its own.
void Storage::addStream(std::string_view name, Bytes data) {
  const PooledName pooled(EntryName(name), *pool_, true);
  add({pooled, nullptr, pool_->keep(std::move(data)), nullptr});
}

void Storage::addBorrowedStream(std::string_view name, std::span<const std::uint8_t> data) {
  add({PooledName(EntryName(name), *pool_, true), nullptr, data, nullptr});
}

void Storage::addStream(std::string_view name, std::shared_ptr<const ByteSource> data) {
  const PooledName pooled(EntryName(name), *pool_, true);
  if (!data) throw Error("the stream \"" + std::string(name) + "\" has no data source");
  add({pooled, nullptr, {}, std::move(data)});
}

void CompoundFile::write(Sink& sink) const {
  std::vector<DirEntry> entries = BuildDirectory(root_);
  const Layout layout = PlanLayout(entries);

  SectorWriter out(sink);
  const auto header = EncodeHeader(layout.header);
  out.write(header.data(), header.size());
  out.writeIds(layout.fat.data(), layout.fat.size());
  for (std::uint32_t i = 0; i < layout.difatSectorCount; ++i) {
    out.writeIds(DifatSector(layout, i).data(), kIdsPerSector);
  }
  WriteDirectory(out, entries, root_, layout.directorySectorCount);
  out.writeIds(layout.miniFat.data(), layout.miniFat.size());
  WriteMiniStream(out, entries, layout);
  for (std::uint32_t id : layout.regularStreams) {
    out.copy(entries[id]);
    out.padSector();
  }
  if (out.written() != layout.fileSize()) {
    throw Error("internal error: the Compound File came out " + std::to_string(out.written()) +
                " bytes long instead of " + std::to_string(layout.fileSize()));
  }
}

}  // namespace qc::mapi::cfb
