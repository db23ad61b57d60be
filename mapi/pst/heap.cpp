#include "mapi/pst/heap.h"

#include <stdexcept>

#include "mapi/little_endian.h"
#include "mapi/pst/format.h"

namespace qc::mapi::pst {

namespace {

bool IsBitmapBlock(std::size_t index) {
  return index >= 8 && (index - 8) % 128 == 0;
}

// HNPAGEMAP size for `items` items.
std::size_t PageMapSize(std::size_t items) {
  return 4 + 2 * (items + 1);
}

}  // namespace

std::uint8_t HeapFillLevel(std::size_t freeBytes) {
  static constexpr std::size_t kLimits[] = {3584, 2560, 2048, 1792, 1536, 1280, 1024, 768,
                                            512,  256,  128,  64,   32,   16,   8};
  std::uint8_t level = 0;
  for (const std::size_t limit : kLimits) {
    if (freeBytes >= limit) return level;
    ++level;
  }
  return level;
}

HeapWriter::HeapWriter(NodeDatabase& db, std::uint8_t clientSignature)
    : db_(db), client_(clientSignature) {
  openBlock();
}

std::size_t HeapWriter::headerSize(std::size_t index) const {
  if (index == 0) return kHeapHeaderSize;
  return IsBitmapBlock(index) ? kHeapBitmapHeaderSize : kHeapPageHeaderSize;
}

void HeapWriter::openBlock() {
  current_ = Block{};
  current_.bytes.assign(headerSize(currentIndex_), 0);
}

std::uint32_t HeapWriter::allocate(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  if (size > kMaxHeapItem) throw std::logic_error("heap item larger than 3,580 bytes");
  const auto fits = [&] {
    const std::size_t end = current_.bytes.size() + size;
    return current_.starts.size() < kHeapMaxAllocsPerBlock &&
           end + (end & 1) + PageMapSize(current_.starts.size() + 1) <= kMaxBlockData;
  };
  if (!fits()) {
    sealCurrent();
    ++currentIndex_;
    openBlock();
  }
  current_.starts.push_back(static_cast<std::uint16_t>(current_.bytes.size()));
  current_.bytes.insert(current_.bytes.end(), data, data + size);
  return MakeHid(currentIndex_, current_.starts.size());
}

std::uint32_t HeapWriter::reserve(std::size_t size) {
  const Bytes zeros(size, 0);
  const std::uint32_t hid = allocate(zeros);
  if ((hid >> 16) != 0) throw std::logic_error("heap items reserved after the first block");
  return hid;
}

void HeapWriter::fill(std::uint32_t hid, const Bytes& data) {
  fills_.emplace_back(hid, data);
}

// HNPAGEMAP: the block gets its item offsets, on a 2-byte boundary after the items.
void HeapWriter::seal(Block& block, std::size_t index) {
  Bytes& b = block.bytes;
  const std::size_t itemsEnd = b.size();
  if (b.size() & 1) b.push_back(0);
  const std::size_t map = b.size();
  Append16(b, static_cast<std::uint16_t>(block.starts.size()));
  Append16(b, 0);
  for (const std::uint16_t start : block.starts) Append16(b, start);
  Append16(b, static_cast<std::uint16_t>(itemsEnd));
  Put16(b.data(), static_cast<std::uint16_t>(map));
  if (fillLevels_.size() <= index) fillLevels_.resize(index + 1, 0);
  fillLevels_[index] = HeapFillLevel(kMaxBlockData - b.size());
}

void HeapWriter::sealCurrent() {
  seal(current_, currentIndex_);
  if (currentIndex_ == 0 || IsBitmapBlock(currentIndex_)) {
    held_[currentIndex_] = std::move(current_);
  } else {
    emit(currentIndex_, current_);
  }
  // A bitmap block goes out once the last of the 128 blocks it describes is sealed.
  if (currentIndex_ >= 8 && (currentIndex_ - 8) % 128 == 127) {
    const std::size_t bitmapIndex = currentIndex_ - 127;
    auto it = held_.find(bitmapIndex);
    for (std::size_t i = 0; i < 128; ++i) {
      const std::uint8_t level = fillLevels_[bitmapIndex + i];
      it->second.bytes[2 + i / 2] |= static_cast<std::uint8_t>(level << (4 * (i % 2)));
    }
    emit(bitmapIndex, it->second);
    held_.erase(it);
  }
}

void HeapWriter::emit(std::size_t index, const Block& block) {
  if (bids_.size() <= index) {
    bids_.resize(index + 1, 0);
    sizes_.resize(index + 1, 0);
  }
  bids_[index] = db_.writeDataBlock(block.bytes.data(), block.bytes.size());
  sizes_[index] = static_cast<std::uint16_t>(block.bytes.size());
}

std::uint64_t HeapWriter::finish() {
  sealCurrent();
  const std::size_t blockCount = currentIndex_ + 1;
  for (auto& [index, block] : held_) {
    if (index == 0) {
      Bytes& b = block.bytes;
      for (const auto& [hid, data] : fills_) {
        const std::size_t item = (hid >> 5) & 0x7FF;
        const std::size_t start = block.starts[item - 1];
        const std::size_t map = Get16(b.data());
        const std::size_t end = item < block.starts.size()
                                    ? block.starts[item]
                                    : Get16(b.data() + map + 4 + 2 * block.starts.size());
        if (end - start != data.size()) throw std::logic_error("reserved heap item refilled");
        std::copy(data.begin(), data.end(), b.begin() + static_cast<std::ptrdiff_t>(start));
      }
      b[2] = kHeapSignature;
      b[3] = client_;
      Put32(b.data() + 4, root_);
      for (std::size_t i = 0; i < 8 && i < blockCount; ++i) {
        b[8 + i / 2] |= static_cast<std::uint8_t>(fillLevels_[i] << (4 * (i % 2)));
      }
    } else {
      for (std::size_t i = 0; i < 128 && index + i < blockCount; ++i) {
        const std::uint8_t level = fillLevels_[index + i];
        block.bytes[2 + i / 2] |= static_cast<std::uint8_t>(level << (4 * (i % 2)));
      }
    }
    emit(index, block);
  }
  held_.clear();
  if (bids_.size() == 1) return bids_.front();
  // The blocks were written out of order; the tree lists them by block index.
  DataTreeWriter tree(db_);
  for (std::size_t i = 0; i < bids_.size(); ++i) tree.addBlock(bids_[i], sizes_[i]);
  return tree.finish();
}

}  // namespace qc::mapi::pst
