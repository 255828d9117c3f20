#include "base/tempfile.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qz {

namespace {

// The table of temporary files a signal handler may read: a slot is free (0), being filled
// (1) or names a file (2). Only atomics and fixed buffers, so reading it is signal-safe.
constexpr int kSlots = 32;
struct TSlot {
    std::atomic<int> State{0};
    char Path[PATH_MAX];
};
TSlot gSlots[kSlots];
static_assert(std::atomic<int>::is_always_lock_free);

int ListTemporaryFile(const std::string& path) {
    if (path.size() >= PATH_MAX) return -1; // such a name cannot be opened anyway
    for (int i = 0; i < kSlots; ++i) {
        int expected = 0;
        if (!gSlots[i].State.compare_exchange_strong(expected, 1)) continue;
        std::memcpy(gSlots[i].Path, path.c_str(), path.size() + 1);
        gSlots[i].State.store(2, std::memory_order_release);
        return i;
    }
    return -1; // a full table only means this file is not removed after a fatal signal
}

void UnlistTemporaryFile(int slot) {
    if (slot >= 0) gSlots[slot].State.store(0, std::memory_order_release);
}

} // namespace

std::string FollowLinks(std::string path) {
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
        char buf[PATH_MAX];
        const ssize_t n = ::readlink(path.c_str(), buf, sizeof buf - 1);
        if (n <= 0) return path;
        std::string link(buf, size_t(n));
        if (link[0] == '/') {
            path = std::move(link);
        } else {
            const size_t slash = path.find_last_of('/');
            path = (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + link;
        }
    }
    return path;
}

void RemoveTemporaryFiles() noexcept {
    for (TSlot& slot : gSlots)
        if (slot.State.load(std::memory_order_acquire) == 2) ::unlink(slot.Path);
}

TOutputFile::~TOutputFile() {
    Discard();
}

bool TOutputFile::Open(const std::string& path) {
    Discard();
    if (path.empty()) {
        errno = ENOENT;
        return false;
    }
    struct stat st {};
    const bool exists = ::stat(path.c_str(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode)) {
        errno = EISDIR;
        return false;
    }
    if (exists && !S_ISREG(st.st_mode)) {
        // A device or a pipe: written as it is, opened by its own name (a link such as
        // /dev/stdout names its file only when opened).
        FTarget = path;
        FFd.reset(::open(FTarget.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC));
        FOpen = FFd.valid();
        return FOpen;
    }
    FTarget = FollowLinks(path);
    // Replacing a file the user may not write would bypass its permissions.
    if (exists && ::access(FTarget.c_str(), W_OK) != 0) return false;

    static std::atomic<unsigned> counter{0};
    const size_t slash = FTarget.find_last_of('/');
    const std::string dir =
        slash == std::string::npos ? std::string() : FTarget.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? FTarget : FTarget.substr(slash + 1);
    for (int attempt = 0;; ++attempt) {
        // Short enough for NAME_MAX whatever the target's name.
        std::string temp = dir + "." + base.substr(0, 200) + "." + std::to_string(::getpid()) +
                           "-" + std::to_string(++counter) + ".tmp";
        // Listed before it exists, so that no moment passes with an unlisted file.
        FSlot = ListTemporaryFile(temp);
        FFd.reset(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
        if (FFd) {
            FTemp = std::move(temp);
            break;
        }
        const int err = errno;
        UnlistTemporaryFile(FSlot);
        FSlot = -1;
        if (err != EEXIST || attempt > 100) {
            errno = err;
            return false;
        }
    }
    if (exists) ::fchmod(FFd.get(), st.st_mode & 07777); // keep the old file's permissions
    FOpen = true;
    return true;
}

bool TOutputFile::Commit() {
    if (!FOpen) {
        errno = EBADF;
        return false;
    }
    if (FFd && ::close(FFd.release()) != 0) {
        const int err = errno;
        Discard();
        errno = err;
        return false;
    }
    if (!FTemp.empty() && ::rename(FTemp.c_str(), FTarget.c_str()) != 0) {
        const int err = errno;
        Discard();
        errno = err;
        return false;
    }
    UnlistTemporaryFile(FSlot);
    FSlot = -1;
    FTemp.clear();
    FOpen = false;
    return true;
}

void TOutputFile::Discard() {
    const int err = errno;
    FFd.Close();
    if (!FTemp.empty()) ::unlink(FTemp.c_str());
    UnlistTemporaryFile(FSlot);
    FSlot = -1;
    FTemp.clear();
    FOpen = false;
    errno = err;
}

} // namespace qz
