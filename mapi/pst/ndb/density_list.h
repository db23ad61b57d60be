// DLISTPAGE at 0x4200: the density list, which Outlook uses to pick where to write next.
#pragma once

#include <cstdint>

#include "mapi/sink.h"

namespace qc::mapi::pst {

// An empty list, as Outlook itself leaves a new store: no backfill has run, and Outlook builds
// the list the first time it needs it.
void WriteDensityList(PositionedSink& sink, std::uint64_t bid);

}  // namespace qc::mapi::pst
