// Positions of MFT records and clusters on a volume, and the reads built on them.
#include "engine/mft_volume.h"

#include "base/debuglog.h"
#include "base/translate.h"
#include "engine/mft_records.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace qz {

namespace {

using u128 = unsigned __int128;

// Volume position of cluster lcn plus delta clusters plus w bytes; kPosNotFound when it
// does not fit a signed 64-bit position.
int64_t PositionOf(int64_t lcn, u128 delta, uint64_t bpc, uint64_t w) {
    if (lcn < 0) return kPosNotFound;
    const u128 p = (u128(uint64_t(lcn)) + delta) * bpc + w;
    if (p > u128(INT64_MAX)) return kPosNotFound;
    return int64_t(p);
}

// Walk decoded runs (first absolute, later ones relative) to the run holding cluster v.
// On success lcn/start/length describe that run.
bool FindRun(const TRecordRuns& runs, u128 v, int64_t& lcn, u128& start, u128& length) {
    u128 s = 0;
    int64_t cur = 0;
    for (const TDATA_RUN& r : runs.DataRuns) {
        if (r.IsOffset) {
            if (__builtin_add_overflow(cur, r.Offset, &cur)) return false;
        } else {
            cur = r.Offset;
        }
        if (v >= s && v < s + r.RunLength) {
            lcn = cur;
            start = s;
            length = r.RunLength;
            return true;
        }
        s += r.RunLength;
    }
    return false;
}

// The extent holding cluster v (extents are sorted by VCNStart and do not overlap).
const TMFT_EXTENTS* FindExtent(const std::vector<TMFT_EXTENTS>& ext, u128 v) {
    if (v > u128(INT64_MAX)) return nullptr;
    const int64_t vv = int64_t(v);
    auto it = std::upper_bound(ext.begin(), ext.end(), vv,
                               [](int64_t x, const TMFT_EXTENTS& e) { return x < e.VCNStart; });
    if (it == ext.begin()) return nullptr;
    --it;
    if (vv >= it->VCNStart && vv - it->VCNStart < it->VCNLength) return &*it;
    return nullptr;
}

bool Geometry(const TNTFS_FILES& s, uint64_t& bpr, uint64_t& bpc) {
    bpr = s.FVolData.BytesPerFileRecordSegment;
    bpc = s.FVolData.BytesPerCluster;
    return bpr != 0 && bpc != 0;
}

} // namespace

TRunPos GetMFTRecordPos(const TNTFS_FILES& s, const TRecordRuns& runs, uint64_t recno) {
    TRunPos out;
    uint64_t bpr, bpc;
    if (!Geometry(s, bpr, bpc)) return out;
    const u128 byte = u128(recno) * bpr;
    const u128 v = byte / bpc;
    const uint64_t w = uint64_t(byte - v * bpc);
    int64_t lcn;
    u128 start, length;
    if (!FindRun(runs, v, lcn, start, length)) return out;
    const int64_t pos = PositionOf(lcn, v - start, bpc, w);
    if (pos == kPosNotFound) return out;
    out.Position = pos;
    out.Count = int64_t(((start + length - v) * bpc - w) / bpr);
    return out;
}

TRunPos GetMFTRecordPos2(const TNTFS_FILES& s, uint64_t recno) {
    TRunPos out;
    uint64_t bpr, bpc;
    if (!Geometry(s, bpr, bpc)) return out;
    const u128 byte = u128(recno) * bpr;
    const u128 v = byte / bpc;
    const uint64_t w = uint64_t(byte - v * bpc);
    const TMFT_EXTENTS* e = FindExtent(s.FMFTExtents, v);
    if (!e) return out;
    const int64_t pos = PositionOf(e->LCN, v - u128(e->VCNStart), bpc, w);
    if (pos == kPosNotFound) return out;
    out.Position = pos;
    out.Count = int64_t(((u128(e->VCNStart) + u128(e->VCNLength) - v) * bpc - w) / bpr);
    return out;
}

TRunPos GetClusterPos(const TNTFS_FILES& s, const TRecordRuns& runs, int64_t vcn) {
    TRunPos out;
    uint64_t bpr, bpc;
    if (!Geometry(s, bpr, bpc) || vcn < 0) return out;
    int64_t lcn;
    u128 start, length;
    if (!FindRun(runs, u128(vcn), lcn, start, length)) return out;
    const int64_t pos = PositionOf(lcn, u128(vcn) - start, bpc, 0);
    if (pos == kPosNotFound) return out;
    out.Position = pos;
    out.Count = int64_t(start + length - u128(vcn));
    return out;
}

