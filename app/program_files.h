// Where the window finds the files installed with it. A Windows installation and the build
// folder keep them beside the program; a Linux installation keeps the program in bin/ and its
// data in share/quillon-converter/.
#pragma once

#include <QString>

namespace qc::app {

// The user manual for a program that lies in `programFolder`: beside it, else where a Linux
// installation puts it. When neither holds one, the first place, so that Help names a file the
// user can look for.
QString FindManual(const QString& programFolder);

}  // namespace qc::app
