#include "mapi/cfb/compound_file.h"

#include <algorithm>
#include <memory>
#include <string>

#include "mapi/cfb/allocation.h"
#include "mapi/cfb/directory.h"
#include "mapi/cfb/header.h"
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
    const Storage::Child& stream = *entry.stream;
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
          throw Error("the data of the stream \"" + Utf16ToUtf8(entry.name) + "\" ended after " +
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
void WriteDirectory(SectorWriter& out, const std::vector<DirEntry>& entries,
                    std::uint32_t sectorCount) {
  std::uint8_t sector[kSectorSize];
  const DirEntry unused;
  for (std::size_t first = 0; first < std::size_t{sectorCount} * kEntriesPerSector;
       first += kEntriesPerSector) {
    for (std::size_t k = 0; k < kEntriesPerSector; ++k) {
      const std::size_t i = first + k;
      EncodeDirEntry(i < entries.size() ? entries[i] : unused, sector + k * kDirEntrySize);
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
  auto storage = std::make_unique<Storage>(name);
  EntryName entryName = storage->name_;
  return *add({entryName, std::move(storage), {}, {}, nullptr}).storage;
}

void Storage::addStream(std::string_view name, Bytes data) {
  Child child{EntryName(name), nullptr, std::move(data), {}, nullptr};
  child.bytes = child.owned;  // moving the child keeps the vector's buffer where it is
  add(std::move(child));
}

void Storage::addBorrowedStream(std::string_view name, std::span<const std::uint8_t> data) {
  add({EntryName(name), nullptr, {}, data, nullptr});
}

void Storage::addStream(std::string_view name, std::shared_ptr<const ByteSource> data) {
  EntryName entryName(name);
  if (!data) throw Error("the stream \"" + std::string(name) + "\" has no data source");
  add({entryName, nullptr, {}, {}, std::move(data)});
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
  WriteDirectory(out, entries, layout.directorySectorCount);
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
