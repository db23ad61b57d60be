#include "mapi/check/cfb/cfb_reader.h"

#include <algorithm>
#include <cstring>

#include "mapi/cfb/format.h"
#include "mapi/check/cfb/cfb_rules.h"
#include "mapi/little_endian.h"
#include "mapi/text.h"

namespace qc::mapi::cfb {

namespace {

// A valid red-black tree of 2^32 entries is less than 64 deep; deeper means a damaged file.
constexpr int kMaxTreeDepth = 128;
constexpr int kMaxStorageDepth = 256;
constexpr int kNoOwner = -1;

std::string Hex(std::uint32_t v) {
  static const char* digits = "0123456789ABCDEF";
  std::string out = "0x";
  for (int shift = 28; shift >= 0; shift -= 4) out += digits[(v >> shift) & 0xF];
  return out;
}

bool AllZero(const std::uint8_t* p, std::size_t n) {
  return std::all_of(p, p + n, [](std::uint8_t b) { return b == 0; });
}

// Sector allocation table (FAT or mini FAT) with a record of who uses each unit, so a unit
// reached twice or never is reported.
struct Table {
  std::string unit;  // "sector" or "mini sector"
  std::vector<std::uint32_t> next;
  std::vector<int> owner;
  std::uint32_t count = 0;  // units the file (or the mini stream) holds
};

struct RawEntry {
  std::u16string name;
  ObjectType type = ObjectType::Unused;
  std::uint8_t colour = 0;
  std::uint32_t left = kNoStream;
  std::uint32_t right = kNoStream;
  std::uint32_t child = kNoStream;
  Guid clsid;
  std::uint32_t start = 0;
  std::uint64_t size = 0;
};

class Reader {
 public:
  Reader(const Bytes& file, std::uint64_t copyUpTo) : file_(file), copyUpTo_(copyUpTo) {}
  ReadResult run();

 private:
  void defect(std::string text) { result_.defects.push_back(std::move(text)); }
  const std::uint8_t* sector(std::uint32_t s) const {
    return file_.data() + kHeaderSize + std::size_t{s} * kSectorSize;
  }
  int ownerId(const std::string& name) {
    owners_.push_back(name);
    return static_cast<int>(owners_.size() - 1);
  }
  bool claim(Table& table, std::uint32_t unit, int owner);
  std::vector<std::uint32_t> chain(Table& table, std::uint32_t start, const std::string& owner);
  void checkLength(const std::string& owner, const Table& table, std::size_t units,
                   std::uint64_t expected);

  bool readHeader();
  void readDifat();
  void readFat();
  void readDirectory();
  void checkEntry(std::uint32_t id, const std::uint8_t* raw);
  void readMiniStream();
  void walkStorage(std::uint32_t id, const std::string& path, int depth);
  int walkSiblings(std::uint32_t id, bool parentRed, int depth, std::vector<std::uint32_t>& order);
  void readStream(std::uint32_t id, const std::string& path);
  void checkUnreached();

