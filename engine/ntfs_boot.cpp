// NTFS boot sectors and finding the volume inside a device, image or partitioned disk image.
#include "base/filehandle.h"
#include "base/translate.h"
#include "engine/mft_volume.h"
#include "engine/ntfs_layout.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qz {

namespace {

using ntfs::Le16;
using ntfs::Le32;
using ntfs::Le64;
inline bool Pow2(uint64_t v) {
    return v != 0 && (v & (v - 1)) == 0;
}

bool ReadAt(int fd, void* buf, size_t n, uint64_t at, std::string* error = nullptr) {
    auto* p = static_cast<uint8_t*>(buf);
    while (n > 0) {
        ssize_t r = ::pread(fd, p, n, off_t(at));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) {
            if (error) *error = r < 0 ? std::strerror(errno) : tr("no data");
            return false;
        }
        p += r;
        n -= size_t(r);
        at += uint64_t(r);
    }
    return true;
}

bool NtfsAt(int fd, uint64_t offset, uint64_t size, TNtfsBootSector& boot) {
    if (offset + 512 > size) return false;
    uint8_t sector[512];
    return ReadAt(fd, sector, sizeof sector, offset) &&
           DecodeNtfsBootSector(sector, sizeof sector, boot);
}

// Byte offsets where partitions start, in table order: MBR primary partitions, then the
// logical partitions of an extended partition; or the entries of a GPT. A start is tried with
// 512-byte and with 4096-byte sectors.
void PartitionStarts(int fd, const uint8_t* mbr, uint64_t size, std::vector<uint64_t>& lbas,
                     bool& gpt) {
    gpt = false;
    if (mbr[510] != 0x55 || mbr[511] != 0xAA) return;
    uint64_t extended = 0;
    for (int i = 0; i < 4; ++i) {
        const uint8_t* e = mbr + 446 + 16 * i;
        const uint8_t type = e[4];
        const uint32_t lba = Le32(e + 8);
        if (type == 0xEE) gpt = true;
        if (type == 0 || lba == 0) continue;
        if (type == 0x05 || type == 0x0F || type == 0x85) {
            if (!extended) extended = lba;
            continue;
        }
        lbas.push_back(lba);
    }
    if (gpt) {
        lbas.clear();
        for (uint32_t ss : {512u, 4096u}) {
            uint8_t hdr[92];
            if (!ReadAt(fd, hdr, sizeof hdr, ss) || std::memcmp(hdr, "EFI PART", 8) != 0) continue;
            const uint64_t entriesLba = Le64(hdr + 72);
            uint32_t count = Le32(hdr + 80);
            const uint32_t esize = Le32(hdr + 84);
            if (esize < 128 || esize > 4096 || count == 0) continue;
            if (count > 1024) count = 1024;
            if (entriesLba == 0 || entriesLba > size / ss) continue;
            std::vector<uint8_t> entries(size_t(count) * esize);
            if (!ReadAt(fd, entries.data(), entries.size(), entriesLba * ss)) continue;
            for (uint32_t i = 0; i < count; ++i) {
                const uint8_t* e = entries.data() + size_t(i) * esize;
                bool used = false;
                for (int k = 0; k < 16; ++k) used |= e[k] != 0;
                const uint64_t first = Le64(e + 32);
                if (used && first) lbas.push_back(first * (ss / 512)); // kept in 512-byte units
            }
            break;
        }
        return;
    }
    // Logical partitions: a chain of extended boot records, each naming its partition
    // (relative to itself) and the next record (relative to the extended partition).
    uint64_t ebr = extended;
    for (int hops = 0; ebr && hops < 128; ++hops) {
        uint8_t rec[512];
        if (ebr * 512 + 512 > size || !ReadAt(fd, rec, sizeof rec, ebr * 512)) break;
        if (rec[510] != 0x55 || rec[511] != 0xAA) break;
        const uint8_t* part = rec + 446;
        const uint8_t* next = rec + 446 + 16;
        if (part[4] != 0 && Le32(part + 8) != 0) lbas.push_back(ebr + Le32(part + 8));
        const uint32_t rel = Le32(next + 8);
        ebr = (next[4] != 0 && rel != 0) ? extended + rel : 0;
    }
}

uint64_t DeviceSize(int fd, const struct stat& st) {
    if (S_ISBLK(st.st_mode)) {
        uint64_t bytes = 0;
        if (::ioctl(fd, BLKGETSIZE64, &bytes) == 0) return bytes;
        off_t end = ::lseek(fd, 0, SEEK_END);
        return end > 0 ? uint64_t(end) : 0;
    }
    return st.st_size > 0 ? uint64_t(st.st_size) : 0;
}

} // namespace

uint64_t DeviceBytes(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return 0;
    return DeviceSize(fd, st);
}

