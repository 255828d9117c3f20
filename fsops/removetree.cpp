#include "fsops/removetree.h"

#include "base/filehandle.h"
#include "base/text.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <vector>

namespace qz {

namespace {

struct TLinuxDirent64 {
    uint64_t d_ino;
    int64_t d_off;
    unsigned short d_reclen;
    unsigned char d_type;
    char d_name[];
};

// Identity of an open folder: its device, inode and mount.
struct TFolderId {
    uint64_t Dev = 0, Ino = 0, Mount = 0;
    bool HasMount = false; // Mount is the kernel's mount id (else only Dev tells mounts apart)
    bool MountRoot = false;
};

bool IdentifyFd(int fd, TFolderId& id) {
    struct statx sx {};
    if (::statx(fd, "", AT_EMPTY_PATH, STATX_INO | STATX_MNT_ID, &sx) != 0) return false;
    id.Dev = (uint64_t(sx.stx_dev_major) << 32) | sx.stx_dev_minor;
    id.Ino = sx.stx_ino;
    id.HasMount = (sx.stx_mask & STATX_MNT_ID) != 0;
    id.Mount = id.HasMount ? sx.stx_mnt_id : 0;
    id.MountRoot = (sx.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) &&
                   (sx.stx_attributes & STATX_ATTR_MOUNT_ROOT);
    return true;
}

// True when child lies on another mount than the tree (whose top is top).
bool OtherMount(const TFolderId& top, const TFolderId& child) {
    if (child.Dev != top.Dev) return true;
    if (top.HasMount && child.HasMount) return child.Mount != top.Mount;
    return child.MountRoot;
}

constexpr int kDirFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
// Folders deeper than this below the top have their descriptors closed while a deeper folder
// is worked on, and are opened again through ".." (checked to be the same folder).
constexpr size_t kMaxOpenFolders = 96;

class TRemover {
public:
    TRemover(TRemoveProgress& progress, const TFailureHandler& onFailure)
        : FProgress(progress), FOnFailure(onFailure), FBuf(new char[kBufSize]) {}

    TRemoveOutcome Run(const std::string& path, const TItemIdentity* expect);

private:
    struct TFrame {
        TFileHandle Fd;
        TFolderId Id;
        size_t PathLen = 0;    // length of FPath for this folder
        size_t NameOff = 0;    // its name in the parent's pending list (offset into FNames)
        size_t NamesBegin = 0; // where its own pending names start in FNames
        uint32_t PendBegin = 0, PendNext = 0; // its subfolders waiting in FPending
        bool Listed = false;
        bool Reread = false; // listed a second time after a failed rmdir
        bool Kept = false;   // something inside stays: no rmdir
    };

    bool Cancelled() const { return FProgress.Cancel.load(std::memory_order_relaxed); }
    // Reports a failure; false when the removal is to stop.
    bool Fail(const std::string& path, int err, std::string message = {}) {
        TRemoveFailure f{path, err, message.empty() ? std::string(std::strerror(err)) : message};
        FFailed = true;
        if (!FOnFailure) return true;
        if (FOnFailure(f) == TFailureChoice::Stop) {
            FStopped = true;
            return false;
        }
        return true;
    }
    std::string ChildPath(const char* name) const {
        std::string p = FPath;
        if (p.empty() || p.back() != '/') p += '/';
        return p + name;
    }
    const char* Pending(uint32_t i) const { return FNames.data() + FPending[i]; }
    void AddPending(const char* name) {
        FPending.push_back(uint32_t(FNames.size()));
        FNames.append(name, std::strlen(name) + 1);
    }
    // Unlinks the entries of the frame's folder, noting its subfolders. False to stop.
    bool ListFrame(TFrame& f);
    // Opens the next subfolder of f as a new frame (or removes what it turned out to be).
    bool EnterNext(size_t index);
    // rmdir of the folder of frame index (all its entries done). False to stop.
    bool FinishFrame(size_t index);
    int ParentFd(size_t index);