TRunPos GetClusterPos2(const TNTFS_FILES& s, int64_t vcn) {
    TRunPos out;
    uint64_t bpr, bpc;
    if (!Geometry(s, bpr, bpc) || vcn < 0) return out;
    const TMFT_EXTENTS* e = FindExtent(s.FMFTExtents, u128(vcn));
    if (!e) return out;
    const int64_t pos = PositionOf(e->LCN, u128(vcn - e->VCNStart), bpc, 0);
    if (pos == kPosNotFound) return out;
    out.Position = pos;
    out.Count = e->VCNStart + e->VCNLength - vcn;
    return out;
}

bool ReadVolume(const TNTFS_FILES& s, int64_t position, void* dest, size_t n, std::string* error,
                size_t* got) {
    if (got) *got = 0;
    const int fd = s.FVolumeHandle.get();
    if (fd < 0) {
        if (error) *error = tr("the volume is not open");
        return false;
    }
    int64_t at;
    if (position < 0 || __builtin_add_overflow(position, s.FVolumeOffset, &at)) {
        if (error) *error = tr("position outside the volume");
        return false;
    }
    auto* p = static_cast<uint8_t*>(dest);
    while (n > 0) {
        ssize_t r = ::pread(fd, p, n, off_t(at));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) {
            if (error)
                *error = r < 0 ? std::string(std::strerror(errno))
                               : Format(tr("no data at byte %lld (the device or image ends "
                                           "there)"),
                                        (long long)at);
            return false;
        }
        p += r;
        n -= size_t(r);
        at += r;
        if (got) *got += size_t(r);
    }
    return true;
}

bool ReadMFTData(const TNTFS_FILES& s, uint64_t offset, uint8_t* dest, size_t n,
                 std::string* error) {
    uint64_t bpr, bpc;
    if (!Geometry(s, bpr, bpc)) {
        if (error) *error = tr("no volume geometry");
        return false;
    }
    while (n > 0) {
        const uint64_t vcn = offset / bpc, within = offset % bpc;
        if (vcn > uint64_t(INT64_MAX)) break;
        const TRunPos p = s.FMFTExtentsAvailable ? GetClusterPos2(s, int64_t(vcn))
                                                 : GetClusterPos(s, s.FMFTRuns, int64_t(vcn));
        if (!p.Found()) {
            if (error)
                *error =
                    "MFT byte " + std::to_string(offset) + " lies outside the data runs of $MFT";
            return false;
        }
        const u128 avail = u128(uint64_t(p.Count)) * bpc - within;
        const size_t take = avail < n ? size_t(avail) : n;
        if (!ReadVolume(s, p.Position + int64_t(within), dest, take, error)) return false;
        dest += take;
        n -= take;
        offset += take;
    }
    return n == 0;
}

bool ReadMFTRecord(const TNTFS_FILES& s, uint64_t recno, uint8_t* buffer) {
    const size_t bpr = s.FVolData.BytesPerFileRecordSegment;
    std::memset(buffer, 0, bpr + 12);
    const u128 offset = u128(recno) * bpr;
    if (bpr == 0 || offset > u128(INT64_MAX)) return false;
    uint8_t* rec = buffer + 12;
    if (!ReadMFTData(s, uint64_t(offset), rec, bpr, nullptr) || !ApplyRecordFixups(rec, bpr)) {
        std::memset(buffer, 0, bpr + 12);
        return false;
    }
    const uint32_t len = uint32_t(bpr);
    std::memcpy(buffer, &recno, 8);
    std::memcpy(buffer + 8, &len, 4);
    return true;
}

size_t LoadFileDirect(const TNTFS_FILES& s, const TMFT_RECORD& rec, const TRecordRuns& runs,
                      uint8_t* dest, size_t maxBytes) {
    DebugLog("LoadFileDirect MFT Rec No " + std::to_string(uint64_t(rec.RecNo)));
    uint64_t bpr, bpc;
    if (!Geometry(s, bpr, bpc)) return 0;
    const uint64_t limit = std::min<uint64_t>(maxBytes, rec.FileSize);
    uint64_t done = 0;
    int64_t vcn = 0;
    // Cluster by cluster run: a file addressed in record-sized units could stall on a unit
    // that straddles two runs (clusters smaller than records); clusters never straddle.
    while (done < limit) {
        const TRunPos p = GetClusterPos(s, runs, vcn);
        if (!p.Found() || p.Count <= 0) break;
        const u128 bytes = u128(uint64_t(p.Count)) * bpc;
        const uint64_t n = bytes < limit - done ? uint64_t(bytes) : limit - done;
        if (!ReadVolume(s, p.Position, dest + done, size_t(n))) break;
        done += n;
        vcn += p.Count;
    }
    return size_t(done);
}

} // namespace qz
