// Hard links met during a folder walk: a file with several names counts its bytes on disk
// once, under the first name seen; every later name is marked DoNotCountFlag (as the MFT
// engine marks the extra names of a record).
//
// Only files with more than one link are remembered, each with the number of names still to
// come; an entry is forgotten once all its names were seen, so memory stays bounded by the
// hard-linked files whose other names have not been reached yet. Not thread-safe: the walk
// calls it under the scan's lock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <unordered_map>

namespace qz::dirscan {

class THardLinkTable {
public:
    // True when (dev, ino) was already counted under another name. nlink is the link count
    // of this sighting.
    bool SeenBefore(uint64_t dev, uint64_t ino, uint32_t nlink);
    // Files still waiting for more names.
    size_t Pending() const { return left_.size(); }

private:
    struct Key {
        uint64_t dev, ino;
        bool operator==(const Key& o) const { return dev == o.dev && ino == o.ino; }
    };
    struct Hash {
        size_t operator()(const Key& k) const {
            return size_t((k.ino * 0x9E3779B97F4A7C15ull) ^ (k.dev + 0x632BE59BD9B4E019ull));
        }
    };
    std::unordered_map<Key, uint32_t, Hash> left_;
};

} // namespace qz::dirscan
