// A form's message jobs with the message's facts gathered first, on the same worker thread:
// what a manifest lists and the duplicate check compares. A message already written in this run
// (by `duplicates`) is not done again; the run still decides, in message order, what is a
// duplicate, for a first copy may be written while this job runs.
#pragma once

#include <string>
#include <vector>

#include "convert/duplicate_index.h"
#include "convert/message_jobs.h"

namespace qc {

MessageJobFactory WithMessageFacts(MessageJobFactory jobs, SearchedMailbox mailbox,
                                   const std::vector<std::int64_t>& offsets,
                                   const DuplicateIndex* duplicates, std::string fallbackCharset);

}  // namespace qc
