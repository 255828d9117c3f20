#include "sources/dirscan_linux.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace qz::dirscan {

namespace {

// statx is used when the kernel has it; a kernel (or a sandbox) that refuses it switches the
// whole process over to fstatat once.
std::atomic<bool> gHaveStatx{true};

constexpr unsigned kStatxMask = STATX_TYPE | STATX_MODE | STATX_NLINK | STATX_INO | STATX_SIZE |
                                STATX_BLOCKS | STATX_ATIME | STATX_MTIME | STATX_CTIME |
                                STATX_BTIME;

void FromStatx(const struct statx& sx, TEntryMeta& m) {
    m.size = sx.stx_size;
    m.allocated = uint64_t(sx.stx_blocks) * 512;
    m.dev = makedev(sx.stx_dev_major, sx.stx_dev_minor);
    m.ino = sx.stx_ino;
    m.nlink = sx.stx_nlink;
    m.mode = sx.stx_mode;
    m.mountRoot = (sx.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) &&
                  (sx.stx_attributes & STATX_ATTR_MOUNT_ROOT);
    m.access = {sx.stx_atime.tv_sec, sx.stx_atime.tv_nsec};
    m.modify = {sx.stx_mtime.tv_sec, sx.stx_mtime.tv_nsec};
    m.change = {sx.stx_ctime.tv_sec, sx.stx_ctime.tv_nsec};
    m.hasBirth = (sx.stx_mask & STATX_BTIME) != 0;
    m.birth = m.hasBirth ? TUnixTime{sx.stx_btime.tv_sec, sx.stx_btime.tv_nsec} : TUnixTime{};
    m.known = true;
}

void FromStat(const struct stat& st, TEntryMeta& m) {
    m.size = uint64_t(st.st_size);
    m.allocated = uint64_t(st.st_blocks) * 512;
    m.dev = st.st_dev;
    m.ino = st.st_ino;
    m.nlink = uint32_t(st.st_nlink);
    m.mode = st.st_mode;
    m.mountRoot = false;
    m.access = {st.st_atim.tv_sec, uint32_t(st.st_atim.tv_nsec)};
    m.modify = {st.st_mtim.tv_sec, uint32_t(st.st_mtim.tv_nsec)};
    m.change = {st.st_ctim.tv_sec, uint32_t(st.st_ctim.tv_nsec)};
    m.hasBirth = false;
    m.birth = {};
    m.known = true;
}

int StatImpl(int dirfd, const char* name, TEntryMeta& out, int flags) {
    if (gHaveStatx.load(std::memory_order_relaxed)) {
        struct statx sx;
        if (::statx(dirfd, name, flags | AT_NO_AUTOMOUNT | AT_STATX_DONT_SYNC, kStatxMask, &sx) ==
            0) {
            FromStatx(sx, out);
            return 0;
        }
        const int e = errno;
        if (e != ENOSYS && e != EPERM) return e;
        if (e == ENOSYS) gHaveStatx.store(false, std::memory_order_relaxed);
        // EPERM from statx itself only comes from a sandbox that blocks the call; fstatat
        // below tells a real permission problem apart.
    }
    struct stat st;
    if (::fstatat(dirfd, name, &st, flags | AT_NO_AUTOMOUNT) != 0) return errno;
    FromStat(st, out);
    return 0;
}

} // namespace

int OpenFolderAt(int dirfd, const char* name) {
    int fd = ::openat(dirfd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    return fd >= 0 ? fd : -errno;
}

int OpenFolderPath(const char* path) {
    int fd = ::open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK);
    return fd >= 0 ? fd : -errno;
}

long ReadFolderBlock(int fd, void* buf, size_t size) {
    for (;;) {
        long n = ::syscall(SYS_getdents64, fd, buf, size);
        if (n >= 0) return n;
        if (errno != EINTR) return -errno;
    }
}

int StatAt(int dirfd, const char* name, TEntryMeta& out) {
    return StatImpl(dirfd, name, out, AT_SYMLINK_NOFOLLOW);
}

int StatPath(const char* path, TEntryMeta& out, bool follow) {
    return StatImpl(AT_FDCWD, path, out, follow ? 0 : AT_SYMLINK_NOFOLLOW);
}

TFolderStream::TFolderStream(const std::string& path, bool followLink) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK |
                                            (followLink ? 0 : O_NOFOLLOW));
    if (fd < 0) {
        err_ = errno;
        return;
    }
    dir_ = ::fdopendir(fd);
    if (!dir_) {
        err_ = errno;
        ::close(fd);
    }
}

TFolderStream::~TFolderStream() {
    if (dir_) ::closedir(dir_);
}

bool TFolderStream::Next(TRawEntry& e) {
    if (!dir_) return false;
    for (;;) {
        errno = 0;
        struct dirent* d = ::readdir(dir_);
        if (!d) {
            err_ = errno;
            return false;
        }
        const char* nm = d->d_name;
        if (nm[0] == '.' && (nm[1] == 0 || (nm[1] == '.' && nm[2] == 0))) continue;
        e.name = nm;
        e.nameLen = uint32_t(std::strlen(nm));
        e.type = d->d_type;
        e.ino = d->d_ino;
        return true;
    }
}

} // namespace qz::dirscan
