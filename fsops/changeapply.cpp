#include "fsops/changeapply.h"

#include "base/text.h"

#include <algorithm>
#include <string_view>
#include <unordered_map>

namespace qz {

void MarkDeleted(PMFT_RECORD rec, std::vector<PMFT_RECORD>& marked) {
    if (!rec) return;
    std::vector<PMFT_RECORD> stack{rec};
    while (!stack.empty()) {
        PMFT_RECORD r = stack.back();
        stack.pop_back();
        if (!r->Deleted) {
            r->Deleted = true;
            marked.push_back(r);
        }
        for (PMFT_RECORD c : r->Children())
            if (c && !c->Deleted) stack.push_back(c);
    }
}

void FindRemovedRecords(const TChangeBatch& batch, std::vector<PMFT_RECORD>& found) {
    // Removals grouped by folder: a folder with many removals is looked up through a table of
    // its children's names, built once.
    std::vector<uint32_t> order;
    order.reserve(batch.Removals.size());
    for (uint32_t i = 0; i < batch.Removals.size(); ++i)
        if (batch.Removals[i].Folder) order.push_back(i);
    std::stable_sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
        return batch.Removals[a].Folder < batch.Removals[b].Folder;
    });
    std::u16string name;
    std::unordered_map<std::u16string_view, PMFT_RECORD> byName;
    for (size_t g = 0; g < order.size();) {
        PMFT_RECORD folder = batch.Removals[order[g]].Folder;
        size_t end = g;
        while (end < order.size() && batch.Removals[order[end]].Folder == folder) ++end;
        const bool table = end - g > 8;
        if (table) {
            byName.clear();
            byName.reserve(folder->Children().size());
            for (PMFT_RECORD c : folder->Children())
                if (c) byName.emplace(c->Name(), c);
        }
        for (size_t k = g; k < end; ++k) {
            const TRemoval& r = batch.Removals[order[k]];
            if (r.NameLength == 0) {
                if (!folder->Deleted) found.push_back(folder); // the folder itself (a root)
                continue;
            }
            name.clear();
            Utf8ToUtf16(batch.NameOf(r), name);
            PMFT_RECORD match = nullptr;
            if (table) {
                auto it = byName.find(std::u16string_view(name));
                if (it != byName.end()) match = it->second;
            } else {
                for (PMFT_RECORD c : folder->Children())
                    if (c && c->Name() == std::u16string_view(name)) {
                        match = c;
                        break;
                    }
            }
            if (match && !match->Deleted) found.push_back(match);
        }
        g = end;
    }
}

size_t ApplyRemovals(const TChangeBatch& batch, std::vector<PMFT_RECORD>& marked) {
    const size_t before = marked.size();
    std::vector<PMFT_RECORD> found;
    FindRemovedRecords(batch, found);
    for (PMFT_RECORD r : found) MarkDeleted(r, marked);
    return marked.size() - before;
}

size_t MarkBelowDeletedFolders(TNTFS_FILES& scan, std::vector<PMFT_RECORD>& marked) {
    const size_t before = marked.size();
    // Usually one round: a folder walk lists a folder before what is in it.
    for (bool changed = true; changed;) {
        changed = false;
        for (PMFT_RECORD r : scan.FFileList) {
            if (!r || r->Deleted || !r->ParentMFTRec || !r->ParentMFTRec->Deleted) continue;
            r->Deleted = true;
            marked.push_back(r);
            changed = true;
        }
    }
    return marked.size() - before;
}

void MoveHardLinkCounts(const std::vector<std::vector<PMFT_RECORD>>& groups) {
    for (const std::vector<PMFT_RECORD>& names : groups) {
        PMFT_RECORD counted = nullptr, remaining = nullptr;
        for (PMFT_RECORD r : names) {
            if (!r->DoNotCountFlag && !r->Deleted) counted = r;
            if (!r->Deleted && !remaining) remaining = r;
        }
        if (counted || !remaining) continue;
        // The counted name went: the first remaining name counts the allocation now.
        for (PMFT_RECORD r : names) r->DoNotCountFlag = r != remaining;
    }
}

void RecomputeTotals(TNTFS_FILES& scan, bool foldersOnlyFilter) {
    // A folder cut out of a volume's scan was summed without its filter flags.
    const bool ignoreFilter = foldersOnlyFilter || scan.IsSourceSubtree();
    scan.CalculateDirSizes({.FoldersOnlyFilter = foldersOnlyFilter, .IgnoreFilter = ignoreFilter});
}

} // namespace qz
