// Opening MFT sources. Dump files: the raw $MFT data followed by an optional trailer with the
// volume data ("VOLDATA2" + 96 bytes + drive letter, or the older "VOLDATA" + 96 bytes).
#include "engine/debuglog.h"
#include "engine/scan.h"
#include "engine/text.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>

namespace qz {

namespace {
bool PreadAll(int fd, void* buf, size_t n, off_t at) {
    auto* p = static_cast<uint8_t*>(buf);
    while (n > 0) {
        ssize_t r = ::pread(fd, p, n, at);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        p += r;
        n -= size_t(r);
        at += r;
    }
    return true;
}
} // namespace

void OpenMFTSource(TNTFS_FILES& s) {
    if (s.FSource.size() == 1)
        throw TScanError("Raw volumes are opened by path on this platform");
    s.FDriveLetter = u'C';
    const std::string path = Utf16ToUtf8(s.FSource);
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw TScanError("Could not open file " + path + ", Error: " + std::strerror(errno));
    s.FMFTFile.reset(fd);
    struct stat st {};
    if (::fstat(fd, &st) != 0) throw TScanError("Could not read file " + path + ", Error: " + std::strerror(errno));
    const int64_t fileSize = st.st_size;
    s.FVolData = TNTFS_VOLUME_DATA_BUFFER{};
    s.FVolData.BytesPerFileRecordSegment = 1024;
    s.FVolData.MftValidDataLength = fileSize;
    s.FVolData.BytesPerCluster = 4096;
    s.FVolData.BytesPerSector = 512;
    s.FVOLDATADRIVELETTER = 0;
    char tag[8];
    if (fileSize >= 103 && PreadAll(fd, tag, 7, fileSize - 103) && std::memcmp(tag, "VOLDATA", 7) == 0) {
        PreadAll(fd, &s.FVolData, 96, fileSize - 96);
        s.FVOLDATAFLAG = true;
    } else if (fileSize >= 105 && PreadAll(fd, tag, 8, fileSize - 105) && std::memcmp(tag, "VOLDATA2", 8) == 0) {
        PreadAll(fd, &s.FVolData, 96, fileSize - 97);
        s.FVOLDATAFLAG = true;
        uint8_t letter = 0;
        PreadAll(fd, &letter, 1, fileSize - 1);
        s.FVOLDATADRIVELETTER = char16_t(letter);
        s.FDriveLetter = char16_t(letter);
    } else {
        // A bare copy: the record size defaults to 1024 bytes, but a table of 4096-byte
        // records read that way would decode as garbage. Record 0 states its own allocated
        // size (header offset 28), so take it from there when it is plausible.
        uint8_t head[32];
        if (fileSize >= 32 && PreadAll(fd, head, 32, 0) && std::memcmp(head, "FILE", 4) == 0) {
            uint32_t alloc;
            std::memcpy(&alloc, head + 28, 4);
            if (alloc >= 512 && alloc <= 65536 && (alloc & (alloc - 1)) == 0)
                s.FVolData.BytesPerFileRecordSegment = alloc;
        }
    }
}

} // namespace qz
