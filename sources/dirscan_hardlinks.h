// Hard links met during a folder walk: a file with several names counts its bytes on disk
// once, and every other name is marked DoNotCountFlag (as the MFT engine marks the extra names
// of a record).
//
// Which name counts must not depend on the order in which the walkers happen to reach the
// names, or two scans of one unchanged tree would give different folder totals. So the names
// of files with more than one link are only collected during the walk (in the locked step
// that adds the records to the scan anyway) and decided once it is over: the name whose path
// comes first counts. Paths are compared folder by folder from the root, by the code units of
// the names.
#pragma once

#include "engine/types.h"

#include <cstdint>
#include <vector>

namespace qz::dirscan {

class THardLinkNames {
public:
    // A name of the file (dev, ino), which has more than one link. Not thread-safe: the walk
    // calls it under the scan's lock.
    void Add(uint64_t dev, uint64_t ino, PMFT_RECORD rec) { FNames.push_back({dev, ino, rec}); }
    // After the walk: marks every name but the first of each file DoNotCountFlag and forgets
    // the names. Returns the number of names marked.
    int64_t Resolve();
    void Clear();
    size_t Size() const { return FNames.size(); }

private:
    struct TName {
        uint64_t Dev, Ino;
        PMFT_RECORD Rec;
    };
    std::vector<TName> FNames;
};

// True when a's path comes before b's (both records of one tree): the names of their
// ancestors are compared from the root down; a folder comes before what it holds.
bool PathComesFirst(PMFT_RECORD a, PMFT_RECORD b);

} // namespace qz::dirscan
