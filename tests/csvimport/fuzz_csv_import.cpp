// libFuzzer target: any bytes as a CSV or TSV file opened as a scan source, then totalled.
// The reader must end every input with a tree or a line number, never a crash or a hang.
// The read buffer is small, so rows longer than the buffer and rows split across refills are
// reached with small inputs.
#include "base/text.h"
#include "engine/scan.h"
#include "sources/csv_import.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <unistd.h>

namespace {
std::string TempPath(const char* ext) {
    const char* dir = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    return std::string(dir) + "/qz_fuzz_csv_" + std::to_string(::getpid()) + ext;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The first byte picks the separator and the buffer size.
    const uint8_t pick = size > 0 ? data[0] : 0;
    const bool tsv = pick & 1;
    const size_t buffer = 16 + (pick >> 1) * 4;
    static const std::string csvPath = TempPath(".csv"), tsvPath = TempPath(".tsv");
    static std::unique_ptr<qz::TNTFS_FILES> csvScan, tsvScan;
    const std::string& path = tsv ? tsvPath : csvPath;
    std::unique_ptr<qz::TNTFS_FILES>& scan = tsv ? tsvScan : csvScan;
    if (!scan) scan = qz::TNTFS_FILES::CreateSlow(qz::Utf8ToUtf16(path));
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    if (size > 1) std::fwrite(data + 1, 1, size - 1, f);
    std::fclose(f);
    // One scan object is reused, emptied as a new scan would be.
    scan->ClearRecords();
    std::fill(scan->FFileListIndex.begin(), scan->FFileListIndex.end(), 0);
    std::fill(scan->FDirListIndex.begin(), scan->FDirListIndex.end(), 0);
    scan->WasCSVFile = true;
    scan->CSVHasFilesFlag = true;
    int64_t line = 0;
    try {
        const bool ok = qz::LoadCSVFile(*scan, scan->FSource, line, buffer);
        if (!ok && line < 0) __builtin_trap();
    } catch (const std::exception&) {
    }
    scan->MFTRoot = scan->FFileList.empty() ? nullptr : scan->FFileList.front();
    scan->CalculateDirSizes();
    return 0;
}