  const Bytes& file_;
  std::uint64_t copyUpTo_;
  ReadResult result_;
  std::uint32_t fatSectorCount_ = 0;
  std::vector<std::uint32_t> fatSectors_;
  std::vector<std::uint32_t> difatSectors_;
  std::vector<std::string> owners_;
  Table fat_{"sector", {}, {}, 0};
  Table miniFat_{"mini sector", {}, {}, 0};
  std::vector<RawEntry> entries_;
  std::vector<bool> reached_;
  Bytes miniStream_;
};

bool Reader::claim(Table& table, std::uint32_t unit, int owner) {
  int& current = table.owner[unit];
  if (current == kNoOwner) {
    current = owner;
    return true;
  }
  if (current == owner) {
    defect("the chain of " + owners_[owner] + " loops at " + table.unit + " " +
           std::to_string(unit));
  } else {
    defect(table.unit + " " + std::to_string(unit) + " is used twice, by " + owners_[current] +
           " and " + owners_[owner]);
  }
  return false;
}

// Follows one chain to ENDOFCHAIN, claiming each unit for `owner`.
std::vector<std::uint32_t> Reader::chain(Table& table, std::uint32_t start,
                                         const std::string& owner) {
  const int id = ownerId(owner);
  std::vector<std::uint32_t> units;
  std::uint32_t at = start;
  while (at != kEndOfChain) {
    if (at >= table.count) {
      defect("the chain of " + owner + " points to " + table.unit + " " + Hex(at) +
             ", outside its area");
      break;
    }
    if (!claim(table, at, id)) break;
    units.push_back(at);
    at = at < table.next.size() ? table.next[at] : kFreeSect;
    if (at == kFreeSect || at == kFatSect || at == kDifSect) {
      defect("the chain of " + owner + " runs into a " + (at == kFreeSect ? "free" : "reserved") +
             " " + table.unit + " after " + table.unit + " " + std::to_string(units.back()));
      break;
    }
  }
  return units;
}

void Reader::checkLength(const std::string& owner, const Table& table, std::size_t units,
                         std::uint64_t expected) {
  if (units != expected) {
    defect("the chain of " + owner + " has " + std::to_string(units) + " " + table.unit +
           "s instead of " + std::to_string(expected) + " (wrong size)");
  }
}

// Header (MS-CFB 2.2); returns false when the rest of the file cannot be interpreted.
bool Reader::readHeader() {
  namespace at = check::header_at;
  if (file_.size() < kHeaderSize) {
    defect("the file is shorter than the 512-byte header");
    return false;
  }
  const std::uint8_t* h = file_.data();
  if (std::memcmp(h, kSignature, sizeof kSignature) != 0) {
    defect("bad signature");
    return false;
  }
  if (!AllZero(h + at::kClsid, 16)) defect("the header CLSID is not zero");
  if (Get16(h + at::kMinorVersion) != check::kMinorVersion)
    defect("the minor version is not 0x003E");
  if (Get16(h + at::kByteOrder) != check::kByteOrderMark)
    defect("the byte order mark is not 0xFFFE");
  if (Get16(h + at::kMiniSectorShift) != check::kMiniSectorShift)
    defect("the mini sector shift is not 6");
  if (!AllZero(h + at::kReserved, 6)) defect("the reserved header bytes are not zero");
  if (Get32(h + at::kDirectorySectorCount) != 0) {
    defect("the number of directory sectors is not 0, as version 3 requires");
  }
  if (Get32(h + at::kMiniStreamCutoff) != kMiniStreamCutoff) {
    defect("the mini stream cutoff is not 4096");
  }
  if (Get16(h + at::kMajorVersion) != check::kMajorVersion ||
      Get16(h + at::kSectorShift) != check::kSectorShift) {
    defect("not version 3 with 512-byte sectors");
    return false;
  }
  if ((file_.size() - kHeaderSize) % kSectorSize != 0) {
    defect("the file size is not a multiple of 512");
  }
  const std::uint64_t sectors = (file_.size() - kHeaderSize) / kSectorSize;
  fat_.count = static_cast<std::uint32_t>(std::min<std::uint64_t>(sectors, kMaxRegSect));
  fat_.owner.assign(fat_.count, kNoOwner);
  fatSectorCount_ = Get32(h + at::kFatSectorCount);
  return true;
}

// DIFAT: the header's 109 entries, then the chain of DIFAT sectors (MS-CFB 2.5).
void Reader::readDifat() {
  namespace at = check::header_at;
  const std::uint8_t* h = file_.data();
  const auto take = [this](std::uint32_t id, std::size_t index) {
    if (index < fatSectorCount_) {
      if (id >= fat_.count) {
        defect("DIFAT entry " + std::to_string(index) + " points outside the file");
      } else {
        fatSectors_.push_back(id);
      }
    } else if (id != kFreeSect) {
      defect("unused DIFAT entry " + std::to_string(index) + " is not FREESECT");
    }
  };
  for (std::size_t i = 0; i < kHeaderDifatEntries; ++i) take(Get32(h + at::kDifat + 4 * i), i);

  const std::uint32_t declared = Get32(h + at::kDifatSectorCount);
  const int owner = ownerId("the DIFAT");
  std::uint32_t next = Get32(h + at::kFirstDifatSector);
  std::size_t index = kHeaderDifatEntries;
  for (std::uint32_t k = 0; k < declared; ++k) {
    if (next >= fat_.count) {
      defect("the DIFAT chain points to " + Hex(next) + ", outside the file");
      break;
    }
    if (!claim(fat_, next, owner)) break;
    difatSectors_.push_back(next);
    for (std::size_t i = 0; i < kIdsPerDifatSector; ++i) take(Get32(sector(next) + 4 * i), index++);
    next = Get32(sector(next) + 4 * kIdsPerDifatSector);
  }
  if (next != kEndOfChain) defect("the DIFAT chain does not end with ENDOFCHAIN");
  if (fatSectors_.size() < fatSectorCount_) {
    defect("the DIFAT lists " + std::to_string(fatSectors_.size()) + " of the " +
           std::to_string(fatSectorCount_) + " FAT sectors");
  }
}

// FAT (MS-CFB 2.3): it must cover the file, describe nothing past its end, and mark its own
// sectors FATSECT and the DIFAT's DIFSECT.
void Reader::readFat() {
  const int owner = ownerId("the FAT");
  for (std::uint32_t s : fatSectors_) {
    if (!claim(fat_, s, owner)) continue;
    for (std::size_t i = 0; i < kIdsPerSector; ++i) fat_.next.push_back(Get32(sector(s) + 4 * i));
  }
  if (fat_.next.size() < fat_.count) {
    defect("the FAT covers " + std::to_string(fat_.next.size()) + " of the file's " +
           std::to_string(fat_.count) + " sectors");
  }
  for (std::uint32_t s : fatSectors_) {
    if (s < fat_.next.size() && fat_.next[s] != kFatSect) {
      defect("FAT sector " + std::to_string(s) + " is not marked FATSECT");
    }
  }
  for (std::uint32_t s : difatSectors_) {
    if (s < fat_.next.size() && fat_.next[s] != kDifSect) {
      defect("DIFAT sector " + std::to_string(s) + " is not marked DIFSECT");
    }
  }
  std::uint64_t lastUsed = 0;
  for (std::size_t s = 0; s < fat_.next.size(); ++s) {
    if (fat_.next[s] != kFreeSect) lastUsed = s + 1;
  }
  if (lastUsed > fat_.count) {
    defect("the FAT describes sectors past the end of the file (file size)");
  } else if (lastUsed < fat_.count) {
    defect("the file runs " + std::to_string(fat_.count - lastUsed) +
           " sectors past the last one the FAT uses (file size)");
  }
}

// Directory entry (MS-CFB 2.6): fields that must agree with the entry's type.
void Reader::checkEntry(std::uint32_t id, const std::uint8_t* raw) {
  namespace at = check::entry_at;
  RawEntry e;
  // Named only when something is wrong: every message file has dozens of entries.
  const auto which = [id] { return "entry " + std::to_string(id); };
  const std::uint8_t type = raw[at::kType];
  e.colour = raw[at::kColour];
  e.left = Get32(raw + at::kLeft);
  e.right = Get32(raw + at::kRight);
  e.child = Get32(raw + at::kChild);
  std::memcpy(e.clsid.bytes.data(), raw + at::kClsid, 16);
  e.start = Get32(raw + at::kStartSector);
  e.size = Get64(raw + at::kSize);
  if (type != 0 && type != 1 && type != 2 && type != 5) {
    defect(which() + " has the unknown object type " + std::to_string(type));
  } else {
    e.type = static_cast<ObjectType>(type);
  }
  if (type == 0) {
    if (!AllZero(raw, at::kLeft) || e.left != kNoStream || e.right != kNoStream ||
        e.child != kNoStream || !AllZero(raw + at::kClsid, kDirEntrySize - at::kClsid)) {
      defect("unused " + which() + " is not zeroed");
    }
    entries_.push_back(std::move(e));
    return;
  }
  const std::uint16_t length = Get16(raw + at::kNameLength);
  bool inner = false;  // a NUL before the end that the length field claims
  for (std::size_t i = 0; length >= 4 && i + 2 < length && i < 64; i += 2)
    inner |= Get16(raw + i) == 0;
  if (length < 2 || length > 64 || length % 2 != 0 || Get16(raw + length - 2) != 0 || inner) {
    defect(which() + " has a name length field (" + std::to_string(length) +
           ") that does not match its name");
  } else {
    for (std::size_t i = 0; i + 1 < length / 2u; ++i) {
      e.name += static_cast<char16_t>(Get16(raw + 2 * i));
    }
    if (!AllZero(raw + length, 64 - length))
      defect("the bytes after the name of " + which() + " are not zero");
    if (const std::string problem = check::NameFault(e.name); !problem.empty()) {
      defect("the name of " + which() + " " + problem);
    }
  }
  if (e.colour > 1) defect(which() + " has the colour " + std::to_string(e.colour));
  if (e.type == ObjectType::Root && id != 0) defect(which() + " is a second root entry");
  if (e.type == ObjectType::Root && e.name != u"Root Entry")
    defect("the root entry is not named Root Entry");
  if (e.type == ObjectType::Root && !AllZero(raw + at::kCreationTime, 8)) {
    defect("the root entry has a creation time");
  }
  if (e.type == ObjectType::Stream) {
    if (e.child != kNoStream) defect("stream " + which() + " has a child");
    if (!AllZero(raw + at::kClsid, at::kStartSector - at::kClsid)) {
      defect("stream " + which() + " has a CLSID, state bits or times");
    }
  }
  if (e.type == ObjectType::Storage && (e.start != 0 || e.size != 0)) {
    defect("storage " + which() + " has a start sector or size");
  }
  if (e.size > kMaxStreamSize) defect(which() + " is larger than 2 GiB (wrong size)");
  entries_.push_back(std::move(e));
}

// The mini FAT and the mini stream it divides, held in the root entry's stream.
void Reader::readMiniStream() {
  namespace at = check::header_at;
  const std::uint8_t* h = file_.data();
  const std::uint32_t declared = Get32(h + at::kMiniFatSectorCount);
  const auto fatSectors = chain(fat_, Get32(h + at::kFirstMiniFatSector), "the mini FAT");
  checkLength("the mini FAT", fat_, fatSectors.size(), declared);
  for (std::uint32_t s : fatSectors) {
    for (std::size_t i = 0; i < kIdsPerSector; ++i)
      miniFat_.next.push_back(Get32(sector(s) + 4 * i));
  }

  const RawEntry& root = entries_[0];
  const auto sectors = chain(fat_, root.start, "the mini stream");
  checkLength("the mini stream", fat_, sectors.size(), check::UnitsFor(root.size, kSectorSize));
  for (std::uint32_t s : sectors)
    miniStream_.insert(miniStream_.end(), sector(s), sector(s) + kSectorSize);
  const std::uint64_t units = std::min<std::uint64_t>(check::UnitsFor(root.size, kMiniSectorSize),
                                                      miniStream_.size() / kMiniSectorSize);
  miniFat_.count = static_cast<std::uint32_t>(units);
  miniFat_.owner.assign(miniFat_.count, kNoOwner);
  if (miniFat_.next.size() < miniFat_.count) defect("the mini FAT does not cover the mini stream");
  for (std::size_t u = miniFat_.count; u < miniFat_.next.size(); ++u) {
    if (miniFat_.next[u] != kFreeSect) {
      defect("the mini FAT describes mini sectors past the end of the mini stream (wrong size)");
      break;
    }
  }
}

void Reader::readDirectory() {
  const std::uint32_t first = Get32(file_.data() + check::header_at::kFirstDirectorySector);
  const auto sectors = chain(fat_, first, "the directory");
  for (std::uint32_t s : sectors) {
    for (std::size_t i = 0; i < kEntriesPerSector; ++i) {
      checkEntry(static_cast<std::uint32_t>(entries_.size()), sector(s) + i * kDirEntrySize);
    }
  }
  if (entries_.empty() || entries_[0].type != ObjectType::Root) {
    defect("the directory does not start with the root entry");
    return;
  }
  readMiniStream();
  reached_.assign(entries_.size(), false);
  reached_[0] = true;
  result_.entries.push_back({"/", true, entries_[0].clsid, 0});
  walkStorage(0, "/", 0);
  for (std::uint32_t id = 0; id < entries_.size(); ++id) {
    if (entries_[id].type != ObjectType::Unused && !reached_[id]) {
      defect("entry " + std::to_string(id) + " is in no storage's tree");
    }
  }
}

// The children of one storage: a red-black tree in sibling order.
void Reader::walkStorage(std::uint32_t id, const std::string& path, int depth) {
  if (depth > kMaxStorageDepth) {
    defect("storages nest too deeply under " + path);
    return;
  }
  std::vector<std::uint32_t> order;
  const std::uint32_t top = entries_[id].child;
  if (top < entries_.size() && entries_[top].colour == 0) {
    defect("the sibling tree under " + path + " has a red root (red-black tree)");
  }
  walkSiblings(top, false, 0, order);
  for (std::size_t i = 1; i < order.size(); ++i) {
    const RawEntry& a = entries_[order[i - 1]];
    const RawEntry& b = entries_[order[i]];
    const int c = check::SiblingOrder(a.name, b.name);
    if (c >= 0) {
      defect("\"" + Utf8FromUtf16(a.name) + "\" and \"" + Utf8FromUtf16(b.name) + "\" under " +
             path + (c == 0 ? " have the same name" : " are out of sibling order"));
    }
  }
  for (std::uint32_t child : order) {
    const RawEntry& e = entries_[child];
    const std::string childPath = (path == "/" ? path : path + "/") + Utf8FromUtf16(e.name);
    const bool storage = e.type == ObjectType::Storage;
    result_.entries.push_back({childPath, storage, e.clsid, storage ? 0 : e.size});
    if (storage) {
      walkStorage(child, childPath, depth + 1);
    } else {
      readStream(child, childPath);
    }
  }
}

// Returns the number of black nodes on every path below `id`, counting the empty leaves.
int Reader::walkSiblings(std::uint32_t id, bool parentRed, int depth,
                         std::vector<std::uint32_t>& order) {
  if (id == kNoStream) return 1;
  // Named only when something is wrong: every message file has dozens of entries.
  const auto which = [id] { return "entry " + std::to_string(id); };
  if (id >= entries_.size()) {
    defect("a sibling link points to " + which() + ", outside the directory");
    return 1;
  }
  const RawEntry& e = entries_[id];
  if (e.type != ObjectType::Storage && e.type != ObjectType::Stream) {
    defect("a sibling link points to " + which() + ", which is not a storage or stream");
    return 1;
  }
  if (reached_[id]) {
    defect(which() + " is reached twice in the directory");
    return 1;
  }
  reached_[id] = true;
  if (depth > kMaxTreeDepth) {
    defect("the sibling tree is too deep at " + which());
    return 1;
  }
  const bool red = e.colour == 0;
  if (red && parentRed) defect("red " + which() + " has a red parent (red-red)");
  const int left = walkSiblings(e.left, red, depth + 1, order);
  order.push_back(id);
  const int right = walkSiblings(e.right, red, depth + 1, order);
  if (left != right) {
    defect("the paths below " + which() +
           " hold different numbers of black entries (red-black tree)");
  }
  return std::max(left, right) + (red ? 0 : 1);
}

// A stream's chain: in the mini stream below 4096 bytes, in regular sectors from there on.
void Reader::readStream(std::uint32_t id, const std::string& path) {
  const RawEntry& e = entries_[id];
  const bool mini = e.size < kMiniStreamCutoff;
  if (!mini && e.size > copyUpTo_) {
    auto& pieces = result_.largeStreams[path];
    const auto units = chain(fat_, e.start, path);
    checkLength(path, fat_, units.size(), check::UnitsFor(e.size, kSectorSize));
    std::uint64_t left = e.size;
    for (std::uint32_t u : units) {
      const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(left, kSectorSize));
      if (!pieces.empty() && pieces.back().data() + pieces.back().size() == sector(u)) {
        pieces.back() = {pieces.back().data(), pieces.back().size() + n};
      } else {
        pieces.push_back({sector(u), n});
      }
      left -= n;
    }
    return;
  }
  Bytes& contents = result_.streams[path];
  if (e.size == 0) {
    if (e.start != kEndOfChain) defect("the empty stream " + path + " has a start sector");
    return;
  }
  Table& table = mini ? miniFat_ : fat_;
  const std::size_t unitSize = mini ? kMiniSectorSize : kSectorSize;
  const auto units = chain(table, e.start, path);
  checkLength(path, table, units.size(), check::UnitsFor(e.size, unitSize));
  contents.reserve(units.size() * unitSize);
  for (std::uint32_t u : units) {
    const std::uint8_t* from = mini ? miniStream_.data() + std::size_t{u} * unitSize : sector(u);
    contents.insert(contents.end(), from, from + unitSize);
  }
  if (contents.size() > e.size) contents.resize(e.size);
}

void Reader::checkUnreached() {
  for (Table* table : {&fat_, &miniFat_}) {
    std::size_t lost = 0;
    std::uint32_t first = 0;
    for (std::uint32_t u = 0; u < table->count && u < table->next.size(); ++u) {
      if (table->next[u] != kFreeSect && table->owner[u] == kNoOwner && lost++ == 0) first = u;
    }
    if (lost > 0) {
      defect(std::to_string(lost) + " lost " + table->unit + "s (in use but reached by no " +
             "chain), the first is " + std::to_string(first));
    }
  }
}

ReadResult Reader::run() {
  if (!readHeader()) return std::move(result_);
  readDifat();
  readFat();
  readDirectory();
  checkUnreached();
  return std::move(result_);
}

}  // namespace

ReadResult ReadCompoundFile(const Bytes& file, std::uint64_t copyUpTo) {
  return Reader(file, copyUpTo).run();
}

}  // namespace qc::mapi::cfb
