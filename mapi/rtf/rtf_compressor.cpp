// The compressing side of compressed RTF: greedy longest match, found through hash chains.
//
// The dictionary is the last 4096 bytes of one stream: the initial dictionary string followed by
// the RTF. So a match is an ordinary LZ77 match at a distance of 1 to 4095 in that stream (4096
// would name the write position itself, which is the end marker), and a match may run on past
// the write position, since the reader copies byte by byte.
#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <memory>
#include <string>

#include "mapi/little_endian.h"
#include "mapi/rtf/compressed_rtf.h"
#include "mapi/rtf/dictionary.h"
#include "util/error.h"
#include "util/per_thread.h"

namespace qc::mapi::rtf {

namespace {

constexpr std::size_t kWindow = kDictionarySize - 1;
// How many earlier positions with the same hash of three bytes are tried. Past this depth longer
// chains cost time and gain almost nothing: a match is at most 17 bytes long.
constexpr int kMaxChain = 32;
// How many are tried one byte further on, to see whether a two-byte match would hide a longer one.
constexpr int kLookAheadChain = 4;
// Tables small enough to stay in the processor's nearest caches.
constexpr int kHashBits = 13;
constexpr int kPairHashBits = 12;
// Bytes readable past the end of the stream, so that matches are compared eight bytes at a time
// and the four bytes at any position are read as one number.
constexpr std::size_t kPadding = 8;
// Scratch buffers above this size are given back after use rather than kept for the next body.
constexpr std::size_t kKeptScratch = std::size_t{1} << 20;

std::uint64_t Load64(const char* p) {
  std::uint64_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

// How many bytes from `a` and `b` agree, up to `limit` (at most kMaxMatch).
std::size_t CommonLength(const char* a, const char* b, std::size_t limit) {
  if constexpr (std::endian::native == std::endian::little) {
    for (std::size_t n = 0; n < limit; n += 8) {
      if (const std::uint64_t diff = Load64(a + n) ^ Load64(b + n); diff != 0) {
        return std::min(limit, n + static_cast<std::size_t>(std::countr_zero(diff)) / 8);
      }
    }
    return limit;
  } else {
    std::size_t n = 0;
    while (n < limit && a[n] == b[n]) ++n;
    return n;
  }
}

// Matches of three bytes and more come from chains of earlier positions with the same hash of
// their first three bytes; a two-byte match only from the latest position with the same hash of
// two. Chains keyed by two bytes grow long on RTF ("\p", "ar") and spend most of the time on
// candidates that end after two bytes.
//
// The tables are kept per thread and reused: most bodies are a few kilobytes, and clearing
// and allocating the tables for each of them cost more than compressing it. Entries hold
// positions offset by a base that moves past each stream, so older streams' entries are told
// apart without clearing.
class MatchFinder {
 public:
  // The finder of this thread, ready for `stream`, after which kPadding bytes must be readable.
  static MatchFinder& For(std::string_view stream) {
    struct Kept {
      std::unique_ptr<MatchFinder> finder{new MatchFinder()};
    };
    MatchFinder& finder = *PerThread<Kept>().finder;
    finder.start(stream);
    return finder;
  }

  // The bytes at `p` as one number, first byte highest, which both hashes are taken from.
  std::uint32_t keyAt(std::size_t p) const {
    std::uint32_t v;
    std::memcpy(&v, s_.data() + p, sizeof v);
    if constexpr (std::endian::native == std::endian::little) {
      v = ((v & 0xFFu) << 24) | ((v & 0xFF00u) << 8) | ((v >> 8) & 0xFF00u) | (v >> 24);
    }
    return v;
  }

  void insert(std::size_t p) { insert(p, keyAt(p)); }
  void insert(std::size_t p, std::uint32_t key) {
    const std::uint32_t at = base_ + static_cast<std::uint32_t>(p);
    if (p + 2 < s_.size()) {
      std::uint32_t& first = chains_[hash3(key)];
      prev_[p & kDictionaryMask] = first;
      first = at;
    }
    if (p + 1 < s_.size()) pairs_[hash2(key)] = at;
  }

  struct Match {
    std::size_t length = 0;
    std::size_t at = 0;
  };

  // The longest match for the bytes at `pos` among the candidates tried (`chain` of them with
  // three bytes and more); between equally long ones, the nearest.
  [[gnu::always_inline]] Match longest(std::size_t pos, std::uint32_t key,
                                       int chain = kMaxChain) const {
    Match best;
    if (pos + 1 >= s_.size()) return best;
    const std::size_t limit = std::min(kMaxMatch, s_.size() - pos);
    const char* here = s_.data() + pos;
    std::uint32_t candidate = pos + 2 < s_.size() ? chains_[hash3(key)] : 0;
    for (int tries = chain; candidate >= base_ && tries > 0; --tries) {
      const std::size_t p = candidate - base_;
      if (pos - p > kWindow) break;
      const char* there = s_.data() + p;
      // Only a candidate that goes on past the best so far can beat it.
      if (there[best.length] == here[best.length]) {
        const std::size_t n = CommonLength(there, here, limit);
        if (n > best.length) {
          best = {n, p};
          if (n == limit) break;
        }
      }
      candidate = prev_[p & kDictionaryMask];
    }
    if (best.length < kMinMatch) {
      const std::uint32_t pair = pairs_[hash2(key)];
      if (pair >= base_ && pos - (pair - base_) <= kWindow) {
        const std::size_t p = pair - base_;
        const std::size_t n = CommonLength(s_.data() + p, here, limit);
        if (n >= kMinMatch) best = {n, p};
      }
    }
    return best;
  }

 private:
  void start(std::string_view stream) {
    // Past the previous stream, with room for this one; 0 is never a position.
    const std::uint64_t next = std::uint64_t{base_} + previousSize_ + 1;
    if (next + stream.size() >= 0xFFFFFFFFu) {
      chains_.fill(0);
      pairs_.fill(0);
      base_ = 1;
    } else {
      base_ = static_cast<std::uint32_t>(next);
    }
    previousSize_ = stream.size();
    s_ = stream;
  }

  static std::size_t hash2(std::uint32_t key) {
    return ((key >> 16) * 2654435761u) >> (32 - kPairHashBits);
  }

  static std::size_t hash3(std::uint32_t key) {
    return ((key >> 8) * 2654435761u) >> (32 - kHashBits);
  }

  std::string_view s_;
  std::uint32_t base_ = 0;
  std::size_t previousSize_ = 0;
  std::array<std::uint32_t, std::size_t{1} << kHashBits> chains_{};
  std::array<std::uint32_t, kDictionarySize> prev_{};
  std::array<std::uint32_t, std::size_t{1} << kPairHashBits> pairs_{};
};

// Tokens go out in runs of eight behind a control byte whose bits, lowest first, mark the
// references. `out` has room for the worst case: every token a literal.
class TokenWriter {
 public:
  explicit TokenWriter(std::uint8_t* out) : start_(out), next_(out) {}

  void literal(char c) {
    flag(0);
    *next_++ = static_cast<std::uint8_t>(c);
  }

  // A 12-bit dictionary offset and a 4-bit length less 2, big-endian.
  void reference(std::size_t offset, std::size_t length) {
    flag(1);
    const auto word = static_cast<unsigned>(((offset & kDictionaryMask) << 4) | (length - 2));
    next_[0] = static_cast<std::uint8_t>(word >> 8);
    next_[1] = static_cast<std::uint8_t>(word);
    next_ += 2;
  }

  std::size_t size() const { return static_cast<std::size_t>(next_ - start_); }

 private:
  void flag(unsigned isReference) {
    if (used_ == 8) {
      control_ = next_++;
      *control_ = 0;
      used_ = 0;
    }
    *control_ |= static_cast<std::uint8_t>(isReference << used_);
    ++used_;
  }

  std::uint8_t* start_;
  std::uint8_t* next_;
  std::uint8_t* control_ = nullptr;
  unsigned used_ = 8;
};

// A buffer of this thread, reused from body to body.
template <class T>
class Scratch {
 public:
  T* get(std::size_t size) {
    if (size > capacity_) {
      data_ = std::make_unique_for_overwrite<T[]>(size);
      capacity_ = size;
    }
    return data_.get();
  }
  // One huge body must not hold its memory for the rest of the run.
  void trim() {
    if (capacity_ > kKeptScratch) {
      data_.reset();
      capacity_ = 0;
    }
  }

 private:
  std::unique_ptr<T[]> data_;
  std::size_t capacity_ = 0;
};

}  // namespace

Bytes CompressRtf(std::string_view rtf) {
  if (rtf.size() > 0xFFFFFFFFu - 12 - kInitialDictionary.size()) {
    throw Error("RTF too large to compress");
  }
  struct CompressionScratch {
    Scratch<char> stream;
    Scratch<std::uint8_t> out;
  };
  auto& scratch = PerThread<CompressionScratch>();
  Scratch<char>& streamScratch = scratch.stream;
  Scratch<std::uint8_t>& outScratch = scratch.out;
  const std::size_t size = kInitialDictionary.size() + rtf.size();
  char* buffer = streamScratch.get(size + kPadding);
  std::memcpy(buffer, kInitialDictionary.data(), kInitialDictionary.size());
  std::memcpy(buffer + kInitialDictionary.size(), rtf.data(), rtf.size());
  std::memset(buffer + size, 0, kPadding);
  const std::string_view stream(buffer, size);

  MatchFinder& finder = MatchFinder::For(stream);
  for (std::size_t p = 0; p < kInitialDictionary.size(); ++p) finder.insert(p);

  // Every token a literal, a control byte for each eight, and the end marker.
  std::uint8_t* out = outScratch.get(kHeaderSize + rtf.size() + rtf.size() / 8 + 4);
  TokenWriter tokens(out + kHeaderSize);
  std::size_t pos = kInitialDictionary.size();
  std::uint32_t key = finder.keyAt(pos);
  while (pos < size) {
    auto match = finder.longest(pos, key);
    // A two-byte reference saves one bit against two literals; taken greedily it would often
    // hide a longer match starting one byte later, and make the result larger.
    const std::uint32_t nextKey = finder.keyAt(pos + 1);
    if (match.length == kMinMatch &&
        finder.longest(pos + 1, nextKey, kLookAheadChain).length > kMinMatch) {
      match.length = 0;
    }
    if (match.length >= kMinMatch) {
      tokens.reference(match.at, match.length);
      finder.insert(pos, key);
      for (std::size_t k = 1; k < match.length; ++k) finder.insert(pos + k);
      pos += match.length;
      key = finder.keyAt(pos);
    } else {
      tokens.literal(stream[pos]);
      finder.insert(pos++, key);
      key = nextKey;
    }
  }
  // A reference to the write position ends the content; its length does not matter.
  tokens.reference(pos, kMinMatch);

  const std::size_t contentSize = tokens.size();
  Put32(out, static_cast<std::uint32_t>(contentSize + 12));
  Put32(out + 4, static_cast<std::uint32_t>(rtf.size()));
  Put32(out + 8, kCompressedMagic);
  Put32(out + 12, RtfCrc(std::span<const std::uint8_t>(out + kHeaderSize, contentSize)));
  Bytes result(out, out + kHeaderSize + contentSize);
  streamScratch.trim();
  outScratch.trim();
  return result;
}

}  // namespace qc::mapi::rtf
