#include "fsops/itemlookup.h"

#include "base/filehandle.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>

namespace qz {

namespace {

TLookUpResult FromStat(int dirFd, const char* name) {
    TLookUpResult r;
    struct stat st {};
    if (::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
        r.Error = errno;
        r.Outcome = errno == ENOENT ? TLookUp::Gone : TLookUp::Failed;
        return r;
    }
    r.Outcome = TLookUp::Found;
    r.Id = {uint64_t(st.st_dev), uint64_t(st.st_ino), st.st_mode};
    return r;
}

} // namespace

TLookUpResult LookUpBelow(const std::string& anchor, const std::string& path) {
    std::string base = anchor;
    while (base.size() > 1 && base.back() == '/') base.pop_back();
    const bool below = !base.empty() && path.size() > base.size() &&
                       path.compare(0, base.size(), base) == 0 &&
                       (base == "/" || path[base.size()] == '/');
    if (!below) return FromStat(AT_FDCWD, path.c_str());

    TFileHandle dir(::open(base.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!dir) {
        TLookUpResult r;
        r.Error = errno;
        r.Outcome = errno == ENOENT ? TLookUp::Gone : TLookUp::Failed;
        return r;
    }
    size_t pos = base == "/" ? 1 : base.size() + 1;
    for (;;) {
        while (pos < path.size() && path[pos] == '/') ++pos;
        const size_t slash = path.find('/', pos);
        // The last component (a trailing separator aside) is the item itself.
        size_t next = slash;
        while (next != std::string::npos && next < path.size() && path[next] == '/') ++next;
        if (slash == std::string::npos || next >= path.size()) {
            const std::string leaf =
                path.substr(pos, slash == std::string::npos ? std::string::npos : slash - pos);
            if (leaf.empty() || leaf == "." || leaf == "..") {
                TLookUpResult r;
                r.Error = EINVAL;
                return r;
            }
            return FromStat(dir.get(), leaf.c_str());
        }
        const std::string part = path.substr(pos, slash - pos);
        TLookUpResult r;
        if (part == "." || part == "..") {
            r.Error = EINVAL;
            return r;
        }
        TFileHandle sub(
            ::openat(dir.get(), part.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!sub) {
            r.Error = errno;
            r.Outcome = errno == ENOENT                        ? TLookUp::Gone
                        : (errno == ELOOP || errno == ENOTDIR) ? TLookUp::Changed
                                                               : TLookUp::Failed;
            return r;
        }
        dir = std::move(sub);
        pos = next;
    }
}

} // namespace qz
