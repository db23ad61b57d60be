#include "mapi/text.h"

#include <array>
#include <bit>
#include <cstring>

namespace qc::mapi {

namespace {
constexpr char32_t kReplacement = 0xFFFD;

// What windows-1252 puts at 0x80-0x9F; the five bytes it leaves undefined keep their C1 value.
constexpr std::array<std::uint16_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
}  // namespace

void AppendWindows1252(std::string& out, unsigned char byte) {
  AppendUtf8(out, byte >= 0x80 && byte < 0xA0 ? kCp1252High[byte - 0x80] : byte);
}

std::string Windows1252ToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 8);
  for (char c : bytes) AppendWindows1252(out, static_cast<unsigned char>(c));
  return out;
}

std::optional<char32_t> NextUtf8(std::string_view text, std::size_t& i) {
  const auto lead = static_cast<unsigned char>(text[i]);
  if (lead < 0x80) {
    ++i;
    return lead;
  }
  std::size_t extra = 0;
  char32_t cp = 0;
  char32_t least = 0;
  if ((lead & 0xE0) == 0xC0) {
    extra = 1, cp = lead & 0x1F, least = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    extra = 2, cp = lead & 0x0F, least = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    extra = 3, cp = lead & 0x07, least = 0x10000;
  } else {
    ++i;
    return std::nullopt;
  }
  if (i + extra >= text.size()) {
    ++i;
    return std::nullopt;
  }
  for (std::size_t k = 1; k <= extra; ++k) {
    const auto next = static_cast<unsigned char>(text[i + k]);
    if ((next & 0xC0) != 0x80) {
      ++i;
      return std::nullopt;
    }
    cp = (cp << 6) | (next & 0x3F);
  }
  if (cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    ++i;
    return std::nullopt;
  }
  i += extra + 1;
  return cp;
}

std::size_t AsciiPrefix(std::string_view text) {
  // Eight bytes at a time: mail text is mostly ASCII, and every string of a message is checked
  // or converted at least once on its way to a file.
  std::size_t i = 0;
  for (; i + 8 <= text.size(); i += 8) {
    std::uint64_t word;
    std::memcpy(&word, text.data() + i, 8);
    if ((word & 0x8080808080808080ull) != 0) break;
  }
  while (i < text.size() && static_cast<unsigned char>(text[i]) < 0x80) ++i;
  return i;
}

bool IsValidUtf8(std::string_view text) {
  for (std::size_t i = AsciiPrefix(text); i < text.size();) {
    if (!NextUtf8(text, i)) return false;
    if (i < text.size() && static_cast<unsigned char>(text[i]) < 0x80) {
      i += AsciiPrefix(text.substr(i));
    }
  }
  return true;
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

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
    // ASCII runs, most of any text, eight bytes a step where the processor allows.
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
