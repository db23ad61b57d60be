#include "scanner/separator_scan.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__GNUC__) && defined(__x86_64__)
#include <immintrin.h>
#define QC_AVX2_SCAN 1
#endif

namespace qc {

namespace {

constexpr std::int64_t kTickBytes = std::int64_t{1} << 20;
// How far back from a candidate we look for a stretch that no partial match can span.
constexpr std::int64_t kResyncLookBack = 512;

#if defined(__SSE2__)
// Bit i set where block[i] is one of the set's bytes (at most two are looked at).
template <class Set>
inline unsigned MatchMask(__m128i block, const Set& set) {
  __m128i hits = _mm_cmpeq_epi8(block, _mm_set1_epi8(static_cast<char>(set.bytes[0])));
  if (set.count > 1) {
    hits =
        _mm_or_si128(hits, _mm_cmpeq_epi8(block, _mm_set1_epi8(static_cast<char>(set.bytes[1]))));
  }
  return static_cast<unsigned>(_mm_movemask_epi8(hits));
}
#endif

#if defined(QC_AVX2_SCAN)
// The builds run on any x86-64; where the processor has AVX2 the pair is looked for 32
// positions a step instead of 16, which is most of the search's time.
const bool kHasAvx2 = __builtin_cpu_supports("avx2");

// From `p`, the positions where bytes `first` and `second` stand at offsets k and k + 1, 32 a
// step while a whole step fits before `end` (and its bytes before `bufferEnd`). Stops at the
// first position `accept` takes, setting `hit`; returns where the steps stopped.
template <class Accept>
__attribute__((target("avx2"))) const std::uint8_t* PairScanAvx2(
    const std::uint8_t* p, const std::uint8_t* end, const std::uint8_t* bufferEnd, std::ptrdiff_t k,
    std::uint8_t first, std::uint8_t second, const Accept& accept, const std::uint8_t*& hit) {
  const __m256i a = _mm256_set1_epi8(static_cast<char>(first));
  const __m256i b = _mm256_set1_epi8(static_cast<char>(second));
  for (; end - p >= 32 && bufferEnd - (p + k) >= 33; p += 32) {
    const __m256i here = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + k));
    const __m256i next = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + k + 1));
    auto mask = static_cast<unsigned>(_mm256_movemask_epi8(
        _mm256_and_si256(_mm256_cmpeq_epi8(here, a), _mm256_cmpeq_epi8(next, b))));
    for (; mask != 0; mask &= mask - 1) {
      const std::uint8_t* at = p + __builtin_ctz(mask);
      if (accept(at)) {
        hit = at;
        return p;
      }
    }
  }
  return p;
}
#endif

}  // namespace

ScanPattern::ScanPattern(std::string prepared, bool caseSensitive) : text_(std::move(prepared)) {
  for (std::size_t b = 0; b < 256; ++b) {
    canon_[b] = caseSensitive ? static_cast<std::uint8_t>(b) : kUpperCp1252[b];
  }
  if (!text_.empty()) first_ = setOf(at(0));
  if (text_.size() < 2) return;
  // Look for the rarest pair of neighbouring characters: fewest bytes that fold to them first,
  // then characters that running text seldom holds ("?@" in the separator).
  const auto rarity = [&](std::size_t i) {
    const ByteSet a = setOf(at(i));
    const ByteSet b = setOf(at(i + 1));
    const auto common = [](std::uint8_t c) {
      return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == ' ' || c == '\n' ||
             c == '\r' || (c >= '0' && c <= '9');
    };
    return (a.count + b.count) * 4 + (common(at(i)) ? 2 : 0) + (common(at(i + 1)) ? 2 : 0);
  };
  for (std::size_t i = 1; i + 1 < text_.size(); ++i) {
    if (rarity(i) < rarity(anchor_)) anchor_ = i;
  }
  anchorFirst_ = setOf(at(anchor_));
  anchorSecond_ = setOf(at(anchor_ + 1));
}

ScanPattern::ByteSet ScanPattern::setOf(std::uint8_t character) const {
  ByteSet set;
  for (std::size_t b = 0; b < 256; ++b) {
    if (canon_[b] != character) continue;
    if (set.count < static_cast<int>(set.bytes.size())) {
      set.bytes[static_cast<std::size_t>(set.count)] = static_cast<std::uint8_t>(b);
    }
    ++set.count;
  }
  return set;
}

