// Ctrl-C and SIGTERM stop a conversion the way closing the window does: at its next step, with
// every finished file complete and no temporary file left. A second signal ends the program at
// once.
#pragma once

#include <atomic>

namespace qc {

// Installs the handlers for SIGINT and SIGTERM.
void InstallStopSignals();

// The signal that asked for a stop, or 0.
int StopSignalReceived();

// Set once a stop signal came, for work that watches a flag (the folder walk).
const std::atomic<bool>* StopSignalFlag();

}  // namespace qc
