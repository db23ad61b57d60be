// Removing what writers that were killed (kill -9, a power cut, a crash) left in a folder: their
// hidden temporary files, which no one would ever remove otherwise (a store's can be hundreds of
// megabytes), and their lock files.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "util/pending_file.h"

namespace qc {

struct LeftoverSweep {
  std::int64_t files = 0;   // files removed
  std::uint64_t bytes = 0;  // their sizes
};

// Removes from `folder` the temporary files and lock files of writers that no longer run (see
// util/writer_lock.h). Only names of that exact pattern, only regular files, never through a
// link, and never a file of a writer that is alive (another run, or this one). Every other name
// of the folder is handed to `others`, so that one pass over a large folder serves both. What
// cannot be removed or looked at is left alone; the sweep itself never fails.
LeftoverSweep RemoveLeftovers(const OutputFolder& folder,
                              const std::function<void(std::string_view name)>& others = {});
// The same for the folder at `path`, for a folder this process does not write into itself but
// through files that open it on their own (stores); nothing when it cannot be opened.
LeftoverSweep RemoveLeftovers(const std::string& path);

}  // namespace qc
