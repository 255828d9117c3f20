// The subtree source: a folder of another, still living scan copied under a new root, so that
// a folder on an NTFS volume is shown without reading the volume again.
#include "base/debuglog.h"
#include "base/translate.h"
#include "engine/scan.h"

#include <vector>

namespace qz {

namespace {

// Copy the descendants of src below dst, depth first in children order (the order the
// records take in FFileList is the same as a recursive copy's). Stops before each folder
// when the scan is cancelled. An explicit stack: folder chains can be deeper than the
// thread's stack would like.
void CopySubtree(TNTFS_FILES& s, PMFT_RECORD dst, PMFT_RECORD src) {
    TRecordArena& arena = s.Arena();
    struct Frame {
        PMFT_RECORD src;
        PMFT_RECORD dst;
        size_t next;
    };
    std::vector<Frame> stack;
    if (s.Cancelled() || src->Children().empty()) return;
    stack.push_back({src, dst, 0});
    while (!stack.empty()) {
        Frame& f = stack.back();
        const auto kids = f.src->Children();
        if (f.next >= kids.size()) {
            stack.pop_back();
            continue;
        }
        PMFT_RECORD c = kids[f.next++];
        if (!c) continue;
        PMFT_RECORD n = arena.NewRecord();
        n->RecNo = c->RecNo;
        n->ParentRec = c->ParentRec;
        n->FromExtension = c->FromExtension;
        n->FileRecFlags = c->FileRecFlags;
        n->DOSAttrib = c->DOSAttrib;
        if (c->HasName()) s.SetRecordName(*n, c->Name(), arena);
        n->FileSize = c->FileSize;
        n->AllocSize = c->AllocSize;
        n->ModifiedDate = c->ModifiedDate;
        n->LastAccessDate = c->LastAccessDate;
        n->CreatedDate = c->CreatedDate;
        n->DoNotCountFlag = c->DoNotCountFlag;
        n->SizeDamaged = c->SizeDamaged;
        n->ParentMFTRec = f.dst;
        s.AddToFileList(n);
        if (c->IsFolder()) {
            n->Folder = arena.NewFolder();
            s.AddToDirList(n);
            // Each folder is entered only when the scan goes on.
            if (s.Cancelled() || c->Children().empty()) continue;
            stack.push_back({c, n, 0}); // f is not used past this point
        }
    }
}

} // namespace

void RunSubtreeCopy(TNTFS_FILES& s) {
    PMFT_RECORD source = s.FMFTSource;
    if (!source) {
        s.SetError(tr("No folder to copy"));
        return;
    }
    std::u16string name = s.FSource;
    // The root keeps the folder's path without a trailing separator ("/" alone stays).
    while (name.size() > 1 && (name.back() == u'\\' || name.back() == u'/')) name.pop_back();
    s.FSource = name;
    PMFT_RECORD root = s.Arena().NewRecord();
    root->RecNo = 5;
    s.SetRecordName(*root, name);
    root->FileRecFlags = 2;
    root->Folder = s.Arena().NewFolder();
    s.AddToFileList(root);
    s.AddToDirList(root);
    root->ModifiedDate = source->ModifiedDate;
    DebugLog("DoLoadFromMFTSource");
    CopySubtree(s, root, source);
}

} // namespace qz
