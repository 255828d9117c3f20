// The window tests' main: one application object for all tests, on the "offscreen" platform
// unless a display is there (the Xvfb run), the scan sources registered, and a mount table of
// its own.
#include "gui/application.h"
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
    // The desktop integration that a window start brings in line goes to a folder of the run,
    // never into the user's own XDG folders.
    static qz::test::TempDir xdg;
    setenv("XDG_DATA_HOME", (xdg / "data").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (xdg / "config").c_str(), 1);
    qz::TQuarzelApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
