// The standard descriptors 0, 1 and 2 at start.
//
// A program started with one of them closed would hand that number to the next file it opens
// (the presence lock, an output), and then write its CSV or its messages into that file.
#pragma once

namespace qz {

// Opens /dev/null on each of descriptors 0-2 that is closed, in the direction that makes its
// use fail as a closed descriptor would: standard input write-only, standard output and error
// read-only (so a write to a closed standard output is reported, not lost in /dev/null). Call
// before anything else is opened. False when /dev/null cannot be opened.
bool EnsureStandardDescriptors();

} // namespace qz
