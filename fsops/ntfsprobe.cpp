#include "fsops/ntfsprobe.h"

#include "engine/filehandle.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <vector>

namespace qz {

namespace {

uint16_t Le16(const uint8_t* p) {
    return uint16_t(p[0] | p[1] << 8);
}
uint32_t Le32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint64_t Le64(const uint8_t* p) {
    return uint64_t(Le32(p)) | uint64_t(Le32(p + 4)) << 32;
}

bool ReadAt(int fd, uint8_t* buf, size_t n, uint64_t at) {
    size_t got = 0;
    while (got < n) {
        ssize_t r = ::pread(fd, buf + got, n - got, off_t(at + got));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        got += size_t(r);
    }
    return true;
}

bool NtfsAt(int fd, uint64_t offset, TNtfsBootInfo& boot) {
    uint8_t sec[512];
    return ReadAt(fd, sec, sizeof sec, offset) && ParseNtfsBootSector(sec, sizeof sec, boot);
}

// Partition start offsets in table order: MBR primaries, or the GPT entries (sector size 512
// or 4096).
std::vector<uint64_t> PartitionStarts(int fd, const uint8_t* mbr) {
    std::vector<uint64_t> starts;
    if (mbr[510] != 0x55 || mbr[511] != 0xAA) return starts;
    bool gpt = false;
    for (int i = 0; i < 4; ++i) {
        const uint8_t* e = mbr + 446 + 16 * i;
        uint8_t type = e[4];
        if (type == 0xEE) gpt = true;
        if (type == 0 || type == 0xEE || type == 0x05 || type == 0x0F || type == 0x85) continue;
        uint32_t lba = Le32(e + 8);
        if (lba) starts.push_back(uint64_t(lba) * 512);
    }
    if (!gpt) return starts;
    starts.clear();
    for (uint32_t ss : {512u, 4096u}) {
        uint8_t hdr[92];
        if (!ReadAt(fd, hdr, sizeof hdr, ss) || std::memcmp(hdr, "EFI PART", 8) != 0) continue;
        uint64_t entriesLba = Le64(hdr + 72);
        uint32_t count = Le32(hdr + 80), esize = Le32(hdr + 84);
        if (esize < 128 || esize > 4096 || count == 0) continue;
        if (count > 256) count = 256;
        std::vector<uint8_t> entries(size_t(count) * esize);
        if (!ReadAt(fd, entries.data(), entries.size(), entriesLba * ss)) continue;
        for (uint32_t i = 0; i < count; ++i) {
            const uint8_t* e = entries.data() + size_t(i) * esize;
            bool used = false;
            for (int k = 0; k < 16; ++k) used |= e[k] != 0;
            if (!used) continue;
            uint64_t first = Le64(e + 32);
            if (first) starts.push_back(first * ss);
        }
        break;
    }
    return starts;
}

} // namespace

bool ParseNtfsBootSector(const uint8_t* s, size_t size, TNtfsBootInfo& out) {
    if (size < 512 || std::memcmp(s + 3, "NTFS    ", 8) != 0) return false;
    if (s[510] != 0x55 || s[511] != 0xAA) return false;
    const uint32_t bps = Le16(s + 11);
    if (bps < 256 || bps > 4096 || (bps & (bps - 1)) != 0) return false;
    const uint8_t spcRaw = s[13];
    uint64_t spc;
    if (spcRaw == 0) return false;
    if (spcRaw <= 0x80) {
        if ((spcRaw & (spcRaw - 1)) != 0) return false;
        spc = spcRaw;
    } else if (spcRaw >= 0xF4) {
        spc = uint64_t(1) << (256 - spcRaw);
    } else {
        return false;
    }
    const uint64_t bpc = bps * spc;
    if (bpc > (uint64_t(1) << 21)) return false;
    const int8_t cpr = int8_t(s[0x40]);
    uint64_t bpr;
    if (cpr > 0)
        bpr = uint64_t(cpr) * bpc;
    else if (cpr < 0 && cpr >= -31)
        bpr = uint64_t(1) << (-cpr);
    else
        return false;
    if (bpr < 256 || bpr > 65536 || (bpr & (bpr - 1)) != 0) return false;
    out.BytesPerSector = bps;
    out.BytesPerCluster = uint32_t(bpc);
    out.BytesPerRecord = uint32_t(bpr);
    out.TotalSectors = Le64(s + 0x28);
    out.MftLcn = Le64(s + 0x30);
    out.Mft2Lcn = Le64(s + 0x38);
    out.SerialNumber = Le64(s + 0x48);
    return out.TotalSectors > 0 && out.MftLcn > 0;
}

TNtfsProbe ProbeNtfsVolume(const std::string& path) {
    TNtfsProbe p;
    TFileHandle fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) {
        p.Error = std::strerror(errno);
        return p;
    }
    uint8_t sec[512];
    errno = 0;
    if (!ReadAt(fd.get(), sec, sizeof sec, 0)) {
        p.Error = errno ? std::strerror(errno) : "too short to hold a boot sector";
        return p;
    }
    p.Readable = true;
    if (ParseNtfsBootSector(sec, sizeof sec, p.Boot)) {
        p.IsNtfs = true;
        return p;
    }
    for (uint64_t start : PartitionStarts(fd.get(), sec)) {
        if (NtfsAt(fd.get(), start, p.Boot)) {
            p.IsNtfs = true;
            p.InPartition = true;
            p.Offset = start;
            return p;
        }
    }
    return p;
}

TNTFS_VOLUME_DATA_BUFFER VolumeDataFromBoot(const TNtfsBootInfo& b) {
    TNTFS_VOLUME_DATA_BUFFER v{};
    v.VolumeSerialNumber = int64_t(b.SerialNumber);
    v.NumberSectors = int64_t(b.TotalSectors);
    v.BytesPerSector = b.BytesPerSector;
    v.BytesPerCluster = b.BytesPerCluster;
    v.TotalClusters = b.BytesPerCluster ? int64_t(b.TotalBytes() / b.BytesPerCluster) : 0;
    v.BytesPerFileRecordSegment = b.BytesPerRecord;
    v.ClustersPerFileRecordSegment = b.BytesPerCluster ? b.BytesPerRecord / b.BytesPerCluster : 0;
    v.MftStartLcn = int64_t(b.MftLcn);
    v.Mft2StartLcn = int64_t(b.Mft2Lcn);
    return v;
}

} // namespace qz
