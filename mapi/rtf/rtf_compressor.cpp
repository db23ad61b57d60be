// The compressing side of compressed RTF: greedy longest match, found through hash chains.
//
// The dictionary is the last 4096 bytes of one stream: the initial dictionary string followed by
// the RTF. So a match is an ordinary LZ77 match at a distance of 1 to 4095 in that stream (4096
// would name the write position itself, which is the end marker), and a match may run on past
// the write position, since the reader copies byte by byte.
#include <algorithm>
#include <array>
#include <memory>
#include <string>

#include "mapi/little_endian.h"
#include "mapi/rtf/compressed_rtf.h"
#include "mapi/rtf/dictionary.h"
#include "util/error.h"

namespace qc::mapi::rtf {

namespace {

constexpr std::size_t kWindow = kDictionarySize - 1;
// How many earlier positions with the same first two bytes are tried. RTF repeats "\p", "\f"
// and "ar" endlessly; past this depth longer chains cost time and gain almost nothing.
constexpr int kMaxChain = 96;

// Two-byte keys index the chains: a reference pays for itself from two bytes on (17 bits
// against 18 for two literals).
class MatchFinder {
 public:
  explicit MatchFinder(std::string_view stream) : s_(stream) { head_.fill(-1); }

  void insert(std::size_t p) {
    if (p + 1 >= s_.size()) return;
    int& first = head_[key(p)];
    prev_[p & kDictionaryMask] = first;
    first = static_cast<int>(p);
  }

  struct Match {
    std::size_t length = 0;
    std::size_t at = 0;
  };

  // The longest match for the bytes at `pos`; between equally long ones, the oldest, as the
  // examples of the format's documentation choose.
  Match longest(std::size_t pos) const {
    Match best;
    if (pos + 1 >= s_.size()) return best;
    const std::size_t limit = std::min(kMaxMatch, s_.size() - pos);
    const char* here = s_.data() + pos;
    int candidate = head_[key(pos)];
    for (int tries = kMaxChain; candidate >= 0 && tries > 0; --tries) {
      const auto p = static_cast<std::size_t>(candidate);
      if (pos - p > kWindow) break;
      const char* there = s_.data() + p;
      if (best.length < kMinMatch || there[best.length - 1] == here[best.length - 1]) {
        std::size_t n = kMinMatch;  // the key already matched two bytes
        while (n < limit && there[n] == here[n]) ++n;
        if (n >= best.length) {
          best = {n, p};
          if (n == limit) break;
        }
      }
      candidate = prev_[p & kDictionaryMask];
    }
    return best;
  }

 private:
  std::size_t key(std::size_t p) const {
    return (std::size_t{static_cast<unsigned char>(s_[p])} << 8) |
           static_cast<unsigned char>(s_[p + 1]);
  }

  std::string_view s_;
  std::array<int, 65536> head_;
  std::array<int, kDictionarySize> prev_{};
};

// Tokens go out in runs of eight behind a control byte whose bits, lowest first, mark the
// references.
class TokenWriter {
 public:
  explicit TokenWriter(Bytes& out) : out_(out) {}

  void literal(char c) {
    flag(false);
    out_.push_back(static_cast<std::uint8_t>(c));
  }

  // A 12-bit dictionary offset and a 4-bit length less 2, big-endian.
  void reference(std::size_t offset, std::size_t length) {
    flag(true);
    const auto word = static_cast<unsigned>(((offset & kDictionaryMask) << 4) | (length - 2));
    out_.push_back(static_cast<std::uint8_t>(word >> 8));
    out_.push_back(static_cast<std::uint8_t>(word));
  }

 private:
  void flag(bool isReference) {
    if (used_ == 8) {
      control_ = out_.size();
      out_.push_back(0);
      used_ = 0;
    }
    if (isReference) out_[control_] |= static_cast<std::uint8_t>(1u << used_);
    ++used_;
  }

  Bytes& out_;
  std::size_t control_ = 0;
  int used_ = 8;
};

}  // namespace

Bytes CompressRtf(std::string_view rtf) {
  if (rtf.size() > 0xFFFFFFFFu - 12) throw Error("RTF too large to compress");
  std::string stream;
  stream.reserve(kInitialDictionary.size() + rtf.size());
  stream.append(kInitialDictionary).append(rtf);

  auto finder = std::make_unique<MatchFinder>(stream);
  for (std::size_t p = 0; p < kInitialDictionary.size(); ++p) finder->insert(p);

  Bytes out(kHeaderSize);
  out.reserve(kHeaderSize + rtf.size() / 2 + 64);
  TokenWriter tokens(out);
  std::size_t pos = kInitialDictionary.size();
  while (pos < stream.size()) {
    const auto match = finder->longest(pos);
    if (match.length >= kMinMatch) {
      tokens.reference(match.at, match.length);
      for (std::size_t k = 0; k < match.length; ++k) finder->insert(pos + k);
      pos += match.length;
    } else {
      tokens.literal(stream[pos]);
      finder->insert(pos++);
    }
  }
  // A reference to the write position ends the content; its length does not matter.
  tokens.reference(pos, kMinMatch);

  Put32(out.data(), static_cast<std::uint32_t>(out.size() - 4));
  Put32(out.data() + 4, static_cast<std::uint32_t>(rtf.size()));
  Put32(out.data() + 8, kCompressedMagic);
  Put32(out.data() + 12, RtfCrc(std::span(out).subspan(kHeaderSize)));
  return out;
}

}  // namespace qc::mapi::rtf
