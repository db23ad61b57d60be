#include "mapi/cfb/compound_file.h"

#include <algorithm>

#include "mapi/cfb/allocation.h"
#include "mapi/cfb/directory.h"
#include "mapi/cfb/header.h"
#include "util/error.h"

namespace qc::mapi::cfb {

namespace {

constexpr std::size_t kCopyPiece = 64 * 1024;

// Writes whole sectors and keeps count, so a layout the writer did not follow is caught here
// instead of in a reader.
class SectorWriter {
 public:
  explicit SectorWriter(Sink& sink) : sink_(sink), buffer_(kCopyPiece) {}

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
  // Copies a stream's bytes in pieces; a source that delivers less than it announced would
  // leave a file whose sizes lie, so that is an error.
  void copy(const DirEntry& entry) {
    std::uint64_t offset = 0;
    while (offset < entry.size) {
      const std::size_t want =
          static_cast<std::size_t>(std::min<std::uint64_t>(buffer_.size(), entry.size - offset));
      std::size_t got = 0;
      while (got < want) {
        const std::size_t n = entry.data->read(offset + got, buffer_.data() + got, want - got);
        if (n == 0) {
          throw Error("the data of the stream \"" + Utf16ToUtf8(entry.name) + "\" ended after " +
                      std::to_string(offset + got) + " of " + std::to_string(entry.size) +
                      " bytes");
        }
        got += n;
      }
      write(buffer_.data(), got);
      offset += got;
    }
  }
  std::uint64_t written() const { return written_; }

 private:
  Sink& sink_;
  std::vector<std::uint8_t> buffer_;
  std::uint64_t written_ = 0;
};

void WriteDirectory(SectorWriter& out, const std::vector<DirEntry>& entries,
                    std::uint32_t sectorCount) {
  std::uint8_t bytes[kDirEntrySize];
  const DirEntry unused;
  for (std::size_t i = 0; i < std::size_t{sectorCount} * kEntriesPerSector; ++i) {
    EncodeDirEntry(i < entries.size() ? entries[i] : unused, bytes);
    out.write(bytes, kDirEntrySize);
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

void Storage::claimName(const std::string& name) {
  std::u16string units = Utf8ToUtf16(name);
  if (const std::string problem = NameProblem(units); !problem.empty()) {
    throw Error("the Compound File entry name \"" + name + "\" " + problem);
  }
  for (auto& unit : units) unit = UpperUnit(unit);
  if (!taken_.insert(std::move(units)).second) {
    throw Error("the storage \"" + name_ + "\" already holds an entry named \"" + name + "\"");
  }
}

Storage& Storage::addStorage(std::string name) {
  claimName(name);
  storages_.push_back(std::make_unique<Storage>(std::move(name)));
  return *storages_.back();
}

void Storage::addStream(std::string name, Bytes data) {
  addStream(std::move(name), std::make_shared<MemorySource>(std::move(data)));
}

void Storage::addStream(std::string name, std::shared_ptr<const ByteSource> data) {
  claimName(name);
  if (!data) throw Error("the stream \"" + name + "\" has no data source");
  streams_.push_back({std::move(name), std::move(data)});
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
