// The command-line scan of a headless run (ProcessCommandLine): resolve the path, scan it (or
// write its MFT dump), then write the requested outputs in this order: the CSV/TSV export,
// the file-types export, the treemap image. Every failure is told on standard error and ends
// the run with a non-zero exit code; nothing half-written is left under an output's name, and
// no output replaces a file the run reads or another output. When an output's file is not
// named as the option gave it ("%d", "%t", the image's ".png", the dump's ".mft"), a line
// on standard error says which file was written.
#pragma once

#include "app/options.h"
#include "app/outputfiles.h"
#include "app/settings.h"
#include "fsops/sourcelist.h"

#include <atomic>
#include <cstdio>
#include <string>

namespace qz {

struct THeadlessRun {
    const TCommandLine* CommandLine = nullptr;
    const TStartupOptions* Options = nullptr;
    const TMainSettings* Settings = nullptr;
    std::vector<TMountInfo> Mounts;
    TSourceList List;
    double StartTime = 0;                         // local date-time for "%d" and "%t"
    std::FILE* Err = stderr;                      // messages
    bool ProgressLine = false;                    // show a live progress line on Err
    const std::atomic<bool>* Interrupt = nullptr; // set by SIGINT/SIGTERM/SIGHUP: stop
    // Files the run uses besides the source (the settings file, the debug log): no output
    // may replace them.
    std::vector<TRunFile> RunFiles;
};

// Exit codes of a run.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1; // the scan, the dump or an output failed
inline constexpr int kExitUsage = 2;  // the command line cannot be carried out
inline constexpr int kExitInterrupted = 130;

int ProcessCommandLine(THeadlessRun& run);

} // namespace qz
