// Scans one MFT source (NTFS image, block device or dump file) to a totalled tree, the way the
// program reads it (construction, ProcessMFTRecords, CalculateDirSizes), and prints the totals
// with the time each step took. With -d it writes the source's dump file instead.
//
// usage: mft_driver [-q] [-r ROOTNAME] SOURCE
//        mft_driver -d DUMPFILE SOURCE
//   -q  totals only (one line)
//   -r  name the root (a mount point gives "/" paths)
#include "base/text.h"
#include "engine/mft_volume.h"
#include "engine/scan.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

using namespace qz;

int main(int argc, char** argv) {
    int c;
    bool quiet = false;
    std::string dump, root;
    while ((c = getopt(argc, argv, "qd:r:")) != -1) {
        switch (c) {
        case 'q':
            quiet = true;
            break;
        case 'd':
            dump = optarg;
            break;
        case 'r':
            root = optarg;
            break;
        default:
            std::fprintf(stderr, "usage: %s [-q] [-r ROOTNAME] [-d DUMPFILE] SOURCE\n", argv[0]);
            return 2;
        }
    }
    if (optind >= argc) {
        std::fprintf(stderr, "need SOURCE\n");
        return 2;
    }
    using clock = std::chrono::steady_clock;
    auto secs = [](clock::time_point a, clock::time_point b) {
        return std::chrono::duration<double>(b - a).count();
    };
    try {
        auto t0 = clock::now();
        TNTFS_FILES scan(Utf8ToUtf16(argv[optind]));
        scan.FRootName = Utf8ToUtf16(root);
        const bool volume = IsVolumeSource(scan);
        auto t1 = clock::now();
        if (!dump.empty()) {
            WriteMFTDumpFile(scan, dump);
            std::printf("dump=%s bytes=%llu seconds=%.3f\n", dump.c_str(),
                        static_cast<unsigned long long>(scan.FMFT.FileSize + 105),
                        secs(t1, clock::now()));
            return 0;
        }
        scan.ProcessMFTRecords();
        auto t2 = clock::now();
        scan.CalculateDirSizes();
        auto t3 = clock::now();
        PMFT_RECORD r = scan.MFTRoot;
        std::printf("records=%lld files=%d folders=%d size=%llu allocated=%llu open_s=%.3f "
                    "pass_s=%.3f totals_s=%.3f "
                    "scan_MB=%.1f\n",
                    static_cast<long long>(scan.NumMFTRecords), r ? r->SubFoldersNumFiles() : 0,
                    r ? r->SubFoldersNumDirs() : 0,
                    static_cast<unsigned long long>(r ? r->SubFoldersTotSize : 0),
                    static_cast<unsigned long long>(r ? r->SubFoldersTotSizeAlloc : 0),
                    secs(t0, t1), secs(t1, t2), secs(t2, t3),
                    double(scan.MemoryBytes()) / 1048576.0);
        if (!quiet)
            std::printf(
                "source=%s volume=%d cluster=%u record=%u extents=%zu free_clusters=%lld of %lld\n",
                argv[optind], volume ? 1 : 0, scan.FVolData.BytesPerCluster,
                scan.FVolData.BytesPerFileRecordSegment, scan.FMFTExtents.size(),
                static_cast<long long>(scan.FVolData.FreeClusters),
                static_cast<long long>(scan.FVolData.TotalClusters));
        if (scan.WasError) {
            std::fprintf(stderr, "error: %s\n", scan.ErrorMessage.c_str());
            return 1;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "error: %s\n", e.what());
        return 1;
    }
    return 0;
}
