#include "sources/dirscan_hardlinks.h"

namespace qz::dirscan {

bool THardLinkTable::SeenBefore(uint64_t dev, uint64_t ino, uint32_t nlink) {
    if (nlink <= 1) {
        // A single name now; a stale entry (links removed during the walk) is dropped, but a
        // file already counted stays counted.
        return left_.erase(Key{dev, ino}) != 0;
    }
    auto [it, inserted] = left_.try_emplace(Key{dev, ino}, nlink - 1);
    if (inserted) return false;
    if (--it->second == 0) left_.erase(it);
    return true;
}

} // namespace qz::dirscan