const std::uint8_t* ScanPattern::findStart(const std::uint8_t* begin,
                                           const std::uint8_t* end) const {
  if (first_.count == 0 || begin >= end) return end;
  if (first_.count == 1) {
    const void* hit = std::memchr(begin, first_.bytes[0], static_cast<std::size_t>(end - begin));
    return hit ? static_cast<const std::uint8_t*>(hit) : end;
  }
  const std::uint8_t* p = begin;
#if defined(__SSE2__)
  if (first_.count == 2) {
    for (; end - p >= 16; p += 16) {
      const unsigned mask = MatchMask(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), first_);
      if (mask != 0) return p + __builtin_ctz(mask);
    }
  }
#endif
  for (; p < end; ++p) {
    if (canon_[*p] == at(0)) return p;
  }
  return end;
}

bool ScanPattern::occursAt(const std::uint8_t* p) const {
  for (std::size_t k = 0; k < text_.size(); ++k) {
    if (canon_[p[k]] != at(k)) return false;
  }
  return true;
}

const std::uint8_t* ScanPattern::findCandidate(const std::uint8_t* begin, const std::uint8_t* end,
                                               const std::uint8_t* bufferEnd) const {
  const auto length = static_cast<std::ptrdiff_t>(text_.size());
  const std::ptrdiff_t k = static_cast<std::ptrdiff_t>(anchor_);
  const std::uint8_t* p = begin;
#if defined(__SSE2__)
  if (anchorFirst_.count == 1 && anchorSecond_.count == 1) {
#if defined(QC_AVX2_SCAN)
    if (kHasAvx2) {
      const std::uint8_t* hit = nullptr;
      p = PairScanAvx2(
          p, end, bufferEnd, k, anchorFirst_.bytes[0], anchorSecond_.bytes[0],
          [&](const std::uint8_t* at) { return bufferEnd - at < length || occursAt(at); }, hit);
      if (hit) return hit;
    }
#endif
    const __m128i a = _mm_set1_epi8(static_cast<char>(anchorFirst_.bytes[0]));
    const __m128i b = _mm_set1_epi8(static_cast<char>(anchorSecond_.bytes[0]));
    for (; end - p >= 16 && bufferEnd - (p + k) >= 17; p += 16) {
      const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + k));
      const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + k + 1));
      auto mask = static_cast<unsigned>(
          _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(here, a), _mm_cmpeq_epi8(next, b))));
      for (; mask != 0; mask &= mask - 1) {
        const std::uint8_t* hit = p + __builtin_ctz(mask);
        if (bufferEnd - hit < length || occursAt(hit)) return hit;
      }
    }
  } else if (anchorFirst_.count <= 2 && anchorSecond_.count <= 2) {
    for (; end - p >= 16 && bufferEnd - (p + k) >= 17; p += 16) {
      const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + k));
      const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + k + 1));
      for (unsigned mask = MatchMask(here, anchorFirst_) & MatchMask(next, anchorSecond_);
           mask != 0; mask &= mask - 1) {
        const std::uint8_t* hit = p + __builtin_ctz(mask);
        if (bufferEnd - hit < length || occursAt(hit)) return hit;
      }
    }
  }
#endif
  // Where the buffer cannot show the whole text, the place is left for the caller to check.
  for (; p < end; ++p) {
    if (bufferEnd - p < length || occursAt(p)) return p;
  }
  return end;
}

namespace {

// Calls the caller's tick about once per kTickBytes of file passed over.
class Ticker {
 public:
  Ticker(std::int64_t pos, const std::function<void()>& tick)
      : next_(pos + kTickBytes), tick_(tick) {}
  void at(std::int64_t pos) {
    if (pos < next_) return;
    tick_();
    next_ = pos + kTickBytes;
  }

