#include "mapi/import/base64_decoder.h"

#include <array>
#include <string_view>

namespace qc::mapi::import {

namespace {

constexpr std::uint8_t kNotBase64 = 0xFF;

constexpr std::array<std::uint8_t, 256> kRank = [] {
  constexpr std::string_view alphabet =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::array<std::uint8_t, 256> rank{};
  rank.fill(kNotBase64);
  for (std::size_t i = 0; i < alphabet.size(); ++i) {
    rank[static_cast<unsigned char>(alphabet[i])] = static_cast<std::uint8_t>(i);
  }
  return rank;
}();

}  // namespace

std::size_t Base64Decoder::step(const char* in, std::size_t size, std::uint8_t* out) {
  if (pending_ < 0) return 0;
  const auto* next = reinterpret_cast<const unsigned char*>(in);
  const auto* const end = next + size;
  std::uint8_t* const start = out;
  int pending = pending_;
  std::uint32_t bits = bits_;
  while (next < end) {
    if (pending == 0) {
      for (; end - next >= 4; next += 4, out += 3) {
        const std::uint32_t a = kRank[next[0]], b = kRank[next[1]], c = kRank[next[2]],
                            d = kRank[next[3]];
        // Ranks of the alphabet are below 64; kNotBase64 sets the high bit.
        if (((a | b | c | d) & 0x80) != 0) break;
        const std::uint32_t quartet = a << 18 | b << 12 | c << 6 | d;
        out[0] = static_cast<std::uint8_t>(quartet >> 16);
        out[1] = static_cast<std::uint8_t>(quartet >> 8);
        out[2] = static_cast<std::uint8_t>(quartet);
      }
      if (next == end) break;
    }
    const unsigned char c = *next++;
    if (const std::uint8_t rank = kRank[c]; rank != kNotBase64) {
      bits = bits << 6 | rank;
      if (++pending == 4) {
        out[0] = static_cast<std::uint8_t>(bits >> 16);
        out[1] = static_cast<std::uint8_t>(bits >> 8);
        out[2] = static_cast<std::uint8_t>(bits);
        out += 3;
        bits = 0;
        pending = 0;
      }
    } else if (c == '=') {
      // At most two '=' pad a quartet, so one cut short after one character is the encoder's
      // fault and gives nothing.
      if (pending > 1) {
        bits <<= 6 * (4 - pending);
        *out++ = static_cast<std::uint8_t>(bits >> 16);
        if (pending > 2) *out++ = static_cast<std::uint8_t>(bits >> 8);
      }
      pending = -1;
      break;
    }
  }
  pending_ = pending;
  bits_ = bits;
  return static_cast<std::size_t>(out - start);
}

}  // namespace qc::mapi::import
