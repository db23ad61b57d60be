#include "scanner/separator_scan.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace qc {

namespace {
constexpr std::int64_t kTickBytes = std::int64_t{1} << 20;
}

ScanPattern::ScanPattern(std::string prepared, bool caseSensitive) : text_(std::move(prepared)) {
  for (std::size_t b = 0; b < 256; ++b) {
    canon_[b] = caseSensitive ? static_cast<std::uint8_t>(b) : kUpperCp1252[b];
  }
  if (text_.empty()) return;
  for (std::size_t b = 0; b < 256; ++b) {
    if (canon_[b] != at(0)) continue;
    if (starterCount_ < static_cast<int>(starters_.size())) {
      starters_[static_cast<std::size_t>(starterCount_)] = static_cast<std::uint8_t>(b);
    }
    ++starterCount_;
  }
}

const std::uint8_t* ScanPattern::findStart(const std::uint8_t* begin,
                                           const std::uint8_t* end) const {
  if (starterCount_ == 0 || begin >= end) return end;
  if (starterCount_ == 1) {
    const void* hit = std::memchr(begin, starters_[0], static_cast<std::size_t>(end - begin));
    return hit ? static_cast<const std::uint8_t*>(hit) : end;
  }
  const std::uint8_t* p = begin;
#if defined(__SSE2__)
  if (starterCount_ == 2) {
    const __m128i a = _mm_set1_epi8(static_cast<char>(starters_[0]));
    const __m128i b = _mm_set1_epi8(static_cast<char>(starters_[1]));
    for (; end - p >= 16; p += 16) {
      const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
      const __m128i hits = _mm_or_si128(_mm_cmpeq_epi8(block, a), _mm_cmpeq_epi8(block, b));
      const int mask = _mm_movemask_epi8(hits);
      if (mask != 0) return p + __builtin_ctz(static_cast<unsigned>(mask));
    }
  }
#endif
  for (; p < end; ++p) {
    if (canon_[*p] == at(0)) return p;
  }
  return end;
}

ScanResult ScanForPattern(ByteWindow& window, const ScanPattern& pattern, std::int64_t curPos,
                          std::int64_t fileSize, const std::function<void()>& tick) {
  const auto length = static_cast<std::int64_t>(pattern.size());
  // An empty search text would match everywhere without ever moving on: nothing to find.
  if (length == 0) return {false, curPos};
  // Attempts begin only while curPos + length < fileSize.
  const std::int64_t limit = fileSize - length;
  std::int64_t nextTick = curPos + kTickBytes;
  while (curPos < limit) {
    if (curPos >= nextTick) {
      tick();
      nextTick = curPos + kTickBytes;
    }
    const auto bytes = window.at(curPos, 1);
    if (bytes.empty()) return {false, curPos};  // the file is shorter than it was
    const auto n = static_cast<std::size_t>(
        std::min<std::int64_t>(static_cast<std::int64_t>(bytes.size()), limit - curPos));
    const std::uint8_t* base = bytes.data();
    const std::uint8_t* hit = pattern.findStart(base, base + n);
    if (hit == base + n) {
      curPos += static_cast<std::int64_t>(n);
      continue;
    }
    const std::int64_t start = curPos + (hit - base);
    const auto match = window.at(start, pattern.size());
    if (match.size() < pattern.size()) return {false, start};  // cut short by a shrinking file
    std::size_t k = 1;
    while (k < pattern.size() && pattern.canon(match[k]) == pattern.at(k)) ++k;
    if (k == pattern.size()) return {true, start};
    // The byte that broke the match is consumed: the next attempt begins after it.
    curPos = start + static_cast<std::int64_t>(k) + 1;
  }
  return {false, curPos};
}

}  // namespace qc
