// Storing decoded records into the scan and the batch step of an MFT pass.
#include "base/debuglog.h"
#include "engine/collation.h"
#include "engine/scan.h"
#include "engine/tree.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace qz {

bool TNTFS_FILES::StoreDecodedRecord(const TMFT_RECORD& rec, uint64_t BaseFileRec, bool IsLinkEntry,
                                     bool& FreeEntryLater) {
    FreeEntryLater = false;
    if (!rec.InUse()) return false;
    if (rec.ParentRec == 0 && !ValidMFTRecNo(rec.RecNo)) return false;
    TRecordArena& arena = Arena();
    const bool isExtension = BaseFileRec != 0;
    const uint64_t base48 = BaseFileRec & kRecNoMask;
    // A record that names a parent or base record outside the table is corrupt: it could never
    // join the tree, and its number must not size the index arrays.
    if (NumMFTRecords > 0 && (uint64_t(rec.ParentRec) >= uint64_t(NumMFTRecords) ||
                              (isExtension && base48 >= uint64_t(NumMFTRecords))))
        return false;

    if (rec.IsFolder()) {
        bool took = false;
        PMFT_RECORD target = nullptr;
        int idx;
        if (!isExtension) {
            idx = SearchDirRec(rec.RecNo);
            if (idx >= 0 && FDirList[size_t(idx)]) {
                target = FDirList[size_t(idx)];
                if (target->HasName()) return false;
                took = true;
                CopyRecord(rec, *target);
                target->Filename = nullptr;
                if (rec.Filename) SetRecordName(*target, rec.Name(), arena);
                if (!target->Folder) target->Folder = arena.NewFolder();
            } else {
                idx = -1;
                target = NewRecordFrom(rec, arena);
            }
        } else {
            idx = SearchDirRec(base48);
            if (idx >= 0 && FDirList[size_t(idx)]) {
                target = FDirList[size_t(idx)];
                if (target->HasName()) return false;
                if (rec.Filename) {
                    SetRecordName(*target, rec.Name(), arena);
                    target->ParentRec = rec.ParentRec;
                }
                target->RecNo = base48;
            } else {
                idx = -1;
                target = NewRecordFrom(rec, arena);
                target->RecNo = base48;
                target->FromExtension = true;
            }
        }

        const int pidx = SearchDirRec(target->ParentRec);
        if (pidx >= 0 && FDirList[size_t(pidx)] != target) {
            target->ParentMFTRec = FDirList[size_t(pidx)];
        } else if (pidx >= 0) {
            // The root: its parent is itself.
            if (target->Name() == u".") {
                SetRecordName(*target, RootName(), arena);
            }
        } else if (rec.RecNo != 5 && rec.ParentRec != 0) {
            target->ParentMFTRec = NewPlaceholder(target->ParentRec);
        }
        if (idx >= 0) return took;
        AddToDirList(target);
        AddToFileList(target);
        FLastDirIndexRecNo = kNoDirCache;
        return true;
    }

    // File records.
    const uint64_t key = isExtension ? base48 : uint64_t(rec.RecNo);
    PMFT_RECORD existing = nullptr;
    int idx = -1;
    if (auto it = FExFileList.find(key); it != FExFileList.end()) {
        existing = it->second;
        idx = 0;
        if (existing->FileSize == 0 && rec.FileSize != 0) existing->FileSize = rec.FileSize;
        if (existing->AllocSize == 0 && rec.AllocSize != 0) existing->AllocSize = rec.AllocSize;
        if (int64_t(existing->ModifiedDate) == 0) existing->ModifiedDate = rec.ModifiedDate;
        if (int64_t(existing->LastAccessDate) == 0) existing->LastAccessDate = rec.LastAccessDate;
        if (int64_t(existing->CreatedDate) == 0) existing->CreatedDate = rec.CreatedDate;
        existing->DOSAttrib |= rec.DOSAttrib;
        existing->SizeDamaged |= rec.SizeDamaged;
        if (!IsLinkEntry && existing->HasName() && !isExtension) return false;
        if (rec.Filename && !existing->HasName()) {
            SetRecordName(*existing, rec.Name(), arena);
            existing->ParentRec = rec.ParentRec;
        }
    }
    if (existing && IsLinkEntry && existing->HasName()) {
        if (existing->ParentRec == rec.ParentRec &&
            CompareNames(rec.Filename, existing->Filename) == 0)
            existing->DoNotCountFlag = false; // the extra name is the existing record itself
        else
            idx = -1;
    }
    if (idx < 0 && isExtension && rec.RecNo > key && !IsLinkEntry) return false;

    const int pidx = SearchDirRec(rec.ParentRec);
    PMFT_RECORD target;
    if (idx < 0) {
        target = NewRecordFrom(rec, arena);
        if (target->IndexMe) FIndexFileList.try_emplace(uint64_t(target->RecNo), target);
        target->RecNo = key;
        target->FromExtension = isExtension;
    } else {
        target = existing;
    }
    if (pidx >= 0) {
        if (!target->ParentMFTRec) target->ParentMFTRec = FDirList[size_t(pidx)];
    } else if (rec.ParentRec != 0) {
        PMFT_RECORD ph = NewPlaceholder(rec.ParentRec);
        if (!target->ParentMFTRec) target->ParentMFTRec = ph;
    }
    if (idx >= 0) return false;

    if (!target->HasName() || isExtension || (target->FileSize == 0 && !IsLinkEntry))
        FExFileList.try_emplace(key, target);
    const bool primary = AddToFileList(target);
    // Records whose sizes may still arrive from an extension record are remembered per base
    // number so that the extension can update them. Only entries other than the primary one
    // are ever updated through this list (the primary entry is updated directly), so only
    // those are kept: the dictionary stays small.
    if (target->HasFileSizeFlags != 3 && !primary) FBaseFileList[key].push_back(target);
    if (!primary) FreeEntryLater = true;
    return true;
}

void TNTFS_FILES::ProcessRecordBatch(TDecodeContext& ctx, uint8_t* data, uint64_t firstRecNo,
                                     size_t count, bool readRaw) {
    const size_t bpr = BytesPerRecord();
    uint64_t recno = firstRecNo;
    for (size_t n = 0; n < count; ++n, ++recno) {
        if (NumMFTRecords > 0 && int64_t(recno) >= NumMFTRecords) break;
        if (DecodeFileRecord(data + n * bpr, ctx, recno, false, false, readRaw)) {
            bool later = false;
            StoreDecodedRecord(ctx.rec, ctx.BaseFileRec, false, later);
            for (size_t i = 0; i < ctx.numExtra; ++i)
                StoreDecodedRecord(ctx.extraNames[i].Rec, ctx.BaseFileRec, true, later);
        }
    }
}

void TNTFS_FILES::ProcessOutOfSequence(TDecodeContext& ctx) {
    const size_t bpr = BytesPerRecord();
    for (auto& buf : FOOSFileList) {
        if (buf.size() < 8 + bpr) continue;
        uint64_t recno;
        std::memcpy(&recno, buf.data(), 8);
        if (DecodeFileRecord(buf.data() + 8, ctx, recno, false, true, true)) {
            bool later = false;
            StoreDecodedRecord(ctx.rec, ctx.BaseFileRec, false, later);
            for (size_t i = 0; i < ctx.numExtra; ++i)
                StoreDecodedRecord(ctx.extraNames[i].Rec, ctx.BaseFileRec, true, later);
        }
    }
    FOOSFileList.clear();
    FOOSFileList.shrink_to_fit();
}

} // namespace qz
