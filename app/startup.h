// The program's start: everything between process start and the end of a headless run; when
// the command line asks for no output, window (the window's entry) takes over.
#pragma once

#include "app/windowstart.h"

#include <cstdio>

namespace qz {

// Runs the program on argv (argv[0] is the program); returns the exit code. window nil: a run
// without outputs is refused (for builds and tests without the window).
int QuarzelMain(int argc, char** argv, TWindowEntry window = nullptr);

// The --help text.
void PrintUsage(std::FILE* out);

} // namespace qz
