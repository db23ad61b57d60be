// --version, the same in every program: the program's name and version on one line of standard
// output (link qc_version).
#pragma once

#include <cstdio>

#include "qc_version.h"

namespace qc {

// Exit status 0, or 2 when standard output could not take the line (a full disk, a closed pipe).
inline int PrintVersion(const char* program) {
  std::printf("%s %s\n", program, QC_VERSION);
  return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 2;
}

}  // namespace qc
