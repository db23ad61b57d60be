// A strict reader of Compound Files, for tests and checkers: it walks every structure and
// reports each departure from the format as a defect instead of working around it.
#pragma once

#include <cstdint>
#include <limits>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "mapi/property.h"

namespace qc::mapi::cfb {

struct Entry {
  std::string
      path;  // "/" for the root, "/__substg1.0_0037001F", "/__recip_version1.0_#00000000/..."
  bool isStorage = false;
  Guid clsid;
  std::uint64_t size = 0;  // streams
};

struct ReadResult {
  std::vector<std::string> defects;      // empty when the file is sound
  std::vector<Entry> entries;            // in directory-tree order (siblings in their sort order)
  std::map<std::string, Bytes> streams;  // path -> contents
  // Streams longer than the reader was asked to copy: path -> where their bytes lie in the file
  // read, in order (runs of adjacent sectors as one piece).
  std::map<std::string, std::vector<std::span<const std::uint8_t>>> largeStreams;
};

// Reads and checks a whole file held in memory: header fields, every FAT and mini FAT chain, no
// sector used twice or lost, DIFAT, directory red-black tree rules and sibling order, sizes.
// Streams longer than `copyUpTo` bytes are not copied (largeStreams): a reader of a file with an
// attachment of gigabytes then needs its memory once, not twice.
ReadResult ReadCompoundFile(const Bytes& file,
                            std::uint64_t copyUpTo = std::numeric_limits<std::uint64_t>::max());

}  // namespace qc::mapi::cfb