bool DecodeNtfsBootSector(const uint8_t* s, size_t size, TNtfsBootSector& out) {
    out = TNtfsBootSector{};
    if (size < 512 || std::memcmp(s + 3, "NTFS    ", 8) != 0) return false;
    const uint32_t bps = Le16(s + 11);
    if (bps < 256 || bps > 4096 || !Pow2(bps)) return false;
    const uint8_t raw = s[13];
    uint64_t spc;
    if (raw == 0) return false;
    if (raw <= 0x80) {
        spc = raw;
    } else {
        const unsigned shift = 256u - raw; // a negative byte: 2^-n sectors
        if (shift > 20) return false;
        spc = uint64_t(1) << shift;
    }
    if (!Pow2(spc)) return false;
    const uint64_t bpc = bps * spc;
    if (bpc > (uint64_t(2) << 20)) return false;
    const int8_t cpr = int8_t(s[0x40]);
    uint64_t bpr;
    if (cpr > 0) {
        bpr = uint64_t(cpr) * bpc;
    } else {
        if (cpr == 0 || -int(cpr) > 31) return false;
        bpr = uint64_t(1) << -int(cpr);
    }
    if (bpr < 256 || bpr > 65536 || !Pow2(bpr)) return false;
    out.BytesPerSector = bps;
    out.BytesPerCluster = uint32_t(bpc);
    out.BytesPerFileRecordSegment = uint32_t(bpr);
    out.NumberSectors = Le64(s + 0x28);
    out.MftStartLcn = Le64(s + 0x30);
    out.Mft2StartLcn = Le64(s + 0x38);
    out.VolumeSerialNumber = Le64(s + 0x48);
    if (out.NumberSectors == 0 || out.NumberSectors > (uint64_t(1) << 48)) return false;
    if (out.MftStartLcn >= out.TotalClusters()) return false;
    return true;
}

TNTFS_VOLUME_DATA_BUFFER BootSectorVolumeData(const TNtfsBootSector& b) {
    TNTFS_VOLUME_DATA_BUFFER v{};
    v.VolumeSerialNumber = int64_t(b.VolumeSerialNumber);
    v.NumberSectors = int64_t(b.NumberSectors);
    v.TotalClusters = int64_t(b.TotalClusters());
    v.BytesPerSector = b.BytesPerSector;
    v.BytesPerCluster = b.BytesPerCluster;
    v.BytesPerFileRecordSegment = b.BytesPerFileRecordSegment;
    v.ClustersPerFileRecordSegment = b.BytesPerFileRecordSegment >= b.BytesPerCluster
                                         ? b.BytesPerFileRecordSegment / b.BytesPerCluster
                                         : 0;
    v.MftStartLcn = int64_t(b.MftStartLcn);
    v.Mft2StartLcn = int64_t(b.Mft2StartLcn);
    return v;
}

TNtfsLocation LocateNtfsVolume(int fd) {
    TNtfsLocation loc;
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        loc.Error = std::strerror(errno);
        return loc;
    }
    if (!S_ISREG(st.st_mode) && !S_ISBLK(st.st_mode)) {
        loc.Error =
            S_ISDIR(st.st_mode) ? std::strerror(EISDIR) : tr("Not a regular file or block device");
        return loc;
    }
    loc.IsBlockDevice = S_ISBLK(st.st_mode);
    loc.Size = DeviceSize(fd, st);
    uint8_t first[512];
    if (loc.Size < 512 || !ReadAt(fd, first, sizeof first, 0, &loc.Error)) {
        if (loc.Error.empty() || loc.Size < 512) loc.Error = tr("shorter than one sector");
        return loc;
    }
    loc.Readable = true;
    if (DecodeNtfsBootSector(first, sizeof first, loc.Boot)) {
        loc.IsNtfs = true;
        return loc;
    }
    std::vector<uint64_t> lbas;
    bool gpt = false;
    PartitionStarts(fd, first, loc.Size, lbas, gpt);
    for (uint64_t lba : lbas) {
        for (uint64_t sectorSize : {512u, 4096u}) {
            if (lba > loc.Size / sectorSize) continue;
            if (NtfsAt(fd, lba * sectorSize, loc.Size, loc.Boot)) {
                loc.IsNtfs = true;
                loc.InPartition = true;
                loc.Offset = lba * sectorSize;
                return loc;
            }
            if (gpt) break; // GPT starts were converted with the table's own sector size
        }
    }
    loc.Boot = TNtfsBootSector{};
    return loc;
}

TNtfsLocation LocateNtfsVolume(const std::string& path) {
    TFileHandle fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) {
        TNtfsLocation loc;
        loc.Error = std::strerror(errno);
        return loc;
    }
    return LocateNtfsVolume(fd.get());
}

bool CanReadVolume(const std::string& path, std::string* error) {
    TFileHandle fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) {
        if (error) *error = std::strerror(errno);
        return false;
    }
    uint8_t sector[512];
    std::string why;
    if (!ReadAt(fd.get(), sector, sizeof sector, 0, &why)) {
        if (error) *error = why;
        return false;
    }
    return true;
}

} // namespace qz
