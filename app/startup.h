// The program's start: everything between process start and the end of a headless run (the
// window, when it exists, takes over where the headless run is decided against).
#pragma once

#include <cstdio>

namespace qz {

// Runs the program on argv (argv[0] is the program); returns the exit code.
int QuarzelMain(int argc, char** argv);

// The --help text.
void PrintUsage(std::FILE* out);

} // namespace qz
