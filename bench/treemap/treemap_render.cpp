// Scans a folder (or reads an MFT dump or NTFS image) and draws its treemap into a PNG file, the
// way the program's image export does, printing how long each step took. For looking at pictures.
//
// usage: treemap_render [-w WIDTH] [-h HEIGHT] [-g] [-f] [-s] [-n] [-F] [-z PATH] SOURCE OUT.png
//   -g gray   -f free space of the folder's file system   -s sizes, not allocated sizes
//   -n no names   -F full shading (fast mode off)   -z zoom to the folder at PATH
#include "base/text.h"
#include "engine/scan.h"
#include "engine/tree.h"
#include "sources/sources.h"
#include "treemap/qtcanvas.h"
#include "treemap/treemap.h"
#include "views/displaytree.h"
#include "views/extstats.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

using namespace qz;

int main(int argc, char** argv) {
    int width = 1920, height = 1080, c;
    bool gray = false, freeSpace = false, allocated = true, names = true, full = false;
    std::string zoom;
    while ((c = getopt(argc, argv, "w:h:gfsnFz:")) != -1) {
        switch (c) {
        case 'w':
            width = std::atoi(optarg);
            break;
        case 'h':
            height = std::atoi(optarg);
            break;
        case 'g':
            gray = true;
            break;
        case 'f':
            freeSpace = true;
            break;
        case 's':
            allocated = false;
            break;
        case 'n':
            names = false;
            break;
        case 'F':
            full = true;
            break;
        case 'z':
            zoom = optarg;
            break;
        default:
            std::fprintf(
                stderr,
                "usage: %s [-w W] [-h H] [-g] [-f] [-s] [-n] [-F] [-z PATH] SOURCE OUT.png\n",
                argv[0]);
            return 2;
        }
    }
    if (optind + 2 > argc) {
        std::fprintf(stderr, "need SOURCE and OUT.png\n");
        return 2;
    }
    const std::string source = argv[optind], out = argv[optind + 1];
    TOffscreenGui gui;
    using clock = std::chrono::steady_clock;
    auto ms = [](auto d) { return std::chrono::duration<double, std::milli>(d).count(); };
    auto t0 = clock::now();
    std::unique_ptr<TNTFS_FILES> scan;
    struct stat st {};
    const bool dump = stat(source.c_str(), &st) == 0 && !S_ISDIR(st.st_mode); // dump or image
    try {
        scan = dump ? std::make_unique<TNTFS_FILES>(Utf8ToUtf16(source))
                    : TNTFS_FILES::CreateSlow(Utf8ToUtf16(source), ScanSourcePasses());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    scan->ProcessMFTRecords();
    scan->CalculateDirSizes();
    if (scan->WasError) std::fprintf(stderr, "scan: %s\n", scan->ErrorMessage.c_str());
    PMFT_RECORD root = scan->MFTRoot;
    if (!root) {
        const int k = scan->SearchDirRec(5);
        if (k >= 0) root = scan->FDirList[size_t(k)];
    }
    if (!root) return 1;
    int32_t idx = 1;
    SetNameSortIndex(root, idx);
    auto t1 = clock::now();

    TDisplayTree tree;
    TNTFS_FILES* scans[] = {scan.get()};
    tree.LoadTree(scans);
    TExtColors colors;
    TTreemap tm(tree, colors);
    tm.Scans = {scan.get()};
    TDiskSizeInfo d;
    d.itempath = Utf8ToUtf16(source);
    struct statvfs sv {};
    if (!dump && statvfs(source.c_str(), &sv) == 0) {
        d.hastotalandfreespace = true;
        d.totalspace = uint64_t(sv.f_blocks) * sv.f_frsize;
        d.freespace = uint64_t(sv.f_bavail) * sv.f_frsize;
    }
    tm.DiskSizes = {d};
    tm.ShowFileNames = names;
    tm.Shading.tm_FastDraw = !full;
    tm.ShowAllocatedSize = allocated;
    if (!zoom.empty()) {
        tm.TreemapRoot = tree.FindNodeByPath(nullptr, Utf8ToUtf16(zoom), root->NameLength() + 1);
        if (!tm.TreemapRoot) std::fprintf(stderr, "zoom path not found\n");
    }
    TDrawResult r = tm.DrawTreemap(
        width, height,
        {.WithFreeSpace = freeSpace, .Rebuild = true, .Gray = gray, .FileName = Utf8ToUtf16(out)});
    auto t2 = clock::now();
    if (r.Outcome == TDrawOutcome::Failed) {
        std::fprintf(stderr, "%s\n", r.Error.c_str());
        return 1;
    }
    std::printf("records=%zu scan_ms=%.0f draw_and_save_ms=%.0f nodes=%zu\n",
                scan->FFileList.size(), ms(t1 - t0), ms(t2 - t1), tree.NodeCount());
    return 0;
}
