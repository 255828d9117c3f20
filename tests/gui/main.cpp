// The window tests' main: one application object for all tests, on the "offscreen" platform
// unless a display is there (the Xvfb run), the scan sources registered, and a mount table of
// its own.
#include "gui/application.h"
#include "sources/sources.h"
#include "tests/support/testsupport.h"

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // The file systems the tests mount stay in this process's own mount table (while the
    // process has one thread); without root the tests that mount are skipped.
    qz::test::PrivateMountNamespace();
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY"))
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
    qz::TQuarzelApplication app(argc, argv);
    qz::RegisterSources(); // as the program's start-up does before it opens the window
    return RUN_ALL_TESTS();
}
