// Stream sources and sinks for the Compound File tests: generated content that is never held
// whole, sinks that fail on purpose, and a random tree of storages and streams.
#pragma once

#include <algorithm>
#include <cstdint>
#include <random>
#include <set>
#include <string>

#include "mapi/cfb/compound_file.h"
#include "util/error.h"

namespace qc::mapi::cfb::test {

// The byte at `offset` of generated stream `seed`.
inline std::uint8_t PatternByte(std::uint64_t seed, std::uint64_t offset) {
  std::uint64_t x = (offset + 1) * 0x9E3779B97F4A7C15ull ^ (seed * 0xD1B54A32D192ED03ull);
  x ^= x >> 29;
  return static_cast<std::uint8_t>(x ^ (x >> 8));
}

// Generates bytes on the fly; remembers the largest piece asked for.
class PatternSource final : public ByteSource {
 public:
  PatternSource(std::uint64_t size, std::uint64_t seed) : size_(size), seed_(seed) {}
  std::uint64_t size() const override { return size_; }
  std::size_t read(std::uint64_t offset, std::uint8_t* out, std::size_t n) const override {
    largestRead_ = std::max(largestRead_, n);
    if (offset >= size_) return 0;
    const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(n, size_ - offset));
    for (std::size_t i = 0; i < count; ++i) out[i] = PatternByte(seed_, offset + i);
    return count;
  }
  std::size_t largestRead() const { return largestRead_; }

 private:
  std::uint64_t size_;
  std::uint64_t seed_;
  mutable std::size_t largestRead_ = 0;
};

// Announces `size` bytes but delivers only the first `delivered`, then ends or throws.
class ShortSource final : public ByteSource {
 public:
  ShortSource(std::uint64_t size, std::uint64_t delivered, bool throws)
      : size_(size), delivered_(delivered), throws_(throws) {}
  std::uint64_t size() const override { return size_; }
  std::size_t read(std::uint64_t offset, std::uint8_t* out, std::size_t n) const override {
    if (offset >= delivered_) {
      if (throws_) throw Error("cannot read the attachment: Input/output error");
      return 0;
    }
    const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(n, delivered_ - offset));
    std::fill_n(out, count, std::uint8_t{0x5A});
    return count;
  }

 private:
  std::uint64_t size_, delivered_;
  bool throws_;
};

// A device that fails after N bytes, as a full disk would.
class FailAfterSink final : public Sink {
 public:
  explicit FailAfterSink(std::uint64_t limit) : limit_(limit) {}
  void write(const std::uint8_t*, std::size_t size) override {
    if (written_ + size > limit_) throw Error("cannot write 'out.msg': No space left on device");
    written_ += size;
  }

 private:
  std::uint64_t limit_;
  std::uint64_t written_ = 0;
};

struct ExpectedStream {
  std::string path;
  Bytes data;
};

// Fills `storage` with random children whose sizes sit on the edges that matter: empty, mini
// sector and sector boundaries, and either side of the 4096-byte mini stream cutoff.
inline void AddRandomChildren(Storage& storage, const std::string& path, std::mt19937& rng,
                              int depth, std::vector<ExpectedStream>& expected) {
  static const std::uint64_t kSizes[] = {0,    1,    63,   64,   65,   511,  512,  513,
                                         1000, 4095, 4096, 4097, 5119, 5120, 5121, 9000};
  static const char* const kLetters[] = {"a", "b", "c", "X", "Y", "Z", "_",
                                         "0", "9", ".", "#", "-", "é", "Ж"};
  const int children = std::uniform_int_distribution<int>(0, depth == 0 ? 40 : 12)(rng);
  std::set<std::string> taken;  // ASCII upper-casing is enough: é and Ж have no other case here
  for (int i = 0; i < children; ++i) {
    std::string name;
    const int length = std::uniform_int_distribution<int>(1, 24)(rng);
    for (int k = 0; k < length; ++k) {
      name += kLetters[std::uniform_int_distribution<std::size_t>(0, 13)(rng)];
    }
    std::string upper = name;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (!taken.insert(upper).second) continue;
    const std::string childPath = (path == "/" ? path : path + "/") + name;
    if (depth < 3 && std::uniform_int_distribution<int>(0, 4)(rng) == 0) {
      AddRandomChildren(storage.addStorage(name), childPath, rng, depth + 1, expected);
      continue;
    }
    const std::uint64_t size = kSizes[std::uniform_int_distribution<std::size_t>(0, 15)(rng)];
    Bytes data(size);
    for (auto& b : data) b = static_cast<std::uint8_t>(rng());
    expected.push_back({childPath, data});
    storage.addStream(name, std::move(data));
  }
}

}  // namespace qc::mapi::cfb::test
