// Fuzzes whole MFT sources: the input is a file that is opened as a scan source (an NTFS
// image when it starts with an NTFS boot sector, else an MFT dump with or without trailer),
// read by the full pass, totalled, and written back as a dump when it is a volume. Any outcome
// is fine except a crash, a hang, a sanitizer report or an allocation beyond the input's
// size.
#include "base/text.h"
#include "engine/mft_volume.h"
#include "engine/scan.h"

#include <cstdint>
#include <cstdio>
#include <sstream>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

using namespace qz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const int fd = memfd_create("mftsource", MFD_CLOEXEC);
    if (fd < 0) return 0;
    size_t done = 0;
    while (done < size) {
        ssize_t w = ::write(fd, data + done, size - done);
        if (w <= 0) break;
        done += size_t(w);
    }
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    try {
        TNTFS_FILES scan(Utf8ToUtf16(path));
        if (IsVolumeSource(scan)) {
            std::ostringstream dump;
            try {
                SaveFileToStream(scan, *scan.GetMFTRecord(), dump, true);
            } catch (const TScanError&) {
            }
        }
        scan.ProcessMFTRecords();
        scan.CalculateDirSizes();
        if (scan.MFTRoot && scan.MFTRoot->SubFoldersNumFiles() < 0) __builtin_trap();
    } catch (const TScanError&) {
        // construction refused the input with a message
    }
    ::close(fd);
    return 0;
}