 private:
  std::int64_t next_;
  const std::function<void()>& tick_;
};

constexpr std::int64_t kFileEnded = -1;

// The first position in [pos, end) that `find` (given a window's bytes and where they end)
// reports; `end` when there is none, kFileEnded when the file turns out shorter than `end`.
template <class Find>
std::int64_t NextHit(ByteWindow& window, std::int64_t pos, std::int64_t end, Ticker& ticker,
                     Find&& find) {
  while (pos < end) {
    ticker.at(pos);
    const auto bytes = window.at(pos, 1);
    if (bytes.empty()) return kFileEnded;
    const auto n = static_cast<std::size_t>(
        std::min<std::int64_t>(static_cast<std::int64_t>(bytes.size()), end - pos));
    const std::uint8_t* base = bytes.data();
    const std::uint8_t* hit = find(base, base + n, base + bytes.size());
    if (hit != base + n) return pos + (hit - base);
    pos += static_cast<std::int64_t>(n);
  }
  return end;
}

// Runs the scan's attempts one after the other from `pos`, which must be where an attempt begins,
// until one matches or an attempt would begin after `stopAfter`. On no match, curPos is where the
// next attempt begins (or limit).
ScanResult RunAttempts(ByteWindow& window, const ScanPattern& pattern, std::int64_t pos,
                       std::int64_t limit, std::int64_t stopAfter, Ticker& ticker) {
  const std::int64_t end = std::min(limit, stopAfter + 1);
  const auto findStart = [&](const std::uint8_t* from, const std::uint8_t* to,
                             const std::uint8_t*) { return pattern.findStart(from, to); };
  for (;;) {
    const std::int64_t start = NextHit(window, pos, end, ticker, findStart);
    if (start == kFileEnded) return {false, limit};
    if (start >= end) return {false, start};
    const auto match = window.at(start, pattern.size());
    if (match.size() < pattern.size()) return {false, limit};  // cut short by a shrinking file
    std::size_t k = 1;
    while (k < pattern.size() && pattern.canon(match[k]) == pattern.at(k)) ++k;
    if (k == pattern.size()) return {true, start};
    // The byte that broke the match is consumed: the next attempt begins after it.
    pos = start + static_cast<std::int64_t>(k) + 1;
  }
}

// A position at or before `candidate` (and not before `begin`, a known attempt start) where an
// attempt surely begins: one preceded by (length - 1) bytes none of which can start a match,
// since no attempt can then reach across them.
std::int64_t ResyncBefore(ByteWindow& window, const ScanPattern& pattern, std::int64_t candidate,
                          std::int64_t begin) {
  const auto need = static_cast<std::int64_t>(pattern.size()) - 1;
  const std::int64_t from = std::max(begin, candidate - kResyncLookBack);
  const auto bytes = window.at(from, static_cast<std::size_t>(candidate - from));
  if (static_cast<std::int64_t>(bytes.size()) < candidate - from) return begin;
  std::int64_t run = 0;
  for (std::int64_t j = candidate - 1; j >= from; --j) {
    run = pattern.canon(bytes[static_cast<std::size_t>(j - from)]) == pattern.at(0) ? 0 : run + 1;
    if (run == need) return j + need;
  }
  return begin;  // no quiet stretch close by: replay from the known start
}

// Whether the whole text occurs at `pos`.
bool OccursAt(ByteWindow& window, const ScanPattern& pattern, std::int64_t pos) {
  const auto bytes = window.at(pos, pattern.size());
  if (bytes.size() < pattern.size()) return false;
  for (std::size_t k = 0; k < pattern.size(); ++k) {
    if (pattern.canon(bytes[k]) != pattern.at(k)) return false;
  }
  return true;
}

}  // namespace

ScanResult ScanForPattern(ByteWindow& window, const ScanPattern& pattern, std::int64_t curPos,
                          std::int64_t fileSize, const std::function<void()>& tick) {
  const auto length = static_cast<std::int64_t>(pattern.size());
  // An empty search text would match everywhere without ever moving on: nothing to find.
  if (length == 0) return {false, curPos};
  // Attempts begin only while curPos + length < fileSize.
  const std::int64_t limit = fileSize - length;
  if (length == 1) {
    Ticker ticker(curPos, tick);
    return RunAttempts(window, pattern, curPos, limit, limit, ticker);
  }

  // Matches are rare: look for places where the whole text occurs (its rarest pair of characters
  // at memory speed), and only there replay the exact attempts just before it, to learn whether
  // an attempt begins there (a partial match before it would swallow it).
  std::int64_t known = curPos;  // an attempt begins here
  Ticker ticker(curPos, tick);
  const auto findCandidate = [&](const std::uint8_t* from, const std::uint8_t* to,
                                 const std::uint8_t* bufferEnd) {
    return pattern.findCandidate(from, to, bufferEnd);
  };
  for (std::int64_t pos = curPos;;) {
    const std::int64_t candidate = NextHit(window, pos, limit, ticker, findCandidate);
    if (candidate == kFileEnded || candidate >= limit) break;
    if (!OccursAt(window, pattern, candidate)) {
      pos = candidate + 1;  // no match can start here, whatever came before
      continue;
    }
    const std::int64_t start = ResyncBefore(window, pattern, candidate, known);
    const ScanResult replay = RunAttempts(window, pattern, start, limit, candidate, ticker);
    if (replay.found) return replay;
    known = replay.curPos;  // past the candidate, which a partial match swallowed
    pos = known;
  }
  return {false, limit};
}

}  // namespace qc
