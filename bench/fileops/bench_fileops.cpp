// File operations and change monitoring over real trees, the watching measured in the real
// window on the "offscreen" platform. Prints a table of wall-clock figures:
//   - watch setup for a tree of FOLDERS folders (PER_FOLDER files in each): from the scan's
//     end to the monitor's "watching" signal, and the longest event-loop stall meanwhile (a zero
//     timer), beside the longest stall over as long a time after a scan without monitoring (what
//     the window itself does after a scan);
//   - REMOVE of its files removed outside the program (another thread unlinks them): from the last
//     unlink to the views' update (totalsChanged), split into the quiet time the monitor waits
//     for the burst to end and the update's own work; the totals are then compared with a
//     fresh scan of the same tree;
//   - permanent delete (RemoveTree) of a tree of REMOVE files against `rm -r` of an identical
//     tree, best of three each.
//
// usage: bench_fileops [FOLDERS [REMOVE [PER_FOLDER]]]   (defaults 100000, 100000 and 1;
// 180000 10000 5 shows 10,000 removals in a scan of about a million records, within the usual
// watch limit)
#include "base/debuglog.h"
#include "bench/common/windowbench.h"
#include "engine/scan.h"
#include "fsops/removetree.h"
#include "gui/changemonitor.h"
#include "gui/scancontrol.h"

#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace qz;
namespace fs = std::filesystem;
using bench::Clock;
using bench::Ms;
using bench::WaitFor;

namespace {

void WriteFile(const std::string& path, size_t bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return;
    static const std::string data(4096, 'x');
    if (bytes) (void)!::write(fd, data.data(), std::min(bytes, data.size()));
    ::close(fd);
}

// folders folders, 100 to a parent and three levels deep, perFolder files in each (every 16th
// with some bytes); returns the files' paths.
std::vector<std::string> MakeTree(const std::string& root, size_t folders, size_t perFolder) {
    std::vector<std::string> files;
    files.reserve(folders * perFolder);
    ::mkdir(root.c_str(), 0755);
    for (size_t i = 0; i < folders; ++i) {
        const std::string a = root + "/a" + std::to_string(i / 10000);
        const std::string b = a + "/b" + std::to_string(i / 100);
        const std::string c = b + "/c" + std::to_string(i);
        if (i % 10000 == 0) ::mkdir(a.c_str(), 0755);
        if (i % 100 == 0) ::mkdir(b.c_str(), 0755);
        ::mkdir(c.c_str(), 0755);
        for (size_t k = 0; k < perFolder; ++k) {
            const size_t n = files.size();
            files.push_back(c + "/f" + std::to_string(n) + ".dat");
            WriteFile(files.back(), n % 16 == 0 ? 1000 + n % 3000 : 0);
        }
    }
    return files;
}

// files files in folders of 1000.
void MakeFlatTree(const std::string& root, size_t files) {
    ::mkdir(root.c_str(), 0755);
    std::string folder;
    for (size_t i = 0; i < files; ++i) {
        if (i % 1000 == 0) {
            folder = root + "/d" + std::to_string(i / 1000);
            ::mkdir(folder.c_str(), 0755);
        }
        WriteFile(folder + "/file" + std::to_string(i), 0);
    }
}

struct TTotals {
    uint64_t Size = 0, Alloc = 0;
    int32_t Files = 0, Folders = 0;
};

TTotals RootTotals(TScanControl& scans) {
    TScanSession& s = scans.Session();
    if (s.ScanSlots.empty() || !s.ScanSlots[0] || !s.ScanSlots[0]->MFTRoot) return {};
    PMFT_RECORD r = s.ScanSlots[0]->MFTRoot;
    return {r->SubFoldersTotSize, r->SubFoldersTotSizeAlloc, r->SubFoldersNumFiles(),
            r->SubFoldersNumDirs()};
}

} // namespace

