// The end of an MFT pass: every record must hang below the root.
//
// A record whose parent chain does not reach the root (record 5) lost its place through
// damage: its folder's record is damaged or missing (the folder stays a nameless placeholder),
// a folder names itself as its parent, or folders name each other in a loop. Such records take
// real space, so they are not dropped: each chain is cut at its top (the placeholder, the
// folder without a parent, one folder of each loop) and hung below one folder of the root,
// kOrphanFolderName, the way a disk check gathers lost files into a folder of its own. The
// records are counted in Anomalies so that the program can say so.
#include "base/debuglog.h"
#include "base/text.h"
#include "engine/scan.h"
#include "engine/tree.h"

#include <string>
#include <vector>

namespace qz {

namespace {

std::u16string RecordNumberName(uint64_t recno) {
    std::u16string name = u"<MFT record ";
    for (char c : std::to_string(recno)) name.push_back(char16_t(c));
    name.push_back(u'>');
    return name;
}

} // namespace

std::u16string TNTFS_FILES::RootName() const {
    return FRootName.empty() ? std::u16string{FDriveLetter, u':'} : FRootName;
}

void TNTFS_FILES::DeleteOrphans() {
    Anomalies.OrphanItems = 0;
    Anomalies.OrphanBytes = 0;
    OrphanFolder = nullptr;

    bool anyRecord = false;
    for (PMFT_RECORD r : FFileList)
        if (r) {
            anyRecord = true;
            break;
        }
    const int ri = SearchDirRec(5);
    PMFT_RECORD root = ri >= 0 ? FDirList[size_t(ri)] : nullptr;
    if (!root && anyRecord) {
        // Nothing named the root as its parent and its record is missing: every record is an
        // orphan, gathered below a root made for them.
        DebugLog("The root folder (MFT record 5) was not found");
        root = NewPlaceholder(5);
    }
    if (root && !root->HasName()) {
        // A placeholder: the root's own record is damaged or missing.
        DebugLog("The root folder's record (MFT record 5) is damaged or missing");
        SetRecordName(*root, RootName());
        root->FileRecFlags = 3;
    }
    // The root is the top of the tree. A damaged root record naming another folder as its
    // parent would otherwise close a loop through the root that no walk could leave.
    if (root) root->ParentMFTRec = nullptr;
    MFTRoot = root;

    // Whether a folder reaches the root is worked out once per folder: parents are folder-list
    // entries, numbered through their folder blocks' scratch number, and each walk up a chain
    // settles every folder on it.
    enum : uint8_t { kUnknown, kOnChain, kReaches, kCutOff };
    std::vector<PMFT_RECORD> folders;
    folders.reserve(FDirList.size());
    for (PMFT_RECORD f : FDirList) {
        if (!f || !f->Folder) continue;
        f->Folder->Reserved = uint32_t(folders.size());
        folders.push_back(f);
    }
    auto indexOf = [&](PMFT_RECORD f) -> int64_t {
        if (!f || !f->Folder) return -1;
        uint32_t k = f->Folder->Reserved;
        return k < folders.size() && folders[k] == f ? int64_t(k) : -1;
    };
    std::vector<uint8_t> state(folders.size(), kUnknown);
    if (int64_t k = indexOf(root); k >= 0) state[size_t(k)] = kReaches;
    std::vector<PMFT_RECORD> tops; // where the cut-off chains end: hung below the orphan folder
    std::vector<uint32_t> chain;
    // True when folder f (a folder-list entry) reaches the root. A chain that ends without the
    // root adds its last folder to tops; a chain that loops adds the folder that closes the loop.
    auto reaches = [&](PMFT_RECORD f) -> bool {
        const int64_t k = indexOf(f);
        if (state[size_t(k)] == kReaches) return true;
        if (state[size_t(k)] == kCutOff) return false;
        chain.clear();
        bool ok = false;
        for (PMFT_RECORD r = f;;) {
            const int64_t i = indexOf(r);
            if (i < 0) { // not expected: a parent that is not a listed folder
                ok = IsAncestor(root, r);
                if (!ok) tops.push_back(folders[chain.back()]);
                break;
            }
            if (state[size_t(i)] == kReaches || state[size_t(i)] == kCutOff) {
                ok = state[size_t(i)] == kReaches;
                break;
            }
            if (state[size_t(i)] == kOnChain) { // a loop, closed by the last folder walked
                tops.push_back(folders[chain.back()]);
                break;
            }
            state[size_t(i)] = kOnChain;
            chain.push_back(uint32_t(i));
            r = r->ParentMFTRec;
            if (!r) {
                tops.push_back(folders[chain.back()]);
                break;
            }
        }
        for (uint32_t c : chain) state[c] = ok ? kReaches : kCutOff;
        return ok;
    };

    std::vector<PMFT_RECORD> orphans;
    const size_t n = FFileList.size();
    PMFT_RECORD* list = FFileList.data();
    for (size_t i = 0; i < n; ++i) {
        // The parent's record and folder block are scattered in memory: fetch them ahead.
        if (i + 16 < n && list[i + 16] && list[i + 16]->ParentMFTRec)
            __builtin_prefetch(list[i + 16]->ParentMFTRec);
        if (i + 8 < n && list[i + 8] && list[i + 8]->ParentMFTRec)
            __builtin_prefetch(list[i + 8]->ParentMFTRec->Folder);
        PMFT_RECORD p = list[i];
        if (!p || p == root) continue;
        bool keep;
        if (indexOf(p) >= 0) {
            keep = reaches(p);
        } else if (PMFT_RECORD parent = p->ParentMFTRec; !parent) {
            keep = false;
            tops.push_back(p);
        } else if (indexOf(parent) >= 0) {
            keep = reaches(parent);
        } else {
            keep = parent == root || IsAncestor(root, p);
            if (!keep) tops.push_back(p);
        }
        if (!keep) orphans.push_back(p);
    }

    // The extension-record bookkeeping is complete once the pass is over: its tables go
    // before the tree is built, bucket arrays included (clear() would keep those).
    decltype(FExFileList)().swap(FExFileList);
    decltype(FIndexFileList)().swap(FIndexFileList);
    decltype(FBaseFileList)().swap(FBaseFileList);
    if (orphans.empty()) return;

    // The orphan folder is listed but not indexed: no record number is its own.
    PMFT_RECORD folder = Arena().NewRecord();
    folder->FileRecFlags = 3;
    folder->ParentRec = root->RecNo;
    folder->ParentMFTRec = root;
    folder->Folder = Arena().NewFolder();
    folder->ModifiedDate = root->ModifiedDate;
    folder->LastAccessDate = root->LastAccessDate;
    folder->CreatedDate = root->CreatedDate;
    SetRecordName(*folder, kOrphanFolderName);
    FFileList.push_back(folder);
    FDirList.push_back(folder);
    OrphanFolder = folder;
    for (PMFT_RECORD t : tops) t->ParentMFTRec = folder;

    for (PMFT_RECORD p : orphans) {
        if (p->FileRecFlags == 0) p->FileRecFlags = 3; // a placeholder: a folder after all
        if (!p->HasName()) SetRecordName(*p, RecordNumberName(p->RecNo));
        ++Anomalies.OrphanItems;
        if (!p->IsFolder())
            Anomalies.OrphanBytes = SaturatingAdd(Anomalies.OrphanBytes, p->FileSize);
    }
    DebugLog(std::to_string(Anomalies.OrphanItems) + " records (" +
             std::to_string(Anomalies.OrphanBytes) +
             " bytes) do not reach the root folder: shown below " +
             Utf16ToUtf8(std::u16string(kOrphanFolderName)));
}

} // namespace qz
