// The window's entry, which the program's main hands to the start-up code.
#pragma once

#include "app/windowstart.h"

namespace qz {

// True when a window can be shown: a display (DISPLAY or WAYLAND_DISPLAY) is set, or
// QT_QPA_PLATFORM names the platform to use (offscreen, vnc, ...).
bool DisplayAvailable();

// Shows the main window and runs it until it is closed; a path on the command line is scanned
// as soon as the window is up. Without a display: a message saying how to run without a
// window, exit code 2.
int RunWindow(TWindowStart& start);

} // namespace qz