int main(int argc, char** argv) {
    const size_t folders = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 100000;
    const size_t removeCount = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 100000;
    const size_t perFolder =
        argc > 3 ? std::max<size_t>(1, std::strtoull(argv[3], nullptr, 10)) : 1;
    bench::TScratchDir scratch;
    if (!scratch.Ok()) return 1;
    const fs::path& dir = scratch.Path();
    const std::string tree = (dir / "tree").string();
    auto t = Clock::now();
    std::vector<std::string> files = MakeTree(tree, folders, perFolder);
    std::fprintf(stderr, "tree of %zu folders and %zu files made in %.0f ms\n", folders,
                 files.size(), Ms(Clock::now() - t));

    EnableDebugLog(dir.string());
    bench::TBenchWindow harness(dir);
    std::unique_ptr<TfrmQuarzelMain>& window = harness.Window;
    TScanControl& scans = *window->ScanControl();
    TChangeMonitor& monitor = *window->ChangeMonitor();
    scans.ShowMessage = [](const QString& m) { std::fprintf(stderr, "%s\n", qPrintable(m)); };
    window->resize(1600, 1000);
    window->show();

    bool ended = false, watching = false;
    Clock::time_point scanEnd, watchingAt;
    size_t watched = 0;
    QObject::connect(&scans, &TScanControl::scanFinished, [&](bool) {
        scanEnd = Clock::now();
        ended = true;
    });
    QObject::connect(&monitor, &TChangeMonitor::watching, [&](size_t, size_t w) {
        watchingAt = Clock::now();
        watched = w;
        watching = true;
    });
    // The longest gap between two runs of a zero timer: how long the window did not answer.
    double longest = 0;
    Clock::time_point last = Clock::now();
    QTimer tick;
    tick.setInterval(0);
    double longestUpdate = 0; // the longest update by the monitor (mark, totals, views)
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const auto now = Clock::now();
        longest = std::max(longest, Ms(now - last));
        longestUpdate = std::max(longestUpdate, monitor.LastRefreshMs());
        last = now;
    });

    // The window alone: a scan without monitoring, the stall over the first 3 s after it.
    monitor.SetEnabled(false);
    scans.ScanPath(QString::fromStdString(tree));
    if (!WaitFor([&] { return ended; })) return 1;
    last = Clock::now();
    longest = 0;
    tick.start();
    WaitFor([&] { return Clock::now() - scanEnd > std::chrono::seconds(3); });
    tick.stop();
    const double bareStall = longest;
    monitor.SetEnabled(true);
    ended = false;
    watching = false;

    scans.ScanPath(QString::fromStdString(tree));
    if (!WaitFor([&] { return ended; })) return 1;
    last = Clock::now();
    longest = 0;
    tick.start();
    if (!WaitFor([&] { return watching; })) {
        std::fprintf(stderr, "the monitor never reported its watches\n");
        return 1;
    }
    tick.stop();
    const double setupMs = Ms(watchingAt - scanEnd), setupStall = longest;

    // Removals outside the program: another thread unlinks the files.
    const size_t n = std::min(removeCount, files.size());
    const int refreshesBefore = monitor.RefreshCount();
    Clock::time_point lastUnlink;
    std::atomic<bool> unlinked{false};
    longest = 0;
    longestUpdate = 0;
    last = Clock::now();
    tick.start();
    std::thread remover([&] {
        for (size_t i = 0; i < n; ++i) ::unlink(files[i].c_str());
        lastUnlink = Clock::now();
        unlinked = true;
    });
    const bool updated = WaitFor([&] {
        return unlinked && monitor.MarkedCount() >= n && monitor.LastRefreshEnd() > lastUnlink;
    });
    remover.join();
    tick.stop();
    const double removeStall = longest;
    if (!updated)
        std::fprintf(stderr, "only %zu of %zu removals marked\n", monitor.MarkedCount(), n);
    const double toUpdate = Ms(monitor.LastRefreshEnd() - lastUnlink);
    const double updateWork = monitor.LastRefreshMs();
    const int refreshes = monitor.RefreshCount() - refreshesBefore;
    const TTotals shown = RootTotals(scans);

    ended = false;
    scans.ScanPath(QString::fromStdString(tree));
    if (!WaitFor([&] { return ended; })) return 1;
    const TTotals fresh = RootTotals(scans);
    const bool same = shown.Size == fresh.Size && shown.Alloc == fresh.Alloc &&
                      shown.Files == fresh.Files && shown.Folders == fresh.Folders;
    window.reset();

    // Permanent delete against rm -r, each on a fresh identical tree, best of three.
    double mine = 1e18, rm = 1e18;
    for (int round = 0; round < 3; ++round) {
        const std::string a = (dir / "del-a").string(), b = (dir / "del-b").string();
        MakeFlatTree(a, removeCount);
        MakeFlatTree(b, removeCount);
        ::sync();
        TRemoveProgress progress;
        t = Clock::now();
        const TRemoveOutcome outcome = RemoveTree(a, progress, {});
        mine = std::min(mine, Ms(Clock::now() - t));
        if (outcome != TRemoveOutcome::Removed) std::fprintf(stderr, "RemoveTree failed\n");
        const std::string command = "rm -r '" + b + "'";
        t = Clock::now();
        if (std::system(command.c_str()) != 0) std::fprintf(stderr, "rm -r failed\n");
        rm = std::min(rm, Ms(Clock::now() - t));
    }
    // Cancel: a removal of the same tree cancelled once a third of it is gone; the time until
    // it returns. A removal that ends before the cancel lands is reported as such (timing it
    // would give a meaningless, even negative, figure).
    double cancelMs = -1;
    uint64_t removedBeforeCancel = 0;
    {
        const std::string a = (dir / "del-c").string();
        MakeFlatTree(a, removeCount);
        TRemoveProgress progress;
        std::atomic<bool> returned{false};
        Clock::time_point returnedAt;
        std::thread worker([&] {
            RemoveTree(a, progress, {});
            returnedAt = Clock::now();
            returned = true;
        });
        while (!returned && progress.Removed.load() < removeCount / 3)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        const Clock::time_point cancelledAt = Clock::now();
        progress.Cancel = true;
        const bool endedFirst = returned;
        worker.join();
        if (!endedFirst) cancelMs = Ms(returnedAt - cancelledAt);
        removedBeforeCancel = progress.Removed.load();
        fs::remove_all(a);
    }

    std::printf("| measurement | figure |\n|---|---|\n");
    std::printf("| records in the scan (folders and files) | %zu |\n",
                folders + folders / 100 + folders / 10000 + 1 + files.size());
    std::printf("| watch setup, %zu folders (%zu watched) | %.0f ms |\n",
                folders + folders / 100 + folders / 10000 + 1, watched, setupMs);
    std::printf("| longest event-loop stall during the setup | %.1f ms |\n", setupStall);
    std::printf("| the same after a scan without monitoring | %.1f ms |\n", bareStall);
    std::printf("| %zu files removed outside: last unlink -> views updated | %.0f ms |\n", n,
                toUpdate);
    std::printf("|   of which quiet time before the update | %d ms |\n", monitor.QuietMs);
    std::printf("|   of which the update itself (mark, totals, views) | %.1f ms |\n", updateWork);
    std::printf("|   updates during the burst | %d (longest %.1f ms) |\n", refreshes,
                longestUpdate);
    std::printf("| longest event-loop stall during the removals | %.1f ms |\n", removeStall);
    std::printf("| totals afterwards equal a fresh scan's | %s |\n", same ? "yes" : "NO");
    std::printf("| permanent delete of %zu files: RemoveTree | %.0f ms |\n", removeCount, mine);
    std::printf("| permanent delete of %zu files: rm -r | %.0f ms |\n", removeCount, rm);
    std::printf("| ratio | %.2f |\n", mine / rm);
    if (cancelMs >= 0)
        std::printf(
            "| cancel of a permanent delete (after %llu entries): until it returns | %.2f ms |\n",
            (unsigned long long)removedBeforeCancel, cancelMs);
    else
        std::printf("| cancel of a permanent delete | (the removal ended before the cancel) |\n");
    // The monitor's own account of its updates (the debug log is in the scratch folder).
    for (const auto& entry : fs::directory_iterator(dir)) {
        if (entry.path().extension() != ".log") continue;
        std::ifstream log(entry.path());
        for (std::string line; std::getline(log, line);)
            if (line.find("Change monitor: ") != std::string::npos)
                std::fprintf(stderr, "%s\n", line.c_str());
    }
    return same ? 0 : 2;
}
