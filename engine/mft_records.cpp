#include "engine/mft_records.h"

#include "engine/ntfs_layout.h"

#include <cstring>

namespace qz {

namespace {

using ntfs::Le16;
using ntfs::Le32;
using ntfs::Le64;

// Mapping pairs starting at p (bounded by size), VCNs counted from firstVcn.
bool DecodeMappingPairs(const uint8_t* buf, size_t size, size_t p, uint64_t firstVcn,
                        std::vector<TClusterRun>& out) {
    int64_t vcn = int64_t(firstVcn), lcn = 0;
    while (p < size) {
        const uint8_t h = buf[p];
        if (h == 0) return true;
        const unsigned ln = h & 0x0F, on = h >> 4;
        if (ln == 0 || ln > 8 || on > 8 || p + 1 + ln + on > size) return false;
        uint64_t length = 0;
        for (unsigned k = 0; k < ln; ++k) length |= uint64_t(buf[p + 1 + k]) << (8 * k);
        if (length == 0 || length > (uint64_t(1) << 48)) return false;
        TClusterRun r;
        r.Vcn = vcn;
        r.Length = int64_t(length);
        if (on == 0) {
            r.Sparse = true;
        } else {
            uint64_t u = 0;
            for (unsigned k = 0; k < on; ++k) u |= uint64_t(buf[p + 1 + ln + k]) << (8 * k);
            if (on < 8 && (buf[p + ln + on] & 0x80)) u |= ~uint64_t(0) << (8 * on);
            if (__builtin_add_overflow(lcn, int64_t(u), &lcn)) return false;
            r.Lcn = lcn;
        }
        out.push_back(r);
        if (__builtin_add_overflow(vcn, r.Length, &vcn)) return false;
        p += 1 + ln + on;
    }
    return false; // no terminating zero inside the record
}

} // namespace

bool ApplyRecordFixups(uint8_t* rec, size_t size) {
    if (size < 48 || std::memcmp(rec, "FILE", 4) != 0) return false;
    const size_t u = Le16(rec + 4);
    unsigned n = Le16(rec + 6);
    for (size_t i = 1; n > 1; ++i, --n) { // the count includes the sequence number itself
        if (i * 512 > size) break;
        if (u + 2 * i + 2 > size) return false;
        rec[i * 512 - 2] = rec[u + 2 * i];
        rec[i * 512 - 1] = rec[u + 2 * i + 1];
    }
    return true;
}

uint16_t RecordFlags(const uint8_t* rec) {
    return Le16(rec + 22);
}
uint64_t RecordBaseRef(const uint8_t* rec) {
    return Le64(rec + 32);
}

bool FindUnnamedAttribute(const uint8_t* rec, size_t size, uint32_t wanted, TDataAttribute& out) {
    out = TDataAttribute{};
    if (size < 48 || std::memcmp(rec, "FILE", 4) != 0) return false;
    size_t a = Le16(rec + 20);
    while (a + 16 <= size) {
        const uint32_t type = Le32(rec + a);
        if (type == 0xFFFFFFFF) return false;
        const uint32_t length = Le32(rec + a + 4);
        if (length < 16 || a + length > size) return false;
        if (type == wanted && rec[a + 9] == 0) {
            if (rec[a + 8] == 0) {
                if (length < 24) return false;
                const size_t vlen = Le32(rec + a + 16), voff = Le16(rec + a + 20);
                if (voff + vlen > length) return false;
                out.Value = rec + a + voff;
                out.ValueLength = vlen;
                out.RealSize = out.InitializedSize = vlen;
                return true;
            }
            if (length < 64) return false;
            out.NonResident = true;
            out.LowestVcn = Le64(rec + a + 16);
            out.RealSize = Le64(rec + a + 48);
            out.InitializedSize = Le64(rec + a + 56);
            const size_t runs = Le16(rec + a + 32);
            if (runs >= length) return false;
            return DecodeMappingPairs(rec, a + length, a + runs, out.LowestVcn, out.Runs);
        }
        a += length;
    }
    return false;
}

std::vector<TAttrListEntry> ParseAttributeList(const uint8_t* data, size_t n) {
    std::vector<TAttrListEntry> out;
    size_t p = 0;
    while (p + 26 <= n) {
        const uint16_t len = Le16(data + p + 4);
        if (len < 26 || p + len > n) break;
        TAttrListEntry e;
        e.Type = Le32(data + p);
        e.NameLength = data[p + 6];
        e.LowestVcn = Le64(data + p + 8);
        e.FileRef = Le64(data + p + 16);
        out.push_back(e);
        p += len;
    }
    return out;
}

std::vector<TClusterRun> ClusterRunsOf(const TRecordRuns& runs) {
    std::vector<TClusterRun> out;
    out.reserve(runs.DataRuns.size());
    int64_t vcn = 0, lcn = 0;
    for (const TDATA_RUN& r : runs.DataRuns) {
        int64_t next;
        if (r.IsOffset) {
            if (__builtin_add_overflow(lcn, r.Offset, &next)) break;
        } else {
            next = r.Offset;
        }
        lcn = next;
        if (r.RunLength == 0 || r.RunLength > (uint64_t(1) << 48)) break;
        out.push_back(TClusterRun{vcn, int64_t(r.RunLength), lcn, false});
        vcn += int64_t(r.RunLength);
    }
    return out;
}

void AppendDecodedRuns(const std::vector<TClusterRun>& runs, TRecordRuns& out) {
    int64_t prevLcn = 0;
    bool first = true;
    for (const TClusterRun& r : runs) {
        TDATA_RUN d;
        d.RunLength = uint64_t(r.Length);
        if (r.Sparse) {
            d.Offset = 0;
            d.IsOffset = true;
        } else if (first) {
            d.Offset = r.Lcn;
            d.IsOffset = false;
            prevLcn = r.Lcn;
            first = false;
        } else {
            d.Offset = r.Lcn - prevLcn;
            d.IsOffset = true;
            prevLcn = r.Lcn;
        }
        out.DataRuns.push_back(d);
    }
    out.NumDataRuns = int32_t(out.DataRuns.size());
}

} // namespace qz
