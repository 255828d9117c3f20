// Linux directory reading for the folder walk.
//
// Two ways to read a folder:
// - the block method: an open directory descriptor read with getdents64 into a large buffer,
//   and per entry statx (or fstatat) relative to that descriptor -- no path lookups, so depth
//   and path length do not matter and nothing is followed out of the tree;
// - the older method: opendir/readdir on a full path and lstat on full entry paths (the
//   fallback; it cannot reach paths longer than PATH_MAX).
// Neither follows symbolic links below the root or opens anything but folders.
#pragma once

#include <cstddef>
#include <cstdint>
#include <dirent.h>
#include <string>

namespace qz::dirscan {

// Seconds and nanoseconds since the Unix epoch.
struct TUnixTime {
    int64_t sec = 0;
    uint32_t nsec = 0;
};

// What the walk needs to know about one entry.
struct TEntryMeta {
    uint64_t size = 0;      // st_size
    uint64_t allocated = 0; // st_blocks * 512: bytes on disk (sparse holes, compression and
                            // inline data already accounted for by the file system)
    uint64_t dev = 0;       // device of the file system holding the entry
    uint64_t ino = 0;
    uint32_t nlink = 0;
    uint32_t mode = 0;      // st_mode: type and permission bits
    bool mountRoot = false; // the entry is the root of a mount (reported by statx)
    bool hasBirth = false;  // birth is valid
    bool known = false;     // false: the entry could be listed but not examined
    TUnixTime access, modify, change, birth;
};

// A listed entry before it is examined. name points into the reader's buffer.
struct TRawEntry {
    const char* name = nullptr;
    uint32_t nameLen = 0;
    uint8_t type = DT_UNKNOWN; // d_type
    uint64_t ino = 0;
};

// Open a folder relative to dirfd without following a symbolic link. Returns the descriptor
// or -errno.
int OpenFolderAt(int dirfd, const char* name);
// Open a folder by path (a symbolic link as the last component is followed: used for the
// root the user named). Returns the descriptor or -errno.
int OpenFolderPath(const char* path);

// Read the next block of entries into buf. Returns the bytes read, 0 at the end, -errno on
// failure.
long ReadFolderBlock(int fd, void* buf, size_t size);

// Call f(const TRawEntry&) for every entry of a block read by ReadFolderBlock, skipping "."
// and "..".
template <class F> void ForEachBlockEntry(const void* buf, long bytes, F&& f);

// Examine name inside dirfd without following a symbolic link. Returns 0 or an errno value.
int StatAt(int dirfd, const char* name, TEntryMeta& out);
// Examine a path without following a final symbolic link (the older method, and the root
// with follow = true). Returns 0 or an errno value.
int StatPath(const char* path, TEntryMeta& out, bool follow = false);

// opendir/readdir on a path (the older method), closed on destruction. A symbolic link as the
// last component is followed only when followLink is set (the root the user named); below the
// root a folder that was replaced by a link since it was examined is not opened.
class TFolderStream {
public:
    TFolderStream(const std::string& path, bool followLink);
    ~TFolderStream();
    TFolderStream(const TFolderStream&) = delete;
    TFolderStream& operator=(const TFolderStream&) = delete;
    bool ok() const { return dir_ != nullptr; }
    int error() const { return err_; }
    // The next entry other than "." and ".."; false at the end or on a read error (error()
    // then tells). The name stays valid until the next call.
    bool Next(TRawEntry& e);

private:
    DIR* dir_ = nullptr;
    int err_ = 0;
};

// ---------------------------------------------------------------- inline

struct TLinuxDirent64 {
    uint64_t d_ino;
    int64_t d_off;
    unsigned short d_reclen;
    unsigned char d_type;
    char d_name[];
};

template <class F> void ForEachBlockEntry(const void* buf, long bytes, F&& f) {
    const char* p = static_cast<const char*>(buf);
    for (long off = 0; off < bytes;) {
        const auto* d = reinterpret_cast<const TLinuxDirent64*>(p + off);
        if (d->d_reclen == 0) break; // never produced by the kernel; guards the loop
        off += d->d_reclen;
        const char* nm = d->d_name;
        if (nm[0] == '.' && (nm[1] == 0 || (nm[1] == '.' && nm[2] == 0))) continue;
        // d_name is NUL-terminated inside the record.
        size_t room = d->d_reclen - offsetof(TLinuxDirent64, d_name);
        size_t len = 0;
        while (len < room && nm[len]) ++len;
        TRawEntry e;
        e.name = nm;
        e.nameLen = uint32_t(len);
        e.type = d->d_type;
        e.ino = d->d_ino;
        f(e);
    }
}

} // namespace qz::dirscan
