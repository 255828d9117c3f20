// Folder totals and children lists, rebuilt from scratch.
//
// Every counted record adds its size, allocation, count and date to all of its ancestors.
// Walking each record's ancestor chain costs the sum of all depths in scattered memory
// accesses; instead each record adds to its direct parent only (the parent's ThisFolder*
// figures), and those amounts then flow up folder by folder, deepest folders first. The result
// is the same: a folder passes on everything that arrived from below, whether or not the folder
// itself is counted.
//
// Sums stop at the largest value instead of wrapping round (three sparse files of 2^63 - 1
// bytes, a damaged size): such a folder is marked TotalSaturated and counted.
#include "engine/scan.h"

#include <cmath>
#include <vector>

namespace qz {

void TNTFS_FILES::CalculateDirSizes(const TTotalsOptions& options) {
    const bool csvFoldersOnly = WasCSVFile && !CSVHasFilesFlag;
    // Folders-only data carries its totals in the records' own size fields.
    const bool seeded = csvFoldersOnly || (!WasCSVFile && options.FoldersOnlyFilter);
    auto resetRecord = [&](PMFT_RECORD r) {
        r->SubFoldersTotSize = seeded ? r->FileSize : 0;
        r->SubFoldersTotSizeAlloc = seeded ? r->AllocSize : 0;
        if (TFolderData* f = r->Folder) {
            f->ThisFolderNumFiles = 0;
            f->ThisFolderNumDirs = 0;
            f->ThisFolderTotSize = 0;
            f->ThisFolderTotSizeAlloc = 0;
            if (!csvFoldersOnly) { // a folders-only import keeps the counts it read
                f->SubFoldersNumFiles = 0;
                f->SubFoldersNumDirs = 0;
            }
        }
    };

    // Every record that can receive children gets a folder block, numbered (Reserved) in
    // `folders`. Parents are folder-list entries (folders and placeholders); anything else
    // found as a parent joins on the way.
    std::vector<PMFT_RECORD> folders;
    folders.reserve(FDirList.size() + 16);
    auto isListed = [&](PMFT_RECORD r) {
        return r->Folder && r->Folder->Reserved < folders.size() &&
               folders[r->Folder->Reserved] == r;
    };
    auto addFolder = [&](PMFT_RECORD r) {
        if (!r->Folder) r->Folder = Arena().NewFolder();
        r->Folder->ChildCount = 0;
        r->Folder->ChildData = nullptr;
        r->Folder->Reserved = uint32_t(folders.size());
        folders.push_back(r);
        resetRecord(r);
    };
    for (PMFT_RECORD r : FDirList)
        if (r && !isListed(r)) addFolder(r);

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

    const uint64_t volumeBytes =
        FVolData.TotalClusters > 0 && FVolData.BytesPerCluster > 0 &&
                uint64_t(FVolData.TotalClusters) <= UINT64_MAX / FVolData.BytesPerCluster
            ? uint64_t(FVolData.TotalClusters) * FVolData.BytesPerCluster
            : 0;
    const uint64_t scaleLimit = volumeBytes != 0 ? volumeBytes : UINT64_MAX;

    // Direct contributions: each counted record to its parent's folder block. The children are
    // counted on the way and placed by a second pass over the list once their counts are
    // known (a list of the children on the side would cost more memory than the whole
    // children storage at the scan's peak). Newest file dates (only when folders show them)
    // travel in a side array.
    const bool showMax = FShowMaxModifiedDate;
    std::vector<TDateTime> newest;
    if (showMax) newest.assign(folders.size(), -1e300);
    size_t numKids = 0;
    const int inc = csvFoldersOnly ? 0 : 1;
    int64_t damagedSizes = 0;
    const size_t n = FFileList.size();
    PMFT_RECORD* list = FFileList.data();
    for (size_t i = 0; i < n; ++i) {
        // The parent's record and folder block are scattered in memory: fetch them ahead.
        if (i + 16 < n && list[i + 16] && list[i + 16]->ParentMFTRec)
            __builtin_prefetch(list[i + 16]->ParentMFTRec);
        if (i + 8 < n && list[i + 8] && list[i + 8]->ParentMFTRec)
            __builtin_prefetch(list[i + 8]->ParentMFTRec->Folder);
        PMFT_RECORD q = list[i];
        if (!q) continue;
        if (!isListed(q)) {
            if (q->IsFolder()) {
                addFolder(q);
                if (showMax) newest.push_back(-1e300);
            } else {
                resetRecord(q);
            }
        }
        const bool counted = !q->Filtered || WasCSVFile || options.IgnoreFilter;
        if (counted && (mul != 1 || div != 1)) {
            // A damaged $UpCase record must not scale allocations past the volume.
            const unsigned __int128 scaled = (unsigned __int128)q->AllocSize * mul / div;
            if (scaled > scaleLimit) {
                q->AllocSize = scaleLimit;
                q->SizeDamaged = true;
            } else {
                q->AllocSize = uint64_t(scaled);
            }
        }
        damagedSizes += q->SizeDamaged;
        if (!counted) continue;
        PMFT_RECORD parent = q->ParentMFTRec;
        if (!q->IsFolder()) {
            q->SubFoldersTotSize = q->FileSize;
            q->SubFoldersTotSizeAlloc = q->AllocSize;
            if (q->Folder) {
                q->Folder->ThisFolderTotSize = q->FileSize;
                q->Folder->ThisFolderTotSizeAlloc = q->AllocSize;
            }
            if (q->Deleted || !parent) continue;
            if (!isListed(parent)) {
                addFolder(parent);
                if (showMax) newest.push_back(-1e300);
            }
            TFolderData* pf = parent->Folder;
            ++pf->ChildCount;
            ++pf->ThisFolderNumFiles;
            pf->ThisFolderTotSize = SaturatingAdd(pf->ThisFolderTotSize, q->FileSize);
            if (!q->DoNotCountFlag)
                pf->ThisFolderTotSizeAlloc =
                    SaturatingAdd(pf->ThisFolderTotSizeAlloc, q->AllocSize);
            if (showMax && q->ModifiedDate > newest[pf->Reserved])
                newest[pf->Reserved] = q->ModifiedDate;
            ++numKids;
        } else {
            if (q->Deleted || !parent) continue;
            if (!isListed(parent)) {
                addFolder(parent);
                if (showMax) newest.push_back(-1e300);
            }
            TFolderData* pf = parent->Folder;
            ++pf->ChildCount;
            pf->ThisFolderNumDirs += inc;
            ++numKids;
        }
    }

    // Children lists: one contiguous block, each folder's slice in record-list order.
    FChildStore.assign(numKids, nullptr);
    size_t offset = 0;
    for (PMFT_RECORD r : folders) {
        if (r->Folder->ChildCount == 0) continue;
        r->Folder->ChildData = FChildStore.data() + offset;
        offset += r->Folder->ChildCount;
        r->Folder->ChildCount = 0; // refilled below
    }
    // The same records as counted above, in the same order: counted, not deleted, with a
    // parent (which has a folder block by now).
    for (size_t i = 0; i < n; ++i) {
        PMFT_RECORD q = list[i];
        if (!q || q->Deleted || !q->ParentMFTRec) continue;
        if (q->Filtered && !WasCSVFile && !options.IgnoreFilter) continue;
        TFolderData* pf = q->ParentMFTRec->Folder;
        pf->ChildData[pf->ChildCount++] = q;
    }

    Anomalies.DamagedSizes = damagedSizes;
    Anomalies.SaturatedTotals = 0;
    // A folders-only import carries complete totals already: nothing flows up.
    if (csvFoldersOnly) return;

    // Depth of every folder (memoised along parent chains). A parent chain that loops back on
    // itself is cut where the loop closes.
    const size_t nf = folders.size();
    std::vector<uint32_t> depth(nf, 0);
    std::vector<uint8_t> state(nf, 0); // 0 unknown, 1 on the current chain, 2 known
    std::vector<uint32_t> chain;
    uint32_t maxDepth = 0;
    for (size_t i = 0; i < nf; ++i) {
        if (state[i] == 2) continue;
        chain.clear();
        uint32_t base = 0;
        for (PMFT_RECORD r = folders[i];;) {
            const uint32_t k = r->Folder->Reserved;
            if (state[k] == 2) {
                base = depth[k] + 1;
                break;
            }
            if (state[k] == 1) break; // a loop: the chain so far starts a new top
            state[k] = 1;
            chain.push_back(k);
            PMFT_RECORD p = r->ParentMFTRec;
            if (!p || !isListed(p)) break;
            r = p;
        }
        for (size_t j = chain.size(); j-- > 0;) {
            depth[chain[j]] = base++;
            state[chain[j]] = 2;
            if (depth[chain[j]] > maxDepth) maxDepth = depth[chain[j]];
        }
    }

    // Deepest first: a folder's contribution is what arrived from its subfolders (added on top
    // of its seed) plus its direct files; it is final before its parent is visited.
    std::vector<uint32_t> start(size_t(maxDepth) + 2, 0), order(nf);
    for (size_t i = 0; i < nf; ++i) ++start[depth[i] + 1];
    for (size_t d = 1; d < start.size(); ++d) start[d] += start[d - 1];
    for (size_t i = 0; i < nf; ++i) order[start[depth[i]]++] = uint32_t(i);
    int64_t saturated = 0;
    for (size_t j = nf; j-- > 0;) {
        const uint32_t k = order[j];
        PMFT_RECORD f = folders[k];
        TFolderData* fd = f->Folder;
        const uint64_t seedSize = seeded ? f->FileSize : 0;
        const uint64_t seedAlloc = seeded ? f->AllocSize : 0;
        // What arrived from below sits on top of the seed; a sum that stopped at the largest
        // value stays there.
        auto fromBelow = [](uint64_t total, uint64_t seed) {
            return total == UINT64_MAX ? UINT64_MAX : total - seed;
        };
        const uint64_t size =
            SaturatingAdd(fromBelow(f->SubFoldersTotSize, seedSize), fd->ThisFolderTotSize);
        const uint64_t alloc = SaturatingAdd(fromBelow(f->SubFoldersTotSizeAlloc, seedAlloc),
                                             fd->ThisFolderTotSizeAlloc);
        const int32_t files = fd->SubFoldersNumFiles + fd->ThisFolderNumFiles;
        const int32_t dirs = fd->SubFoldersNumDirs + fd->ThisFolderNumDirs;
        f->SubFoldersTotSize = SaturatingAdd(seedSize, size);
        f->SubFoldersTotSizeAlloc = SaturatingAdd(seedAlloc, alloc);
        f->TotalSaturated =
            f->SubFoldersTotSize == UINT64_MAX || f->SubFoldersTotSizeAlloc == UINT64_MAX;
        saturated += f->TotalSaturated;
        fd->SubFoldersNumFiles = files;
        fd->SubFoldersNumDirs = dirs;
        PMFT_RECORD p = f->ParentMFTRec;
        const bool up = p && isListed(p) && depth[p->Folder->Reserved] < depth[k];
        if (up) {
            p->SubFoldersTotSize = SaturatingAdd(p->SubFoldersTotSize, size);
            p->SubFoldersTotSizeAlloc = SaturatingAdd(p->SubFoldersTotSizeAlloc, alloc);
            p->Folder->SubFoldersNumFiles += files;
            p->Folder->SubFoldersNumDirs += dirs;
        }
        if (showMax) {
            if (up && newest[k] > newest[p->Folder->Reserved])
                newest[p->Folder->Reserved] = newest[k];
            if (newest[k] > f->ModifiedDate) f->ModifiedDate = newest[k];
        }
    }
    Anomalies.SaturatedTotals = saturated;
}

} // namespace qz
