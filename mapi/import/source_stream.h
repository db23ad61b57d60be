// A GMime stream that reads a ByteSource, so GMime parses a message where it lies (in memory, or
// in a file) instead of in a copy of its own. The parts GMime finds are streams made from it,
// which share the source and keep it alive for as long as anything reads them.
#pragma once

#include <gmime/gmime.h>

#include <cstdint>
#include <memory>
#include <optional>

#include "mapi/import/gmime_support.h"
#include "mapi/property.h"

namespace qc::mapi::import {

// What a stream hands GMime of a NUL byte.
enum class Nuls {
  Kept,
  // A space in its place. For the stream GMime parses: it keeps header values in C strings,
  // where a NUL would end the subject, a name or a file name there and lose the rest. The
  // streams GMime makes from it for the parts' content keep their NULs (binary data).
  Blanked,
};

// A stream over bytes [start, end) of `source`.
GPtr<GMimeStream> NewSourceStream(std::shared_ptr<const ByteSource> source, std::uint64_t start,
                                  std::uint64_t end, Nuls nuls = Nuls::Kept);

// The bytes a stream made here reads: [start, end) of its source. Nothing for another kind of
// stream, or one without an end.
struct SourceRange {
  const ByteSource* source = nullptr;
  std::uint64_t start = 0;
  std::uint64_t end = 0;
};
std::optional<SourceRange> RangeOf(GMimeStream* stream);

// GMime calls its streams through C, where no exception may pass, and takes a failed read for
// the end of the data. So what a read of the source threw is kept with the stream (and every
// stream made from it) and thrown here, by whoever must not report a cut-off message as whole.
// Does nothing for a stream that is not one of these or whose reads all succeeded.
void RethrowReadFailure(GMimeStream* stream);

}  // namespace qc::mapi::import
