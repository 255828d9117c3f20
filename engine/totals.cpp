// Folder totals and children lists, rebuilt from scratch in one pass over the record list.
#include "engine/scan.h"

#include <cmath>
#include <vector>

namespace qz {

void TNTFS_FILES::EnsureFolderBlocks() {
    for (PMFT_RECORD r : FDirList)
        if (r && !r->Folder) r->Folder = Arena().NewFolder();
    for (PMFT_RECORD r : FFileList)
        if (r && r->IsFolder() && !r->Folder) r->Folder = Arena().NewFolder();
}

void TNTFS_FILES::CalculateDirSizes(bool reset, bool wascsvfile, bool CSVHasFilesFlag_,
                                    bool foldersonlyfilter, bool ignorefilter) {
    EnsureFolderBlocks();
    for (PMFT_RECORD r : FFileList)
        if (r && r->Folder) r->Folder->ChildCount = 0, r->Folder->ChildData = nullptr;
    const bool csvFoldersOnly = wascsvfile && !CSVHasFilesFlag_;

    if (reset) {
        for (PMFT_RECORD r : FFileList) {
            if (!r) continue;
            r->SubFoldersTotSize = 0;
            r->SubFoldersTotSizeAlloc = 0;
            TFolderData* f = r->Folder;
            if (f) {
                f->ThisFolderNumFiles = 0;
                f->ThisFolderNumDirs = 0;
                f->ThisFolderTotSize = 0;
                f->ThisFolderTotSizeAlloc = 0;
            }
            if (csvFoldersOnly) {
                r->SubFoldersTotSize = r->FileSize;
                r->SubFoldersTotSizeAlloc = r->AllocSize;
            } else {
                if (!wascsvfile && foldersonlyfilter) {
                    r->SubFoldersTotSize = r->FileSize;
                    r->SubFoldersTotSizeAlloc = r->AllocSize;
                }
                if (f) {
                    f->SubFoldersNumFiles = 0;
                    f->SubFoldersNumDirs = 0;
                }
            }
        }
    }

    // Allocation calibration: $UpCase always holds 131072 bytes in whole clusters, so its
    // allocation equals its size; a dump read with the wrong cluster size is corrected here.
    uint64_t mul = 1, div = 1;
    if (FFileList.size() >= 11) {
        PMFT_RECORD u = FFileList[10];
        if (u && u->Name() == u"$UpCase" && u->FileSize > 0 && u->AllocSize > 0) {
            double m = std::nearbyint(double(u->FileSize) / double(u->AllocSize));
            double d = std::nearbyint(double(u->AllocSize) / double(u->FileSize));
            mul = m < 1 ? 1 : uint64_t(m);
            div = d < 1 ? 1 : uint64_t(d);
        }
    }

    const int inc = csvFoldersOnly ? 0 : 1;
    const bool showMax = FShowMaxModifiedDate;
    size_t childTotal = 0;
    std::vector<PMFT_RECORD> parents; // every record that received a child, first time only
    auto countChild = [&](PMFT_RECORD parent) {
        if (!parent->Folder) parent->Folder = Arena().NewFolder();
        if (parent->Folder->ChildCount++ == 0) parents.push_back(parent);
        ++childTotal;
    };
    for (PMFT_RECORD q : FFileList) {
        if (!q) continue;
        if (q->Filtered && !wascsvfile && !ignorefilter) continue;
        if (mul != 1 || div != 1) q->AllocSize = q->AllocSize * mul / div;
        PMFT_RECORD parent = q->ParentMFTRec;
        if (!q->IsFolder()) {
            const uint64_t size = q->FileSize;
            const uint64_t alloc = q->DoNotCountFlag ? 0 : q->AllocSize;
            q->SubFoldersTotSize = size;
            q->SubFoldersTotSizeAlloc = q->AllocSize;
            if (q->Folder) {
                q->Folder->ThisFolderTotSize = size;
                q->Folder->ThisFolderTotSizeAlloc = q->AllocSize;
            }
            if (q->Deleted || !parent) continue;
            countChild(parent);
            TFolderData* pf = parent->Folder;
            ++pf->ThisFolderNumFiles;
            pf->ThisFolderTotSize += size;
            pf->ThisFolderTotSizeAlloc += alloc;
            const TDateTime date = q->ModifiedDate;
            for (PMFT_RECORD a = parent; a; a = a->ParentMFTRec) {
                if (!a->Folder) a->Folder = Arena().NewFolder();
                ++a->Folder->SubFoldersNumFiles;
                a->SubFoldersTotSize += size;
                a->SubFoldersTotSizeAlloc += alloc;
                if (showMax && date > a->ModifiedDate) a->ModifiedDate = date;
            }
        } else {
            if (q->Deleted || !parent) continue;
            countChild(parent);
            parent->Folder->ThisFolderNumDirs += inc;
            if (inc)
                for (PMFT_RECORD a = parent; a; a = a->ParentMFTRec) {
                    if (!a->Folder) a->Folder = Arena().NewFolder();
                    a->Folder->SubFoldersNumDirs += inc;
                }
        }
    }

    // Children lists: one contiguous block, each folder's slice in record-list order.
    FChildStore.assign(childTotal, nullptr);
    size_t offset = 0;
    for (PMFT_RECORD r : parents) {
        r->Folder->ChildData = FChildStore.data() + offset;
        offset += r->Folder->ChildCount;
        r->Folder->ChildCount = 0; // refilled below
    }
    for (PMFT_RECORD q : FFileList) {
        if (!q || q->Deleted || !q->ParentMFTRec) continue;
        if (q->Filtered && !wascsvfile && !ignorefilter) continue;
        TFolderData* pf = q->ParentMFTRec->Folder;
        pf->ChildData[pf->ChildCount++] = q;
    }
}

} // namespace qz
