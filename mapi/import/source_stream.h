// A GMime stream that reads a ByteSource, so GMime parses a message where it lies (in memory, or
// in a file) instead of in a copy of its own. The parts GMime finds are streams made from it,
// which share the source and keep it alive for as long as anything reads them.
#pragma once

#include <gmime/gmime.h>

#include <cstdint>
#include <memory>

#include "mapi/import/gmime_support.h"
#include "mapi/property.h"

namespace qc::mapi::import {

// A stream over bytes [start, end) of `source`.
GPtr<GMimeStream> NewSourceStream(std::shared_ptr<const ByteSource> source, std::uint64_t start,
                                  std::uint64_t end);

// GMime calls its streams through C, where no exception may pass, and takes a failed read for
// the end of the data. So what a read of the source threw is kept with the stream (and every
// stream made from it) and thrown here, by whoever must not report a cut-off message as whole.
// Does nothing for a stream that is not one of these or whose reads all succeeded.
void RethrowReadFailure(GMimeStream* stream);

}  // namespace qc::mapi::import
