#include "mapi/pst/ltp/heap.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <stdexcept>

#include "mapi/little_endian.h"
#include "mapi/pst/format.h"
#include "util/per_thread.h"

namespace qc::mapi::pst {

namespace {

bool IsBitmapBlock(std::size_t index) {
  return index >= 8 && (index - 8) % 128 == 0;
}

// HNPAGEMAP size for `items` items.
std::size_t PageMapSize(std::size_t items) {
  return 4 + 2 * (items + 1);
}

// Blocks given back by heaps finished on this thread, for the next ones: each heap of each
// message would otherwise allocate its blocks and grow them item by item.
struct SpareHeapBlocks {
  std::vector<std::unique_ptr<HeapWriter::Block>> blocks;
};

std::vector<std::unique_ptr<HeapWriter::Block>>& SpareBlocks() {
  return PerThread<SpareHeapBlocks>().blocks;
}

std::unique_ptr<HeapWriter::Block> TakeBlock() {
  auto& spares = SpareBlocks();
  if (spares.empty()) {
    auto block = std::make_unique<HeapWriter::Block>();
    block->bytes.reserve(kMaxBlockData);
    block->starts.reserve(64);
    return block;
  }
  auto block = std::move(spares.back());
  spares.pop_back();
  return block;
}

void GiveBack(std::unique_ptr<HeapWriter::Block> block) {
  auto& spares = SpareBlocks();
  if (!block || spares.size() >= 16) return;
  block->bytes.clear();
  block->starts.clear();
  spares.push_back(std::move(block));
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

HeapWriter::~HeapWriter() {
  GiveBack(std::move(current_));
  GiveBack(std::move(first_));
  for (auto& [index, block] : bitmaps_) GiveBack(std::move(block));
}

std::size_t HeapWriter::headerSize(std::size_t index) const {
  if (index == 0) return kHeapHeaderSize;
  return IsBitmapBlock(index) ? kHeapBitmapHeaderSize : kHeapPageHeaderSize;
}

void HeapWriter::openBlock() {
  current_ = TakeBlock();
  current_->bytes.assign(headerSize(currentIndex_), 0);
}

std::uint32_t HeapWriter::allocate(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  if (size > kMaxHeapItem) throw std::logic_error("heap item larger than 3,580 bytes");
  const std::size_t end = current_->bytes.size() + size;
  const bool fits = current_->starts.size() < kHeapMaxAllocsPerBlock &&
                    end + (end & 1) + PageMapSize(current_->starts.size() + 1) <= kMaxBlockData;
  if (!fits) {
    sealCurrent();
    ++currentIndex_;
    openBlock();
  }
  Bytes& bytes = current_->bytes;
  current_->starts.push_back(static_cast<std::uint16_t>(bytes.size()));
  bytes.insert(bytes.end(), data, data + size);
  return MakeHid(currentIndex_, current_->starts.size());
}

std::uint32_t HeapWriter::reserve(std::size_t size) {
  static const std::array<std::uint8_t, kMaxHeapItem> kZeros{};
  if (size > kZeros.size()) throw std::logic_error("heap item larger than 3,580 bytes");
  const std::uint32_t hid = allocate(kZeros.data(), size);
  if ((hid >> 16) != 0) throw std::logic_error("heap items reserved after the first block");
  return hid;
}

void HeapWriter::fill(std::uint32_t hid, const std::uint8_t* data, std::size_t size) {
  // Reserved items are in the first block, which stays in memory until finish().
  const bool sealed = currentIndex_ != 0;
  Block& block = sealed ? *first_ : *current_;
  const std::size_t item = (hid >> 5) & 0x7FF;
  if ((hid >> 16) != 0 || item == 0 || item > block.starts.size()) {
    throw std::logic_error("no reserved heap item to fill");
  }
  const std::size_t start = block.starts[item - 1];
  std::size_t end = 0;
  if (item < block.starts.size()) {
    end = block.starts[item];
  } else if (!sealed) {
    end = block.bytes.size();
  } else {
    end = Get16(block.bytes.data() + Get16(block.bytes.data()) + 4 + 2 * block.starts.size());
  }
  if (end - start != size) throw std::logic_error("reserved heap item refilled");
  if (size > 0) std::memcpy(block.bytes.data() + start, data, size);
}

// HNPAGEMAP: the block gets its item offsets, on a 2-byte boundary after the items.
void HeapWriter::seal(Block& block, std::size_t index) {
  Bytes& b = block.bytes;
  const std::size_t itemsEnd = b.size();
  const std::size_t map = itemsEnd + (itemsEnd & 1);
  b.resize(map + PageMapSize(block.starts.size()), 0);
  std::uint8_t* out = b.data() + map;
  Put16(out, static_cast<std::uint16_t>(block.starts.size()));
  Put16(out + 2, 0);
  out += 4;
  for (const std::uint16_t start : block.starts) {
    Put16(out, start);
    out += 2;
  }
  Put16(out, static_cast<std::uint16_t>(itemsEnd));
  Put16(b.data(), static_cast<std::uint16_t>(map));
  if (fillLevels_.size() <= index) fillLevels_.resize(index + 1, 0);
  fillLevels_[index] = HeapFillLevel(kMaxBlockData - b.size());
}

void HeapWriter::sealCurrent() {
  seal(*current_, currentIndex_);
  if (currentIndex_ == 0) {
    first_ = std::move(current_);
  } else if (IsBitmapBlock(currentIndex_)) {
    bitmaps_[currentIndex_] = std::move(current_);
  } else {
    emit(currentIndex_, *current_);
    GiveBack(std::move(current_));
  }
  // A bitmap block goes out once the last of the 128 blocks it describes is sealed.
  if (currentIndex_ >= 8 && (currentIndex_ - 8) % 128 == 127) {
    const std::size_t bitmapIndex = currentIndex_ - 127;
    auto it = bitmaps_.find(bitmapIndex);
    for (std::size_t i = 0; i < 128; ++i) {
      const std::uint8_t level = fillLevels_[bitmapIndex + i];
      it->second->bytes[2 + i / 2] |= static_cast<std::uint8_t>(level << (4 * (i % 2)));
    }
    emit(bitmapIndex, *it->second);
    GiveBack(std::move(it->second));
    bitmaps_.erase(it);
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
  Bytes& b = first_->bytes;
  b[2] = kHeapSignature;
  b[3] = client_;
  Put32(b.data() + 4, root_);
  for (std::size_t i = 0; i < 8 && i < blockCount; ++i) {
    b[8 + i / 2] |= static_cast<std::uint8_t>(fillLevels_[i] << (4 * (i % 2)));
  }
  emit(0, *first_);
  for (auto& [index, block] : bitmaps_) {
    for (std::size_t i = 0; i < 128 && index + i < blockCount; ++i) {
      const std::uint8_t level = fillLevels_[index + i];
      block->bytes[2 + i / 2] |= static_cast<std::uint8_t>(level << (4 * (i % 2)));
    }
    emit(index, *block);
  }
  if (bids_.size() == 1) return bids_.front();
  // The blocks were written out of order; the tree lists them by block index.
  DataTreeWriter tree(db_);
  for (std::size_t i = 0; i < bids_.size(); ++i) tree.addBlock(bids_[i], sizes_[i]);
  return tree.finish();
}

}  // namespace qc::mapi::pst
