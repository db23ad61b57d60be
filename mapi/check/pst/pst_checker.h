// pstcheck's checks: a strict reading of a Unicode Outlook data file, layer by layer (node
// database, lists/tables/property contexts, messaging), that reports every fault it finds.
// Independent readers accept nearly any damage; this one accepts none.
#pragma once

#include <cstdint>
#include <string>

#include "mapi/check/pst/findings.h"

namespace qc::mapi::pst::check {

struct Summary {
  std::size_t nodes = 0;
  std::size_t blocks = 0;
  std::size_t folders = 0;
  std::size_t messages = 0;  // in folders, embedded ones not counted
};

Findings CheckPst(const std::uint8_t* data, std::uint64_t size, Summary* summary = nullptr);
// Maps the file and checks it; a file that cannot be read is a header finding.
Findings CheckPstFile(const std::string& path, Summary* summary = nullptr);

}  // namespace qc::mapi::pst::check
