#include "mapi/text.h"

#include <bit>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace qc::mapi {

namespace {
constexpr char32_t kReplacement = 0xFFFD;
}  // namespace

std::u16string Utf16FromUtf8(std::string_view utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size();) {
    const char32_t cp = NextUtf8(utf8, i).value_or(kReplacement);
    if (cp >= 0x10000) {
      const char32_t v = cp - 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (v >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (v & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
  }
  return out;
}

namespace {

// Eight ASCII bytes as sixteen bytes of UTF-16LE, each byte followed by a zero; for a
// little-endian processor, which holds the bytes of a word lowest first.
void WidenAscii8(const char* in, std::uint8_t* out) {
  std::uint64_t bytes;
  std::memcpy(&bytes, in, 8);
  const auto spread = [](std::uint64_t four) {
    return (four & 0xFF) | ((four & 0xFF00) << 8) | ((four & 0xFF0000) << 16) |
           ((four & 0xFF000000) << 24);
  };
  const std::uint64_t low = spread(bytes & 0xFFFFFFFF);
  const std::uint64_t high = spread(bytes >> 32);
  std::memcpy(out, &low, 8);
  std::memcpy(out + 8, &high, 8);
}

}  // namespace

void AppendUtf16Le(Bytes& out, std::string_view utf8) {
  // One byte of UTF-8 never gives more than two of UTF-16, so this much room is enough.
  const std::size_t start = out.size();
  out.resize(start + utf8.size() * 2);
  std::uint8_t* next = out.data() + start;
  const auto unit = [&next](char32_t u) {
    next[0] = static_cast<std::uint8_t>(u & 0xFF);
    next[1] = static_cast<std::uint8_t>(u >> 8);
    next += 2;
  };
  for (std::size_t i = 0; i < utf8.size();) {
#if defined(__SSE2__)
    // ASCII runs, most of any text, sixteen bytes a step: each step tells whether its bytes are
    // ASCII and widens them in one pass.
    for (const __m128i zero = _mm_setzero_si128(); i + 16 <= utf8.size(); i += 16, next += 32) {
      const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(utf8.data() + i));
      if (_mm_movemask_epi8(bytes) != 0) break;
      _mm_storeu_si128(reinterpret_cast<__m128i*>(next), _mm_unpacklo_epi8(bytes, zero));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(next + 16), _mm_unpackhi_epi8(bytes, zero));
    }
#endif
    // The rest of an ASCII run, eight bytes a step where the processor allows.
    const std::size_t ascii = AsciiPrefix(utf8.substr(i));
    const char* in = utf8.data() + i;
    std::size_t k = 0;
    if constexpr (std::endian::native == std::endian::little) {
      for (; k + 8 <= ascii; k += 8) WidenAscii8(in + k, next + 2 * k);
    }
    for (; k < ascii; ++k) {
      next[2 * k] = static_cast<std::uint8_t>(in[k]);
      next[2 * k + 1] = 0;
    }
    next += 2 * ascii;
    i += ascii;
    if (i == utf8.size()) break;
    const char32_t cp = NextUtf8(utf8, i).value_or(kReplacement);
    if (cp >= 0x10000) {
      unit(0xD800 + ((cp - 0x10000) >> 10));
      unit(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      unit(cp);
    }
  }
  out.resize(static_cast<std::size_t>(next - out.data()));
}

Bytes Utf16LeBytes(std::string_view utf8) {
  Bytes out;
  AppendUtf16Le(out, utf8);
  return out;
}

std::string Utf8FromUtf16(std::u16string_view utf16) {
  std::string out;
  out.reserve(utf16.size());
  for (std::size_t i = 0; i < utf16.size(); ++i) {
    char32_t cp = utf16[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
        utf16[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = kReplacement;
    }
    AppendUtf8(out, cp);
  }
  return out;
}

}  // namespace qc::mapi
