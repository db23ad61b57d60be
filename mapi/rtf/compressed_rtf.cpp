#include "mapi/rtf/compressed_rtf.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "mapi/crc32.h"
#include "mapi/little_endian.h"
#include "mapi/rtf/dictionary.h"
#include "util/error.h"

namespace qc::mapi::rtf {

namespace {

[[noreturn]] void Damaged(const std::string& why) {
  throw Error("compressed RTF: " + why);
}

// The LZ content up to its end marker, into a string of `rawSize` bytes.
std::string Expand(std::span<const std::uint8_t> content, std::uint32_t rawSize) {
  std::array<char, kDictionarySize> dictionary{};
  std::copy(kInitialDictionary.begin(), kInitialDictionary.end(), dictionary.begin());
  std::size_t write = kInitialDictionary.size();
  std::string out;
  // Every input byte yields at most 8.5 output bytes: a header that claims more is lying, and
  // must not make us reserve gigabytes.
  out.reserve(std::min<std::size_t>(rawSize, content.size() * 9));
  std::size_t at = 0;
  while (at < content.size()) {
    const std::uint8_t control = content[at++];
    for (int bit = 0; bit < 8; ++bit) {
      if (at >= content.size()) Damaged("the content ends without its end marker");
      if ((control & (1u << bit)) == 0) {
        const char c = static_cast<char>(content[at++]);
        out.push_back(c);
        dictionary[write] = c;
        write = (write + 1) & kDictionaryMask;
        continue;
      }
      if (at + 1 >= content.size()) Damaged("a reference is cut short");
      const unsigned reference = (unsigned{content[at]} << 8) | content[at + 1];
      at += 2;
      const std::size_t offset = reference >> 4;
      const std::size_t length = (reference & 0xF) + kMinMatch;
      if (offset == write) {
        if (out.size() != rawSize) {
          Damaged("RAWSIZE is " + std::to_string(rawSize) + " but the content expands to " +
                  std::to_string(out.size()) + " bytes");
        }
        return out;
      }
      for (std::size_t k = 0; k < length; ++k) {
        const char c = dictionary[(offset + k) & kDictionaryMask];
        out.push_back(c);
        dictionary[write] = c;
        write = (write + 1) & kDictionaryMask;
      }
    }
  }
  Damaged("the content ends without its end marker");
}

}  // namespace

std::uint32_t RtfCrc(std::span<const std::uint8_t> bytes, std::uint32_t crc) {
  return Crc32(bytes.data(), bytes.size(), crc);
}

Bytes WrapUncompressedRtf(std::string_view rtf) {
  if (rtf.size() > 0xFFFFFFFFu - 12) throw Error("RTF too large to compress");
  Bytes out(kHeaderSize + rtf.size());
  Put32(out.data(), static_cast<std::uint32_t>(rtf.size() + 12));
  Put32(out.data() + 4, static_cast<std::uint32_t>(rtf.size()));
  Put32(out.data() + 8, kUncompressedMagic);
  Put32(out.data() + 12, 0);
  std::copy(rtf.begin(), rtf.end(), out.begin() + kHeaderSize);
  return out;
}

std::string DecompressRtf(std::span<const std::uint8_t> compressed) {
  if (compressed.size() < kHeaderSize) {
    Damaged(std::to_string(compressed.size()) + " bytes, shorter than the header");
  }
  const std::uint32_t compSize = Get32(compressed.data());
  const std::uint32_t rawSize = Get32(compressed.data() + 4);
  const std::uint32_t magic = Get32(compressed.data() + 8);
  const std::uint32_t crc = Get32(compressed.data() + 12);
  if (compSize < 12 || std::uint64_t{compSize} + 4 > compressed.size()) {
    Damaged("COMPSIZE " + std::to_string(compSize) + " does not fit the " +
            std::to_string(compressed.size()) + " bytes there are");
  }
  const auto content = compressed.subspan(kHeaderSize, compSize - 12);
  if (magic == kUncompressedMagic) {
    if (rawSize > content.size()) Damaged("RAWSIZE is larger than the uncompressed content");
    return std::string(content.begin(), content.begin() + rawSize);
  }
  if (magic != kCompressedMagic) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(magic));
    Damaged(std::string("unknown COMPTYPE ") + text);
  }
  if (RtfCrc(content) != crc) Damaged("the CRC does not match the content");
  return Expand(content, rawSize);
}

}  // namespace qc::mapi::rtf
