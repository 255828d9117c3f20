// Decoding of one NTFS FILE record into a temporary record.
//
// Works on the raw record bytes only, through the layout views of ntfs_layout.h. Every read
// is checked against the record size: a structure that points outside the record makes the
// decode return false (the record is dropped, the scan goes on).
#include "base/datetime.h"
#include "engine/collation.h"
#include "engine/ntfs_parse.h"
#include "engine/scan.h"

#include <cstring>

namespace qz {

namespace {

using namespace ntfs;

// Data runs of one non-resident attribute starting at p; clusters receives the clusters they
// allocate. The runs are not bounded by the
// attribute: a list without its end marker stops at the record's end, or at a header that
// cannot be one. Returns false when a run reaches outside the record.
bool DecodeRuns(const uint8_t* buf, size_t size, size_t p, bool storeRuns, TRecordRuns& runs,
                uint64_t& clusters) {
    runs.NumDataRuns = 0;
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
    return true;
}

// Bytes in clusters clusters, the largest value when that does not fit.
uint64_t ClusterBytes(uint64_t clusters, uint64_t bytesPerCluster) {
    uint64_t bytes;
    return __builtin_mul_overflow(clusters, bytesPerCluster, &bytes) ? UINT64_MAX : bytes;
}

// No record can allocate more than the volume holds: a larger allocation is a damaged record's,
// cut to the volume's size (volumeBytes 0: the size is not known).
void ClampToVolume(TMFT_RECORD& r, uint64_t volumeBytes) {
    if (volumeBytes != 0 && r.AllocSize > volumeBytes) {
        r.AllocSize = volumeBytes;
        r.SizeDamaged = true;
    }
}

// A resident $FILE_NAME value (not a DOS-only name, not empty): the record's own name and
// parent when it has none yet, else an extra-name entry (a hard link in another folder, a
// second name in the same one). findBase() gives an extension record's stored base record.
template <class FindBase>
[[gnu::always_inline]] inline void TakeFileName(const TFileNameView name, TDecodeContext& ctx,
                                                bool isExtension, FindBase&& findBase) {
    TMFT_RECORD& rec = ctx.rec;
    const unsigned len = name.NameLength();
    char16_t* n = ctx.NextNameSlot();
    for (unsigned k = 0; k < len; ++k) n[k] = name.NameUnit(k);
    n[len] = 0;
    const uint64_t p = name.ParentReference() & kRecNoMask;
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
                if (PMFT_RECORD b = findBase()) {
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

// After each $DATA attribute the extra names found so far take the record's sizes and dates.
[[gnu::always_inline]] inline void ShareWithExtraNames(TDecodeContext& ctx) {
    const TMFT_RECORD& rec = ctx.rec;
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
    using Attr = TAttributeView;
    TMFT_RECORD& rec = ctx.rec;
    TRecordRuns& runs = ctx.runs;
    ctx.numExtra = 0;
    ctx.ResetNames();
    ZeroRecord(rec);
    ctx.BaseFileRec = 0;
    runs.clear();
    bool sizeSet = false;

    const size_t size = FVolData.BytesPerFileRecordSegment;
    const TFileRecordView header{buffer};
    if (size < TFileRecordView::kHeaderBytes || !header.HasSignature()) return false;
    // Every field read below must lie inside the record: at + end is where it stops.
    auto inside = [size](size_t at, size_t end) { return at + end <= size; };

    // Records read in bulk still carry their update sequence; records fetched one at a time,
    // and deferred ones decoded again, are already fixed up.
    if (readRaw && !outOfSequence && !ApplyUpdateSequence(buffer, size)) return false;

    rec.HasFileSizeFlags = 0;
    rec.RecNo = recno;
    ctx.BaseFileRec = header.BaseReference();
    const uint64_t base48 = ctx.BaseFileRec & kRecNoMask;
    const bool isExtension = ctx.BaseFileRec != 0;

    // An extension record whose base comes later in the table waits for the end of the pass.
    if (!outOfSequence && base48 > recno) {
        std::vector<uint8_t> deferred(8 + size);
        std::memcpy(deferred.data(), &recno, 8);
        std::memcpy(deferred.data() + 8, buffer, size);
        FOOSFileList.push_back(std::move(deferred));
        return false;
    }

    rec.FileRecFlags = header.Flags() & 0xFF; // in use, folder, $Extend, view index
    if (!(rec.FileRecFlags & 1)) return false;

    const uint64_t bpc = FVolData.BytesPerCluster;
    const uint64_t volumeBytes =
        FVolData.TotalClusters > 0 ? ClusterBytes(uint64_t(FVolData.TotalClusters), bpc) : 0;
    for (size_t a = header.FirstAttribute();;) {
        if (!inside(a, Attr::kType + 4)) return false;
        const Attr attr{buffer + a};
        const uint32_t type = attr.Type();
        if (type == kAttrEnd) break;
        if (!inside(a, Attr::kNameLength + 1)) return false;
        const uint32_t length = attr.Length();
        if (length == 0 || a + length >= size) break;
        const uint8_t nonResident = attr.NonResident();
        const uint8_t nameLength = attr.NameLength();

        if (type == kAttrStandardInformation && nonResident == 0) {
            if (!inside(a, Attr::kValueOffset + 2)) return false;
            const size_t v = a + attr.ValueOffset();
            if (!inside(v, TStandardInformationView::kBytesRead)) return false;
            const TStandardInformationView info{buffer + v};
            rec.CreatedDate = FileTimeToDateTime(info.Created());
            rec.ModifiedDate = FileTimeToDateTime(info.Modified());
            rec.LastAccessDate = FileTimeToDateTime(info.Accessed());
            rec.DOSAttrib = info.FileAttributes();
        } else if (type == kAttrFileName && nonResident == 0) {
            if (!inside(a, Attr::kValueOffset + 2)) return false;
            const size_t v = a + attr.ValueOffset();
            if (!inside(v, TFileNameView::kName)) return false;
            const TFileNameView name{buffer + v};
            if (!inside(v, TFileNameView::kName + 2 * size_t(name.NameLength()))) return false;
            if (name.Namespace() != TFileNameView::kDosNamespace && name.NameLength() != 0)
                TakeFileName(name, ctx, isExtension, [&] { return LookupBase(base48); });
        } else if (type == kAttrAttributeList) {
            if (!inside(a, Attr::kValueOffset + 2)) return false;
            if (const uint32_t valueLength = attr.ValueLength(); valueLength != 0) {
                const size_t start = a + attr.ValueOffset();
                if (!ForEachAttributeListEntry(buffer, start, start + valueLength, size,
                                               [&](const TAttributeListEntryView& e) {
                                                   runs.AttribList.push_back(
                                                       TATTRIB_RECORD{e.Type(), e.FileReference(),
                                                                      e.NameLength()});
                                               }))
                    return false;
                runs.NumAttrib = int32_t(runs.AttribList.size());
            }
        } else if (type == kAttrData) {
            if (nonResident == 1) {
                if (!inside(a, Attr::kRealSize + 8)) return false;
                // The mapping pairs follow the 64-byte non-resident header inside the
                // attribute; anything else is no such header (a damaged residency flag, say)
                // and its sizes mean nothing. Runs that reach outside the record are malformed
                // all the same. The size fields hold only in a stream's first piece.
                const size_t runsAt = attr.MappingPairsOffset();
                uint64_t clusters;
                if (!DecodeRuns(buffer, size, a + runsAt, storeRuns, runs, clusters)) return false;
                if (length < Attr::kNonResidentHeaderBytes ||
                    runsAt < Attr::kNonResidentHeaderBytes || runsAt >= length) {
                    rec.SizeDamaged = true;
                    runs.NumDataRuns = 0;
                    runs.DataRuns.clear();
                } else {
                    if (nameLength == 0 && attr.LowestVcn() == 0) {
                        // All 64 bits: sparse files reach 2^63 - 1 bytes.
                        rec.FileSize = attr.RealSize();
                        rec.HasFileSizeFlags |= 1;
                        sizeSet = true;
                    }
                    // Allocation is the sum of the runs that have clusters: holes and
                    // compressed-away clusters do not count, named streams do.
                    rec.AllocSize = SaturatingAdd(rec.AllocSize, ClusterBytes(clusters, bpc));
                    if (clusters > 0) {
                        rec.HasFileSizeFlags |= 2;
                        sizeSet = true;
                    }
                }
            } else if (nameLength == 0) {
                if (!inside(a, Attr::kValueLength + 4)) return false;
                rec.FileSize = attr.ValueLength();
                rec.AllocSize = 0;
                rec.HasFileSizeFlags = 3; // the data lives in the record
                sizeSet = true;
            }
            ShareWithExtraNames(ctx);
        }
        a += length;
    }

    if (isExtension || runs.NumAttrib > 0)
        MergeExtensionSizes(ctx, sizeSet, outOfSequence, volumeBytes);
    ClampToVolume(rec, volumeBytes);
    for (size_t i = 0; i < ctx.numExtra; ++i) {
        TMFT_RECORD& e = ctx.extraNames[i].Rec;
        e.SizeDamaged |= rec.SizeDamaged;
        ClampToVolume(e, volumeBytes);
    }
    return true;
}

// Sizes that live in another FILE record: an extension record adds its allocation to its base
// record and, when it holds the unnamed stream's size, hands that to the base and to the
// base's other names; a base record whose attribute list names extension records stored
// before it takes their allocation.
void TNTFS_FILES::MergeExtensionSizes(TDecodeContext& ctx, bool sizeSet, bool outOfSequence,
                                      uint64_t volumeBytes) {
    TMFT_RECORD& rec = ctx.rec;
    const TRecordRuns& runs = ctx.runs;
    const uint64_t base48 = ctx.BaseFileRec & kRecNoMask;
    const bool isExtension = ctx.BaseFileRec != 0;
    if (isExtension) {
        rec.IndexMe = true;
        if (PMFT_RECORD b = LookupBase(base48)) {
            b->AllocSize = SaturatingAdd(b->AllocSize, rec.AllocSize);
            b->SizeDamaged |= rec.SizeDamaged;
            ClampToVolume(*b, volumeBytes);
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
                    rec.AllocSize = SaturatingAdd(rec.AllocSize, it->second->AllocSize);
                    rec.SizeDamaged |= it->second->SizeDamaged;
                }
            }
        }
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
                        m->HasFileSizeFlags = b->HasFileSizeFlags;
                    }
                }
            }
        }
    }
}

} // namespace qz
