// Process-wide values set once at start-up and read by the rest of the program.
#pragma once

#include "engine/types.h"

namespace qz {

// True when the command line asks for an output (export, exportfiletypes, dumpmftfile,
// treemapimagefile): the program scans, writes and ends without a window.
extern bool HeadlessMode;
// Local date-time of the start, taken before the headless decision; "%d" and "%t" in output
// file names stand for its date and time.
extern TDateTime StartTime;

} // namespace qz
