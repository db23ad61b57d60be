// The parts of a multipart found without GMime's parser, where GMime would find them: for a
// message of so many parts that the tree GMime builds of them all (some 3 KB a part) would not
// fit in memory, so that each part can be parsed, taken and let go on its own.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "mapi/property.h"

namespace qc::mapi::import {

// How many lines of [from, end) of `bytes` begin with "--" (as every boundary line does),
// counting no further than `most` + 1.
std::size_t CountDashLines(const ByteSource& bytes, std::uint64_t from, std::uint64_t end,
                           std::size_t most);

// Whether `text` has a line that GMime's parser takes for a boundary line of `boundary`.
bool HasBoundaryLine(std::string_view text, std::string_view boundary);

// One part: its header fields and content, with the line break before the boundary line that
// ends it, and how that line ends.
struct PartRange {
  std::uint64_t start = 0;
  std::uint64_t end = 0;  // where the boundary line after it begins, or where the content ends
  bool bounded = false;   // a boundary line follows (else the multipart ends without one)
  bool crlf = false;      // that line ends in CR LF
};

// The parts of a multipart whose content is [from, end) of `bytes` and whose boundary parameter
// is `boundary`, as GMime's parser splits it: the preamble up to the first boundary line is no
// part, a boundary line is "--" and the boundary followed by nothing but white space (or "--"
// and white space, the last), and the last part runs to the end when the closing boundary is
// missing. Empty parts are left out.
std::vector<PartRange> SplitMultipart(const ByteSource& bytes, std::uint64_t from,
                                      std::uint64_t end, std::string_view boundary);

// What PartAlone() puts around the parts of one multipart: made once for all of them.
struct PartFrames;
std::shared_ptr<const PartFrames> FramesFor(std::string_view boundary);

// The bytes to give GMime's parser for one part so that it parses the part as it does among the
// others: inside a multipart of its own, closed by a boundary line that ends as the part's own
// did (GMime takes a line break of that line's kind off the part's content).
std::shared_ptr<const ByteSource> PartAlone(std::shared_ptr<const ByteSource> bytes,
                                            const PartRange& part,
                                            std::shared_ptr<const PartFrames> frames);

}  // namespace qc::mapi::import
