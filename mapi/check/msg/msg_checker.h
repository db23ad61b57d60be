// A strict checker of .msg files, for the tests: the Compound File underneath, then every
// property stream, value stream, recipient and attachment storage, embedded message and the
// named-property mapping. It reports departures from the format instead of working around them.
#pragma once

#include <string>
#include <vector>

#include "mapi/property.h"

namespace qc::mapi::msg {

// Defects found; empty when the file is sound.
std::vector<std::string> CheckMsg(const Bytes& file);

}  // namespace qc::mapi::msg
