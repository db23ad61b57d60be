// The finder's scan rules, run over large buffers instead of one positioned read per byte.
//
// An attempt begins at a byte only while (bytes consumed) + (pattern length) < file size. It
// compares byte after byte; on a mismatch the next attempt begins with the byte after the one
// that broke the match (no stepping back), so an occurrence starting inside a partial match is
// skipped. Without case sensitivity bytes are upper-cased (Windows-1252) before comparing.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "scanner/cp1252.h"
#include "scanner/mailbox_file.h"

namespace qc {

class ScanPattern {
 public:
  // `prepared` is the search text as the finder compares it: already upper-cased when the search
  // is not case-sensitive.
  ScanPattern(std::string prepared, bool caseSensitive);

  std::size_t size() const { return text_.size(); }
  std::uint8_t at(std::size_t i) const { return static_cast<std::uint8_t>(text_[i]); }
  std::uint8_t canon(std::uint8_t byte) const { return canon_[byte]; }

  // The first position in [begin, end) whose byte can start a match, or end.
  const std::uint8_t* findStart(const std::uint8_t* begin, const std::uint8_t* end) const;

  // The first position p in [begin, end) where the whole text occurs, or where the buffer (which
  // ends at bufferEnd) is too short to tell; end when there is none. Needs size() >= 2.
  const std::uint8_t* findCandidate(const std::uint8_t* begin, const std::uint8_t* end,
                                    const std::uint8_t* bufferEnd) const;

 private:
  // The bytes that canonicalise to one character of the text.
  struct ByteSet {
    std::array<std::uint8_t, 4> bytes{};
    int count = 0;
  };
  ByteSet setOf(std::uint8_t character) const;
  bool occursAt(const std::uint8_t* p) const;

  std::string text_;
  std::array<std::uint8_t, 256> canon_{};
  ByteSet first_;
  // The pair of neighbouring characters looked for first, and the bytes that fold to them.
  std::size_t anchor_ = 0;
  ByteSet anchorFirst_;
  ByteSet anchorSecond_;
};

struct ScanResult {
  bool found = false;
  std::int64_t curPos = 0;  // on a find, the offset of the match's first byte
};

// Scans from `curPos` bytes consumed, bounded by `fileSize` (taken when the file was opened).
// `tick` is called about once per window of bytes examined, so the caller can yield.
// A file that turns out shorter than `fileSize` ends the scan as if its end were reached.
ScanResult ScanForPattern(ByteWindow& window, const ScanPattern& pattern, std::int64_t curPos,
                          std::int64_t fileSize, const std::function<void()>& tick);

}  // namespace qc
