// Decoding of one NTFS FILE record into a temporary record.
//
// Works on the raw record bytes only. Every read is checked against the record size: a
// structure that points outside the record makes the decode return false (the record is
// dropped, the scan goes on).
#include "base/datetime.h"
#include "engine/collation.h"
#include "engine/ntfs_parse.h"
#include "engine/scan.h"

#include <cstring>

namespace qz {

namespace {

using namespace ntfs;

// Data runs of one non-resident attribute starting at p; clusters receives the clusters they
// allocate (rec.TotDataRunClusters keeps the low 32 bits). The runs are not bounded by the
// attribute: a list without its end marker stops at the record's end, or at a header that
// cannot be one. Returns false when a run reaches outside the record.
bool DecodeRuns(const uint8_t* buf, size_t size, size_t p, bool storeRuns, TMFT_RECORD& rec,
                TRecordRuns& runs, uint64_t& clusters) {
    runs.NumDataRuns = 0;
    rec.TotDataRunClusters = 0;
    clusters = 0;
    int32_t count = 0;
    const TRunsEnd end =
        DecodeMappingPairs(buf, p, size, [&](uint64_t length, int64_t offset, bool hasOffset) {
            // A hole has no clusters; a first run before cluster 0 is no allocation either.
            if (hasOffset && !(count == 0 && offset < 0))
                clusters = SaturatingAdd(clusters, length);
            if (storeRuns) {
                if (count == 0) runs.DataRuns.clear(); // an attribute without runs keeps them
                runs.DataRuns.push_back(TDATA_RUN{length, offset, count > 0, !hasOffset});
            }
            ++count;
            return true;
        });
    if (end == TRunsEnd::Truncated) return false;
    runs.NumDataRuns = count;
    rec.TotDataRunClusters = uint32_t(clusters);
    return true;
}

// Bytes in clusters clusters, the largest value when that does not fit.
uint64_t ClusterBytes(uint64_t clusters, uint64_t bytesPerCluster) {
    uint64_t bytes;
    return __builtin_mul_overflow(clusters, bytesPerCluster, &bytes) ? UINT64_MAX : bytes;
}

} // namespace

PMFT_RECORD TNTFS_FILES::LookupBase(uint64_t base48) const {
    if (auto it = FIndexFileList.find(base48); it != FIndexFileList.end()) return it->second;
    if (auto it = FExFileList.find(base48); it != FExFileList.end()) return it->second;
    int i = FileListIndexOf(base48);
    if (i >= 0 && size_t(i) < FFileList.size()) return FFileList[size_t(i)];
    return nullptr;
}

bool TNTFS_FILES::DecodeFileRecord(uint8_t* buffer, TDecodeContext& ctx, uint64_t recno,
                                   bool storeRuns, bool outOfSequence, bool readRaw) {
    TMFT_RECORD& rec = ctx.rec;
    TRecordRuns& runs = ctx.runs;
    ctx.numExtra = 0;
    ctx.ResetNames();
    ZeroRecord(rec);
    runs.clear();
    bool sizeSet = false;

    const size_t size = FVolData.BytesPerFileRecordSegment;
    if (size < 48 || std::memcmp(buffer, "FILE", 4) != 0) return false;

    // Records read in bulk still carry their update sequence; records fetched one at a time,
    // and deferred ones decoded again, are already fixed up.
    if (readRaw && !outOfSequence && !ApplyUpdateSequence(buffer, size)) return false;

    rec.HasFileSizeFlags = 0;
    rec.RecNo = recno;
    rec.BaseFileRec = Le64(buffer + 32);
    const uint64_t base48 = rec.BaseFileRec & kRecNoMask;
    const bool isExtension = rec.BaseFileRec != 0;

    // An extension record whose base comes later in the table waits for the end of the pass.
    if (!outOfSequence && base48 > recno) {
        std::vector<uint8_t> deferred(8 + size);
        std::memcpy(deferred.data(), &recno, 8);
        std::memcpy(deferred.data() + 8, buffer, size);
        FOOSFileList.push_back(std::move(deferred));
        return false;
    }

    rec.FileRecFlags = Le16(buffer + 22);
    if (!(rec.FileRecFlags & 1)) return false;

    const uint64_t bpc = FVolData.BytesPerCluster;
    // No record can allocate more than the volume holds (0: the size is not known).
    const uint64_t volumeBytes =
        FVolData.TotalClusters > 0 ? ClusterBytes(uint64_t(FVolData.TotalClusters), bpc) : 0;
    auto clampToVolume = [volumeBytes](TMFT_RECORD& r) {
        if (volumeBytes != 0 && r.AllocSize > volumeBytes) {
            r.AllocSize = volumeBytes;
            r.SizeDamaged = true;
        }
    };
    size_t a = Le16(buffer + 20);
    for (;;) {
        if (a + 4 > size) return false;
        const uint32_t type = Le32(buffer + a);
        if (type == kAttrEnd) break;
        if (a + 10 > size) return false;
        const uint32_t length = Le32(buffer + a + 4);
        if (length == 0 || a + length >= size) break;
        const uint8_t nonResident = buffer[a + 8];
        const uint8_t nameLength = buffer[a + 9];

        if (type == kAttrStandardInformation && nonResident == 0) {
            if (a + 22 > size) return false;
            const size_t v = a + Le16(buffer + a + 20);
            if (v + 36 > size) return false;
            rec.CreatedDate = FileTimeToDateTime(Le64(buffer + v + 0));
            rec.ModifiedDate = FileTimeToDateTime(Le64(buffer + v + 8));
            rec.LastAccessDate = FileTimeToDateTime(Le64(buffer + v + 24));
            rec.DOSAttrib = Le32(buffer + v + 32);
        } else if (type == kAttrFileName && nonResident == 0) {
            if (a + 22 > size) return false;
            const size_t v = a + Le16(buffer + a + 20);
            if (v + 66 > size) return false;
            const unsigned len = buffer[v + 64];
            const uint8_t ns = buffer[v + 65];
            if (v + 66 + 2 * size_t(len) > size) return false;
            if (ns != 2 && len != 0) {
                char16_t* n = ctx.NextNameSlot();
                for (unsigned k = 0; k < len; ++k) n[k] = char16_t(Le16(buffer + v + 66 + 2 * k));
                n[len] = 0;
                const uint64_t p = Le64(buffer + v) & kRecNoMask;
                const bool differs = CompareNames(n, rec.Filename) != 0;
                bool extra;
                if (rec.ParentRec != 0 && p != 0 && p != rec.ParentRec)
                    extra = true; // a hard link in another folder
                else if (isExtension)
                    extra = p != 0 && (p != rec.ParentRec || differs);
                else
                    extra = differs && rec.Filename != nullptr; // a second name in the same folder
                if (extra) {
                    bool known = false;
                    for (size_t i = 0; i < ctx.numExtra && !known; ++i) {
                        const TExtraName& e = ctx.extraNames[i];
                        known = e.Parent == p && CompareNames(e.Rec.Filename, n) == 0;
                    }
                    if (!known) {
                        if (rec.ParentRec == 0) rec.ParentRec = p;
                        if (ctx.extraNames.size() <= ctx.numExtra) ctx.extraNames.emplace_back();
                        TExtraName& e = ctx.extraNames[ctx.numExtra++];
                        e.Parent = p;
                        ZeroRecord(e.Rec);
                        CopyRecord(rec, e.Rec);
                        e.Rec.Folder = nullptr;
                        e.Rec.ParentRec = p;
                        e.Rec.Filename = n;
                        e.Rec.FilenameLen = len;
                        if (isExtension) {
                            if (PMFT_RECORD b = LookupBase(base48)) {
                                e.Rec.DOSAttrib = b->DOSAttrib;
                                e.Rec.FileRecFlags = b->FileRecFlags;
                                e.Rec.FileSize = b->FileSize;
                                e.Rec.AllocSize = b->AllocSize;
                                e.Rec.HasFileSizeFlags = b->HasFileSizeFlags;
                                if (b->ModifiedDate > 0) e.Rec.ModifiedDate = b->ModifiedDate;
                                if (b->LastAccessDate > 0) e.Rec.LastAccessDate = b->LastAccessDate;
                                if (b->CreatedDate > 0) e.Rec.CreatedDate = b->CreatedDate;
                            }
                        }
                        e.Rec.DoNotCountFlag = true;
                    }
                }
                if (rec.Filename == nullptr) {
                    rec.Filename = n;
                    rec.FilenameLen = len;
                }
                if (rec.ParentRec == 0) rec.ParentRec = p;
            }
        } else if (type == kAttrAttributeList) {
            if (a + 22 > size) return false;
            const uint32_t vlen = Le32(buffer + a + 16);
            if (vlen != 0) {
                const size_t start = a + Le16(buffer + a + 20);
                if (!ForEachAttributeListEntry(
                        buffer, start, start + vlen, size, [&](const TAttributeListEntryView& e) {
                            runs.AttribList.push_back(
                                TATTRIB_RECORD{e.Type(), e.FileReference(), e.NameLength()});
                        }))
                    return false;
                runs.NumAttrib = int32_t(runs.AttribList.size());
            }
        } else if (type == kAttrData) {
            if (nonResident == 1) {
                if (a + 56 > size) return false;
                // A non-resident header is 64 bytes long and its mapping pairs follow it inside
                // the attribute. Anything else is no such header (a damaged residency flag, say):
                // its sizes mean nothing. Runs that reach outside the record are malformed all
                // the same. The size fields hold only in a stream's first piece (lowest VCN 0).
                const size_t runsAt = Le16(buffer + a + 32);
                uint64_t clusters;
                if (!DecodeRuns(buffer, size, a + runsAt, storeRuns, rec, runs, clusters))
                    return false;
                if (length < 64 || runsAt < 64 || runsAt >= length) {
                    rec.SizeDamaged = true;
                    rec.TotDataRunClusters = 0;
                    runs.NumDataRuns = 0;
                    runs.DataRuns.clear();
                } else {
                    if (nameLength == 0 && Le64(buffer + a + 16) == 0) {
                        // All 64 bits: sparse files reach 2^63 - 1 bytes.
                        rec.FileSize = Le64(buffer + a + 48);
                        rec.HasFileSizeFlags |= 1;
                        sizeSet = true;
                    }
                    rec.AllocSize = SaturatingAdd(rec.AllocSize, ClusterBytes(clusters, bpc));
                    if (clusters > 0) {
                        rec.HasFileSizeFlags |= 2;
                        sizeSet = true;
                    }
                }
            } else if (nameLength == 0) {
                if (a + 20 > size) return false;
                rec.FileSize = Le32(buffer + a + 16);
                rec.AllocSize = 0;
                rec.HasFileSizeFlags = 3;
                sizeSet = true;
            }
            for (size_t i = 0; i < ctx.numExtra; ++i) {
                TMFT_RECORD& e = ctx.extraNames[i].Rec;
                if (rec.HasFileSizeFlags & 2) {
                    e.AllocSize = rec.AllocSize;
                    e.HasFileSizeFlags |= 2;
                }
                if (rec.HasFileSizeFlags & 1) {
                    e.FileSize = rec.FileSize;
                    e.HasFileSizeFlags |= 1;
                }
                if (rec.ModifiedDate > 0) e.ModifiedDate = rec.ModifiedDate;
                if (rec.LastAccessDate > 0) e.LastAccessDate = rec.LastAccessDate;
                if (rec.CreatedDate > 0) e.CreatedDate = rec.CreatedDate;
            }
        }
        a += length;
    }

    if (isExtension) {
        rec.IndexMe = true;
        if (PMFT_RECORD b = LookupBase(base48)) {
            b->TotDataRunClusters += rec.TotDataRunClusters;
            b->AllocSize = SaturatingAdd(b->AllocSize, rec.AllocSize);
            b->SizeDamaged |= rec.SizeDamaged;
            clampToVolume(*b);
        }
    } else if (runs.NumAttrib > 0) {
        // Data held in extension records that were stored before this base record. Each such
        // record is added once, however many of its streams the list names.
        const size_t n = runs.AttribList.size();
        for (size_t i = 0; i < n; ++i) {
            const TATTRIB_RECORD& e = runs.AttribList[i];
            const uint64_t f = e.FileRef & kRecNoMask;
            if (e.AttribType != kAttrData || f == rec.RecNo) continue;
            rec.IndexMe = true;
            bool seen = false;
            for (size_t k = 0; k < i && !seen; ++k)
                seen = runs.AttribList[k].AttribType == kAttrData &&
                       (runs.AttribList[k].FileRef & kRecNoMask) == f;
            if (seen) continue;
            if (rec.RecNo > f || outOfSequence) {
                if (auto it = FIndexFileList.find(f); it != FIndexFileList.end()) {
                    rec.TotDataRunClusters += it->second->TotDataRunClusters;
                    rec.AllocSize = SaturatingAdd(rec.AllocSize, it->second->AllocSize);
                    rec.SizeDamaged |= it->second->SizeDamaged;
                }
            }
        }
    }

    clampToVolume(rec);
    for (size_t i = 0; i < ctx.numExtra; ++i) {
        TMFT_RECORD& e = ctx.extraNames[i].Rec;
        e.SizeDamaged |= rec.SizeDamaged;
        clampToVolume(e);
    }

    if (isExtension && sizeSet) {
        const int bi = FileListIndexOf(base48);
        PMFT_RECORD b = bi >= 0 && size_t(bi) < FFileList.size() ? FFileList[size_t(bi)] : nullptr;
        if (b) {
            if ((rec.HasFileSizeFlags & 1) && (!(b->HasFileSizeFlags & 1) || b->FileSize == 0)) {
                b->FileSize = rec.FileSize;
                b->HasFileSizeFlags |= 1;
            }
            if (rec.HasFileSizeFlags & 3) {
                if (auto it = FBaseFileList.find(base48); it != FBaseFileList.end()) {
                    for (PMFT_RECORD m : it->second) {
                        if (m == b) continue;
                        m->FileSize = b->FileSize;
                        m->AllocSize = b->AllocSize;
                        m->TotDataRunClusters = b->TotDataRunClusters;
                        m->HasFileSizeFlags = b->HasFileSizeFlags;
                    }
                }
            }
        }
    }
    return true;
}

} // namespace qz
