// How a run reacts to the signals that end a process.
//
// SIGINT, SIGTERM and SIGHUP (a closed terminal) ask the run to stop: the first one sets the
// run's interrupt flag, which the scan, the dump and the outputs test between their steps. A
// second one ends the process at once, by that signal, after removing every temporary file
// of an output being written, so that nothing half-written is left beside a target.
// SIGXFSZ (the file-size limit) is ignored: the write that passes the limit fails with EFBIG
// and is reported as a failed write, and its temporary file is removed like any other.
#pragma once

#include <atomic>

namespace qz {

// Installs the handlers for the process; flag must live as long as the process.
void InstallInterruptHandlers(std::atomic<bool>& flag);

} // namespace qz
