// Finding a scanned item on disk again before it is deleted, without following links.
//
// A scan lists items by path. Between the scan and a delete, a folder on the way to an item
// may have been replaced by a symbolic link to somewhere else; a plain path lookup would then
// reach (and delete) an item the scan never saw. LookUpBelow walks from the scan's root (as the
// user named it) one component at a time and refuses any component below it that is a link or
// no folder; the item itself is examined, not followed. The identity it returns (device,
// inode, type) is checked again by the delete itself right before the item is touched.
#pragma once

#include <cstdint>
#include <string>
#include <sys/types.h>

namespace qz {

struct TItemIdentity {
    uint64_t Dev = 0;
    uint64_t Ino = 0;
    mode_t Mode = 0; // type bits as lstat gives them

    bool SameAs(uint64_t dev, uint64_t ino) const { return Dev == dev && Ino == ino; }
};

enum class TLookUp : uint8_t {
    Found,
    Gone,    // the item (or a folder on its way) no longer exists
    Changed, // a folder on its way is now a link or no folder
    Failed,  // another error (Error holds errno)
};

struct TLookUpResult {
    TLookUp Outcome = TLookUp::Failed;
    int Error = 0;
    TItemIdentity Id;
};

// Looks path up below anchor (a folder the path begins with; "" or path itself: path is looked
// up as it stands, its last component not followed). Components between anchor and the item
// are opened with O_NOFOLLOW.
TLookUpResult LookUpBelow(const std::string& anchor, const std::string& path);

} // namespace qz
