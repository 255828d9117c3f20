// Scans one folder to a totalled tree, the way a folder scan runs in the program
// (ProcessMFTRecords with the registered folder walk, then CalculateDirSizes), and prints the
// totals with the time each step took.
//
// usage: dirscan_driver [-t WALKERS] [-o] [-x EXCLUDE] [-q] [-s] DIR
//   -t  walkers including the scan thread (default: the processors)
//   -o  the older method (opendir/readdir, full paths)
//   -x  exclude filter text
//   -q  totals only
//   -s  call the walk directly and print its statistics too
#include "base/text.h"
#include "engine/scan.h"
#include "sources/dirscan.h"
#include "sources/sources.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

using namespace qz;

int main(int argc, char** argv) {
    int c;
    bool quiet = false, withStats = false;
    std::u16string exclude;
    TSlowScanOptions& opt = SlowScanDefaults();
    while ((c = getopt(argc, argv, "t:ox:qs")) != -1) {
        switch (c) {
        case 't':
            opt.Threads = std::atoi(optarg);
            break;
        case 'o':
            opt.ForceOlderMethod = true;
            break;
        case 'x':
            exclude = Utf8ToUtf16(optarg);
            break;
        case 'q':
            quiet = true;
            break;
        case 's':
            withStats = true;
            break;
        default:
            std::fprintf(stderr, "usage: %s [-t WALKERS] [-o] [-x EXCLUDE] [-q] [-s] DIR\n",
                         argv[0]);
            return 2;
        }
    }
    if (optind >= argc) {
        std::fprintf(stderr, "need DIR\n");
        return 2;
    }
    using clock = std::chrono::steady_clock;
    auto t0 = clock::now();
    auto scan = TNTFS_FILES::CreateSlow(Utf8ToUtf16(argv[optind]), ScanSourcePasses());
    TSlowScanStats stats;
    if (withStats)
        DoSlowMode(*scan, {.Exclude = exclude, .FullPath = true}, opt, &stats);
    else
        scan->ProcessMFTRecords({.Exclude = exclude, .FullPath = true});
    auto t1 = clock::now();
    scan->CalculateDirSizes();
    auto t2 = clock::now();
    if (scan->WasError) std::fprintf(stderr, "error: %s\n", scan->ErrorMessage.c_str());
    PMFT_RECORD root = scan->MFTRoot;
    if (!root) return 1;
    std::printf("files=%d folders=%d size=%llu allocated=%llu records=%zu\n",
                root->SubFoldersNumFiles(), root->SubFoldersNumDirs(),
                (unsigned long long)root->SubFoldersTotSize,
                (unsigned long long)root->SubFoldersTotSizeAlloc, scan->FFileList.size());
    if (!quiet) {
        auto ms = [](auto d) { return std::chrono::duration<double, std::milli>(d).count(); };
        std::printf("walk_ms=%.0f totals_ms=%.0f scan_bytes=%zu\n", ms(t1 - t0), ms(t2 - t1),
                    scan->MemoryBytes());
    }
    if (withStats)
        std::printf("workers=%lld handoffs=%lld excluded=%lld vanished=%lld notexamined=%lld "
                    "mounts=%lld extralinks=%lld unreadable=%zu\n",
                    (long long)stats.WorkersStarted, (long long)stats.HandOffs,
                    (long long)stats.Excluded, (long long)stats.Vanished,
                    (long long)stats.NotExamined, (long long)stats.MountsSkipped,
                    (long long)stats.ExtraLinks, stats.UnreadableFolders.size());
    return scan->WasError ? 1 : 0;
}
