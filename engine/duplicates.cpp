#include "engine/duplicates.h"

#include "engine/collation.h"
#include "engine/tree.h"

#include <algorithm>
#include <cmath>

namespace qz {

void NormalizeDupName(std::u16string_view name, std::u16string& out) {
    const TCollationTable& t = DefaultFoldTable();
    out.resize(name.size());
    for (size_t i = 0; i < name.size(); ++i) out[i] = t[name[i]];
    size_t dot = out.rfind(u'.');
    size_t baseEnd = dot == std::u16string::npos ? out.size() : dot;
    size_t b = baseEnd;
    // " (N)" with N a positive integer
    if (b >= 4 && out[b - 1] == u')') {
        size_t d = b - 1;
        size_t digitsEnd = d;
        while (d > 0 && out[d - 1] >= u'0' && out[d - 1] <= u'9') --d;
        bool positive = false;
        for (size_t k = d; k < digitsEnd; ++k) positive |= out[k] != u'0';
        if (d < digitsEnd && positive && d >= 2 && out[d - 1] == u'(' && out[d - 2] == u' ')
            b = d - 2;
    }
    static constexpr std::u16string_view kCopy = u" - copy";
    if (b >= kCopy.size() &&
        std::u16string_view(out).substr(b - kCopy.size(), kCopy.size()) == kCopy)
        b -= kCopy.size();
    if (b != baseEnd) out.erase(b, baseEnd - b);
}

std::u16string NormalizeDupName(std::u16string_view name) {
    std::u16string s;
    NormalizeDupName(name, s);
    return s;
}

void GroupDuplicatesSorted(TNTFS_FILES& owner, std::span<const PMFT_RECORD> sorted, int method,
                           const std::function<bool()>& cancelled, const TDupProgress& progress) {
    for (PMFT_RECORD r : sorted) r->DupFiles = nullptr;
    owner.DupGroups.clear();
    std::u16string prevName, curName;
    PMFT_RECORD prev = nullptr;
    TDUPFILES* group = nullptr; // the group of the current run, nil while it has no pair yet
    int lastPct = 0;
    const size_t n = sorted.size();
    for (size_t i = 0; i < n; ++i) {
        PMFT_RECORD r = sorted[i];
        NormalizeDupName(r->Name(), curName);
        bool joins = prev && curName == prevName &&
                     r->SubFoldersTotSize == prev->SubFoldersTotSize &&
                     r->SubFoldersNumFiles() == prev->SubFoldersNumFiles() &&
                     r->SubFoldersNumDirs() == prev->SubFoldersNumDirs() &&
                     (r->SubFoldersTotSize != 0 || r->SubFoldersTotSizeAlloc != 0);
        if (joins && method == 2) joins = std::fabs(r->ModifiedDate - prev->ModifiedDate) < 1e-5;
        if (joins) {
            if (!group) {
                group = &owner.DupGroups.emplace_back();
                group->dupcount = 1;
                group->dupfiles = {prev, r};
                prev->DupFiles = group;
            } else {
                group->dupfiles.push_back(r);
                ++group->dupcount;
            }
            r->DupFiles = group;
            // The run's comparison values stay those of its first record.
        } else {
            prev = r;
            prevName.swap(curName);
            group = nullptr;
        }
        if (cancelled && cancelled()) break;
        if (progress && n > 0) {
            int pct = int((i + 1) * 100 / n);
            if (pct >= lastPct + 5) {
                lastPct = pct;
                progress(pct);
            }
        }
    }
}

std::vector<PMFT_RECORD> SortedForDuplicates(std::span<TNTFS_FILES* const> scans) {
    std::vector<PMFT_RECORD> all;
    size_t total = 0;
    for (auto* s : scans)
        if (s) total += s->FFileList.size();
    all.reserve(total);
    for (auto* s : scans)
        if (s)
            for (PMFT_RECORD r : s->FFileList)
                if (r) all.push_back(r);
    std::sort(all.begin(), all.end(),
              [](PMFT_RECORD a, PMFT_RECORD b) { return CompareForDuplicates(a, b) < 0; });
    return all;
}

bool LocateDuplicates(std::span<TNTFS_FILES* const> scans, int method,
                      const TDupProgress& progress) {
    if (scans.empty() || !scans[0] || method == 0 || scans[0]->DuplicatesLocatedMethod == method)
        return false;
    scans[0]->DuplicatesLocatedMethod = uint8_t(method);
    std::vector<PMFT_RECORD> sorted = SortedForDuplicates(scans);
    TNTFS_FILES* first = scans[0];
    GroupDuplicatesSorted(
        *first, sorted, method, [first] { return first->Cancelled(); }, progress);
    return true;
}

} // namespace qz
