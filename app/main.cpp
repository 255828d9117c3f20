// quarzel: scan an MFT dump file and print the root's totals and the ten largest folders.
#include "engine/collation.h"
#include "engine/scan.h"
#include "engine/text.h"
#include "engine/tree.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

using namespace qz;

static void Usage() {
    std::printf(
        "Usage: quarzel FILE.mft\n"
        "Scans an MFT dump file and prints the totals of its root and its ten largest folders.\n");
}

int main(int argc, char** argv) {
    if (argc < 2 || !std::strcmp(argv[1], "--help")) {
        Usage();
        return argc < 2 ? 2 : 0;
    }
    if (!std::strcmp(argv[1], "--version")) {
        std::printf("quarzel %s\n", QZ_VERSION);
        return 0;
    }
    std::unique_ptr<TNTFS_FILES> scan;
    try {
        scan = std::make_unique<TNTFS_FILES>(Utf8ToUtf16(argv[1]));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "quarzel: %s\n", e.what());
        return 1;
    }
    scan->ProcessMFTRecords(u"", u"", false, false, false);
    if (scan->WasError)
        std::fprintf(stderr, "quarzel: %s: %s\n", argv[1], scan->ErrorMEssage.c_str());
    scan->CalculateDirSizes(true, false, false, false, false);
    PMFT_RECORD root = scan->MFTRoot;
    if (!root || root->ParentMFTRec) {
        int i = scan->SearchDirRec(5);
        root = i >= 0 ? scan->FDirList[size_t(i)] : nullptr;
    }
    if (!root) {
        std::fprintf(stderr, "quarzel: %s: MFT root was not found\n", argv[1]);
        return 1;
    }
    int32_t idx = 1;
    SetNameSortIndex(root, idx);
    std::printf("Root: %s\n", Utf16ToUtf8(GetRecordPath(root)).c_str());
    std::printf("Files: %d\nFolders: %d\nSize: %llu\nAllocated: %llu\n", root->SubFoldersNumFiles(),
                root->SubFoldersNumDirs(), (unsigned long long)root->SubFoldersTotSize,
                (unsigned long long)root->SubFoldersTotSizeAlloc);
    std::vector<PMFT_RECORD> dirs;
    for (PMFT_RECORD d : scan->FDirList)
        if (d && d != root && d->IsFolder()) dirs.push_back(d);
    size_t n = std::min<size_t>(10, dirs.size());
    std::partial_sort(dirs.begin(), dirs.begin() + long(n), dirs.end(),
                      [](PMFT_RECORD a, PMFT_RECORD b) { return CompareBySize(a, b) < 0; });
    std::printf("Largest folders:\n");
    for (size_t i = 0; i < n; ++i)
        std::printf("%15llu  %s\n", (unsigned long long)dirs[i]->SubFoldersTotSize,
                    Utf16ToUtf8(GetRecordPath(dirs[i])).c_str());
    return scan->WasError ? 1 : 0;
}
