// What the start-up code hands to the window when the command line asks for no output.
//
// The program's main passes the window's entry function to QuarzelMain, so the start-up code
// (and every test that links it) stays free of any toolkit; without an entry a windowed run
// is refused.
#pragma once

#include "app/cmdline.h"
#include "app/options.h"
#include "app/settings.h"
#include "engine/types.h"
#include "fsops/mounts.h"

#include <string>
#include <vector>

namespace qz {

struct TWindowStart {
    int& argc; // the process's arguments, for the toolkit
    char** argv;
    const TCommandLine& CommandLine;
    const TStartupOptions& Options;
    TSettingsStore& Store;   // the settings file (the window writes it)
    TMainSettings Settings;  // as read at start-up
    std::string HomeFolder;  // picks the default source-list entry
    TDateTime StartTime = 0; // local date-time of the start
    // What was wrong with the settings file (damaged lines, unusable values), for the window
    // to show once.
    std::vector<std::string> SettingsWarnings = {};
};

// Runs the window until it closes; returns the exit code.
using TWindowEntry = int (*)(TWindowStart& start);

} // namespace qz
