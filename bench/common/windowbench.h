// What the window benchmarks share: wall-clock and CPU timing, medians, waiting with the event
// loop running, a scratch folder, and the real main window made as the program makes it
// (settings in the scratch folder, the "offscreen" platform unless another was asked for, the
// allocator tuned as the program tunes it).
//
// Header-only: each benchmark is one program with its own table.
#pragma once

#include "app/cmdline.h"
#include "app/options.h"
#include "app/settings.h"
#include "app/windowstart.h"
#include "base/heaptune.h"
#include "base/promptwakeup.h"
#include "gui/application.h"
#include "gui/mainwindow.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace qz::bench {

using Clock = std::chrono::steady_clock;

inline double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// The median of v (the upper one of an even count); 0 for none.
inline double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// The process's resident size in MB (VmRSS), 0 when unknown.
inline double ResidentMb() {
    std::FILE* f = std::fopen("/proc/self/status", "r");
    if (!f) return 0;
    char line[256];
    double kb = 0;
    while (std::fgets(line, sizeof line, f))
        if (std::sscanf(line, "VmRSS: %lf kB", &kb) == 1) break;
    std::fclose(f);
    return kb / 1024;
}

// CPU time of the whole process (every thread), in ms: on a shared machine the wall-clock
// figures include the time other processes had the cores.
inline double CpuMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

// Waits (running the event loop) until pred holds; false after ms.
template <class F> bool WaitFor(F pred, int ms = 600000) {
    QElapsedTimer t;
    t.start();
    while (!pred()) {
        if (t.elapsed() > ms) return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    }
    return true;
}

// A folder under /tmp with a "cfg" folder for the settings, removed with everything in it
// when the object goes. Ok() is false when it could not be made.
class TScratchDir {
public:
    TScratchDir() {
        char tmpl[] = "/tmp/qzbench.XXXXXX";
        if (!mkdtemp(tmpl)) return;
        FPath = tmpl;
        std::filesystem::create_directories(FPath / "cfg");
    }
    ~TScratchDir() {
        std::error_code ec;
        if (!FPath.empty()) std::filesystem::remove_all(FPath, ec);
    }
    TScratchDir(const TScratchDir&) = delete;
    TScratchDir& operator=(const TScratchDir&) = delete;
    bool Ok() const { return !FPath.empty(); }
    const std::filesystem::path& Path() const { return FPath; }

private:
    std::filesystem::path FPath;
};

// The application and the main window, with no command-line arguments and the settings file
// in home/cfg. The window is not shown; Window can be reset to close it before the rest.
struct TBenchWindow {
    explicit TBenchWindow(const std::filesystem::path& home)
        : App((setenv("QT_QPA_PLATFORM", "offscreen", 0), Argc), Argv),
          CommandLine(std::vector<std::string>{}), Options(ReadStartupOptions(CommandLine)),
          Store((home / "cfg/Quarzel3.ini").string(), true, false),
          Start{Argc, Argv, CommandLine, Options, Store, Store.Load(), home.string(), 0},
          Window(std::make_unique<TfrmQuarzelMain>(Start)) {}

    // First, as the window's entry does before the window allocates anything (QZ_BENCH_DEFAULT_HEAP
    // set: the allocator's defaults, for comparison).
    bool HeapTuned = !std::getenv("QZ_BENCH_DEFAULT_HEAP") && TuneHeapForLargeBuffers();
    // The window thread's short scheduler slice, as the window's entry asks for it
    // (QZ_BENCH_DEFAULT_SLICE set: the normal slice; QZ_BENCH_SLICE_US: another length).
    bool SliceAsked = !std::getenv("QZ_BENCH_DEFAULT_SLICE") &&
                      AskShortSchedulerSlice(
                          std::getenv("QZ_BENCH_SLICE_US")
                              ? std::strtoull(std::getenv("QZ_BENCH_SLICE_US"), nullptr, 10) * 1000
                              : kWindowSliceNs);
    int Argc = 1;
    char Arg0[8] = "quarzel";
    char* Argv[2] = {Arg0, nullptr};
    TQuarzelApplication App;
    TCommandLine CommandLine;
    TStartupOptions Options;
    TSettingsStore Store;
    TWindowStart Start;
    std::unique_ptr<TfrmQuarzelMain> Window;
};

} // namespace qz::bench
