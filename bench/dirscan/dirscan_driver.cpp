// Scans one folder to a totalled tree, the way a folder scan runs in the program
// (ProcessMFTRecords with the registered folder walk, then CalculateDirSizes), and prints the
// totals with the time each step took.
//
// usage: dirscan_driver [-t WALKERS] [-o] [-x EXCLUDE] [-q] DIR
//   -t  walkers including the scan thread (default: the processors)
//   -o  the older method (opendir/readdir, full paths)
//   -x  exclude filter text
//   -q  totals only
#include "engine/scan.h"
#include "engine/text.h"
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
    bool quiet = false;
    std::u16string exclude;
    TSlowScanOptions& opt = SlowScanDefaults();
    while ((c = getopt(argc, argv, "t:ox:q")) != -1) {
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
        default:
            std::fprintf(stderr, "usage: %s [-t WALKERS] [-o] [-x EXCLUDE] [-q] DIR\n", argv[0]);
            return 2;
        }
    }
    if (optind >= argc) {
        std::fprintf(stderr, "need DIR\n");
        return 2;
    }
    RegisterSources();
    using clock = std::chrono::steady_clock;
    auto t0 = clock::now();
    auto scan = TNTFS_FILES::CreateSlow(Utf8ToUtf16(argv[optind]));
    scan->ProcessMFTRecords(u"", exclude, true, false, false);
    auto t1 = clock::now();
    scan->CalculateDirSizes(true, false, true, false, false);
    auto t2 = clock::now();
    if (scan->WasError) std::fprintf(stderr, "error: %s\n", scan->ErrorMEssage.c_str());
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
    return scan->WasError ? 1 : 0;
}
