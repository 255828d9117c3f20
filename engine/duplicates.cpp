#include "engine/duplicates.h"

#include "engine/collation.h"
#include "engine/tree.h"

#include <algorithm>
#include <atomic>
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

namespace {
// The scan whose member table DupGroupOf reads: the owner of the last grouping pass. Grouping
// and reading do not overlap (a view drops the rows it shows before the groups are rebuilt).
std::atomic<TNTFS_FILES*> gDupOwner{nullptr};

// Another scan's pass takes over from previous: its members are found no longer (their table
// is given back), and it groups again when it is asked to.
void RetireDupOwner(TNTFS_FILES& previous) {
    std::unordered_map<const TMFT_RECORD*, TDUPFILES*>().swap(previous.DupMembers);
    previous.DuplicatesLocatedMethod = 0;
}
} // namespace

TDUPFILES* DupGroupOf(const TMFT_RECORD* rec) {
    const TNTFS_FILES* owner = gDupOwner.load(std::memory_order_acquire);
    if (!owner || owner->DupMembers.empty()) return nullptr;
    const auto it = owner->DupMembers.find(rec);
    return it == owner->DupMembers.end() ? nullptr : it->second;
}

void SetDupGroup(TNTFS_FILES& owner, const TMFT_RECORD* rec, TDUPFILES* group) {
    TNTFS_FILES* previous = gDupOwner.exchange(&owner, std::memory_order_acq_rel);
    if (previous && previous != &owner) RetireDupOwner(*previous);
    if (group)
        owner.DupMembers[rec] = group;
    else
        owner.DupMembers.erase(rec);
}

void ForgetDupMembers(TNTFS_FILES& scan, bool ending) {
    if (scan.DupGroupsLeft) return;
    TNTFS_FILES* owner = gDupOwner.load(std::memory_order_acquire);
    if (!owner) return;
    if (ending && owner == &scan) {
        gDupOwner.store(nullptr, std::memory_order_release);
        return;
    }
    if (owner->DupMembers.empty()) return;
    for (PMFT_RECORD r : scan.FFileList)
        if (r) owner->DupMembers.erase(r);
}

void LeaveDupGroups(std::span<TNTFS_FILES* const> scans) {
    // The owner first: once it has gone, no record of any scan is a member.
    for (TNTFS_FILES* scan : scans) {
        TNTFS_FILES* owner = scan;
        gDupOwner.compare_exchange_strong(owner, nullptr, std::memory_order_acq_rel);
    }
    for (TNTFS_FILES* scan : scans)
        if (scan) {
            ForgetDupMembers(*scan, false);
            scan->DupGroupsLeft = true;
        }
}

void TNTFS_FILES::ReleaseDupGroup(const TMFT_RECORD& rec) {
    TDUPFILES* group = DupGroupOf(&rec);
    if (!group) return;
    if (group->dupcount > 0) --group->dupcount;
    if (TNTFS_FILES* owner = gDupOwner.load(std::memory_order_acquire))
        owner->DupMembers.erase(&rec);
}

void GroupDuplicatesSorted(TNTFS_FILES& owner, std::span<const PMFT_RECORD> sorted, int method,
                           const std::function<bool()>& cancelled, const TDupProgress& progress) {
    // Every record of the pass leaves the groups of the previous one (of whichever owner).
    TNTFS_FILES* previous = gDupOwner.exchange(&owner, std::memory_order_acq_rel);
    if (previous && previous != &owner) RetireDupOwner(*previous);
    owner.DupMembers.clear();
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
                owner.DupMembers.emplace(prev, group);
            } else {
                group->dupfiles.push_back(r);
                ++group->dupcount;
            }
            owner.DupMembers.emplace(r, group);
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
