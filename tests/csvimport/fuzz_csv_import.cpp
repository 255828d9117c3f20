// libFuzzer target: any bytes as a CSV or TSV file opened as a scan source, then totalled.
// The reader must end every input with a tree or a line number, never a crash or a hang.
#include "engine/scan.h"
#include "engine/text.h"
#include "sources/csv_import.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

namespace {
std::string TempPath(const char* ext) {
    const char* dir = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    return std::string(dir) + "/qz_fuzz_csv_" + std::to_string(::getpid()) + ext;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The first byte picks the separator, so both kinds are explored.
    const bool tsv = size > 0 && (data[0] & 1);
    static const std::string csvPath = TempPath(".csv"), tsvPath = TempPath(".tsv");
    const std::string& path = tsv ? tsvPath : csvPath;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    if (size > 1) std::fwrite(data + 1, 1, size - 1, f);
    std::fclose(f);
    auto scan = qz::TNTFS_FILES::CreateSlow(qz::Utf8ToUtf16(path));
    int64_t line = 0;
    try {
        bool ok = qz::LoadCSVFile(*scan, scan->FSource, line);
        if (!ok && line < 0) __builtin_trap();
    } catch (const std::exception&) {
    }
    scan->MFTRoot = scan->FFileList.empty() ? nullptr : scan->FFileList.front();
    scan->CalculateDirSizes(true, true, scan->CSVHasFilesFlag, false, false);
    return 0;
}
