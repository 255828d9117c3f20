// The window tests' main: one application object for all tests, on the "offscreen" platform
// unless a display is there (the Xvfb run), and the scan sources registered.
#include "gui/application.h"
#include "sources/sources.h"

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY"))
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
    qz::TQuarzelApplication app(argc, argv);
    qz::RegisterSources(); // as the program's start-up does before it opens the window
    return RUN_ALL_TESTS();
}