    static constexpr size_t kBufSize = 1 << 16;
    TRemoveProgress& FProgress;
    const TFailureHandler& FOnFailure;
    std::unique_ptr<char[]> FBuf;
    std::vector<TFrame> FFrames;
    std::string FNames;             // NUL-terminated names of frames and pending subfolders
    std::vector<uint32_t> FPending; // offsets into FNames
    std::string FPath;              // path of the deepest frame
    TFileHandle FTopParent;
    std::string FTopName;
    TFolderId FTop;
    bool FFailed = false;
    bool FStopped = false;
};

bool TRemover::ListFrame(TFrame& f) {
    const int fd = f.Fd.get();
    for (;;) {
        const long n = ::syscall(SYS_getdents64, fd, FBuf.get(), kBufSize);
        if (n == 0) break;
        if (n < 0) {
            f.Kept = true;
            return Fail(FPath, errno);
        }
        for (long off = 0; off < n;) {
            auto* d = reinterpret_cast<TLinuxDirent64*>(FBuf.get() + off);
            off += d->d_reclen;
            const char* name = d->d_name;
            if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) continue;
            if (Cancelled()) return false;
            unsigned char type = d->d_type;
            if (type == DT_UNKNOWN) {
                struct stat st {};
                if (::fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
                    if (errno == ENOENT) continue;
                    f.Kept = true;
                    if (!Fail(ChildPath(name), errno)) return false;
                    continue;
                }
                type = S_ISDIR(st.st_mode) ? DT_DIR : DT_REG;
            }
            if (type == DT_DIR) {
                AddPending(name);
                continue;
            }
            if (::unlinkat(fd, name, 0) == 0) {
                FProgress.Removed.fetch_add(1, std::memory_order_relaxed);
            } else if (errno == EISDIR) {
                AddPending(name); // became a folder since it was listed
            } else if (errno != ENOENT) {
                f.Kept = true;
                if (!Fail(ChildPath(name), errno)) return false;
            }
        }
    }
    f.Listed = true;
    return true;
}

bool TRemover::EnterNext(size_t index) {
    TFrame& f = FFrames[index];
    const char* name = Pending(f.PendNext++);
    const size_t nameOff = size_t(name - FNames.data());
    TFileHandle child(::openat(f.Fd.get(), name, kDirFlags));
    if (!child) {
        const int err = errno;
        if (err == ENOENT) return true;
        if (err == ENOTDIR || err == ELOOP) {
            // No longer a folder (a file or a link took its place): removed as what it is.
            if (::unlinkat(f.Fd.get(), name, 0) == 0) {
                FProgress.Removed.fetch_add(1, std::memory_order_relaxed);
                return true;
            }
            if (errno == ENOENT) return true;
        }
        f.Kept = true;
        return Fail(ChildPath(name), err);
    }
    TFolderId id;
    if (!IdentifyFd(child.get(), id)) {
        f.Kept = true;
        return Fail(ChildPath(name), errno);
    }
    if (OtherMount(FTop, id)) {
        f.Kept = true;
        return Fail(ChildPath(name), 0,
                    tr("another file system is mounted here; it is left as it is"));
    }
    // Deep trees: the descriptor of a folder far above is closed for now.
    if (index + 1 >= kMaxOpenFolders) FFrames[index + 1 - kMaxOpenFolders].Fd.Close();
    TFrame nf;
    nf.Fd = std::move(child);
    nf.Id = id;
    nf.NameOff = nameOff;
    nf.PendBegin = nf.PendNext = uint32_t(FPending.size());
    nf.NamesBegin = FNames.size();
    FPath = ChildPath(name);
    nf.PathLen = FPath.size();
    FFrames.push_back(std::move(nf));
    return true;
}

int TRemover::ParentFd(size_t index) {
    if (index == 0) return FTopParent.get();
    TFrame& p = FFrames[index - 1];
    if (!p.Fd) {
        // Opened again through "..": it must be the folder that was left.
        TFileHandle up(::openat(FFrames[index].Fd.get(), "..", kDirFlags));
        TFolderId id;
        if (!up || !IdentifyFd(up.get(), id) || id.Dev != p.Id.Dev || id.Ino != p.Id.Ino) return -1;
        p.Fd = std::move(up);
    }
    return p.Fd.get();
}

bool TRemover::FinishFrame(size_t index) {
    TFrame& f = FFrames[index];
    const bool top = index == 0;
    const char* name = top ? FTopName.c_str() : FNames.data() + f.NameOff;
    if (f.Kept) {
        if (!top) FFrames[index - 1].Kept = true;
        return true;
    }
    const int parent = ParentFd(index);
    if (parent < 0) {
        if (!top) FFrames[index - 1].Kept = true;
        return Fail(FPath, ESTALE, tr("the folder was moved while it was being deleted"));
    }
    if (::unlinkat(parent, name, AT_REMOVEDIR) == 0) {
        FProgress.Removed.fetch_add(1, std::memory_order_relaxed);
        return true;
    }
    const int err = errno;
    if (err == ENOENT) return true;
    if ((err == ENOTEMPTY || err == EEXIST) && !f.Reread) {
        // Entries came in (or were missed) while it was emptied: one more round.
        f.Reread = true;
        f.Listed = false;
        FPending.resize(f.PendBegin);
        FNames.resize(f.NamesBegin);
        f.PendNext = f.PendBegin;
        ::lseek(f.Fd.get(), 0, SEEK_SET);
        return true;
    }
    if (!top) FFrames[index - 1].Kept = true;
    return Fail(FPath, err);
}

TRemoveOutcome TRemover::Run(const std::string& path, const TItemIdentity* expect) {
    std::string folder = ".";
    FTopName = path;
    const size_t slash = path.find_last_of('/');
    if (slash != std::string::npos) {
        folder = slash == 0 ? "/" : path.substr(0, slash);
        FTopName = path.substr(slash + 1);
    }
    if (FTopName.empty() || FTopName == "." || FTopName == "..") {
        Fail(path, EINVAL);
        return TRemoveOutcome::Stopped;
    }
    FTopParent.reset(::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!FTopParent) {
        if (errno == ENOENT) return TRemoveOutcome::Removed;
        Fail(path, errno);
        return TRemoveOutcome::Stopped;
    }
    struct stat st {};
    if (::fstatat(FTopParent.get(), FTopName.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno == ENOENT) return TRemoveOutcome::Removed;
        Fail(path, errno);
        return TRemoveOutcome::Stopped;
    }
    if (expect && !expect->SameAs(uint64_t(st.st_dev), uint64_t(st.st_ino))) {
        return Fail(path, ESTALE, tr("it changed since the scan; it is left as it is"))
                   ? TRemoveOutcome::Incomplete
                   : TRemoveOutcome::Stopped;
    }
    if (!S_ISDIR(st.st_mode)) {
        if (::unlinkat(FTopParent.get(), FTopName.c_str(), 0) == 0 || errno == ENOENT) {
            FProgress.Removed.fetch_add(1, std::memory_order_relaxed);
            return TRemoveOutcome::Removed;
        }
        return Fail(path, errno) ? TRemoveOutcome::Incomplete : TRemoveOutcome::Stopped;
    }
    TFolderId parentId;
    TFileHandle top(::openat(FTopParent.get(), FTopName.c_str(), kDirFlags));
    if (!top || !IdentifyFd(top.get(), FTop) || !IdentifyFd(FTopParent.get(), parentId)) {
        if (errno == ENOENT) return TRemoveOutcome::Removed;
        return Fail(path, errno) ? TRemoveOutcome::Incomplete : TRemoveOutcome::Stopped;
    }
    if (FTop.Dev != uint64_t((uint64_t(major(st.st_dev)) << 32) | minor(st.st_dev)) ||
        FTop.Ino != st.st_ino) {
        return Fail(path, ESTALE, tr("it changed while it was being deleted"))
                   ? TRemoveOutcome::Incomplete
                   : TRemoveOutcome::Stopped;
    }
    if (OtherMount(parentId, FTop)) {
        return Fail(path, 0, tr("it is a mount point; it is left as it is"))
                   ? TRemoveOutcome::Incomplete
                   : TRemoveOutcome::Stopped;
    }
    FPath = path;
    TFrame f;
    f.Fd = std::move(top);
    f.Id = FTop;
    f.PathLen = FPath.size();
    FFrames.push_back(std::move(f));

    while (!FFrames.empty()) {
        if (Cancelled()) return TRemoveOutcome::Cancelled;
        const size_t index = FFrames.size() - 1;
        TFrame& cur = FFrames[index];
        if (!cur.Fd) {
            // Its descriptor was closed while deeper folders were worked on; the child that
            // reopened it is gone, so open it through the parent (checked).
            const int parent = ParentFd(index);
            const char* name = index == 0 ? FTopName.c_str() : FNames.data() + cur.NameOff;
            TFileHandle again(parent >= 0 ? ::openat(parent, name, kDirFlags) : -1);
            TFolderId id;
            if (!again || !IdentifyFd(again.get(), id) || id.Ino != cur.Id.Ino ||
                id.Dev != cur.Id.Dev) {
                Fail(FPath, ESTALE, tr("the folder was moved while it was being deleted"));
                return TRemoveOutcome::Stopped;
            }
            cur.Fd = std::move(again);
        }
        if (!cur.Listed) {
            if (!ListFrame(cur)) break;
            continue;
        }
        // The pending subfolders of the deepest frame are the last entries of FPending.
        if (cur.PendNext < FPending.size()) {
            if (!EnterNext(index)) break;
            continue;
        }
        if (!FinishFrame(index)) break;
        if (!FFrames[index].Listed) continue; // listed again after a failed rmdir
        // Done with this folder: its pending names go, its path is shortened. (Its own name
        // stays: it belongs to the parent's list.)
        FPending.resize(FFrames[index].PendBegin);
        FNames.resize(FFrames[index].NamesBegin);
        FFrames.pop_back();
        if (!FFrames.empty()) FPath.resize(FFrames.back().PathLen);
    }
    if (FStopped) return TRemoveOutcome::Stopped;
    if (Cancelled()) return TRemoveOutcome::Cancelled;
    return FFailed ? TRemoveOutcome::Incomplete : TRemoveOutcome::Removed;
}

} // namespace

TRemoveOutcome RemoveTree(const std::string& path, TRemoveProgress& progress,
                          const TFailureHandler& onFailure, const TItemIdentity* expect) {
    TRemover remover(progress, onFailure);
    return remover.Run(path, expect);
}

} // namespace qz
