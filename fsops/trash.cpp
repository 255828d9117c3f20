#include "fsops/trash.h"

#include "base/filehandle.h"
#include "base/text.h"
#include "fsops/fileuri.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace qz {

namespace {

// True when prefix is path or one of its leading folders.
bool IsUnder(std::string_view path, std::string_view prefix) {
    if (prefix == "/") return !path.empty() && path[0] == '/';
    if (path.size() < prefix.size() || path.compare(0, prefix.size(), prefix) != 0) return false;
    return path.size() == prefix.size() || path[prefix.size()] == '/';
}

void SplitPath(const std::string& path, std::string& folder, std::string& name) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) {
        folder = ".";
        name = path;
        return;
    }
    folder = slash == 0 ? "/" : path.substr(0, slash);
    name = path.substr(slash + 1);
}

std::string Join(const std::string& folder, const std::string& name) {
    return folder == "/" ? "/" + name : folder + "/" + name;
}

// The path with the links of its folder resolved (the last component stays as it is).
bool RealItemPath(const std::string& path, std::string& out) {
    std::string folder, name;
    SplitPath(path, folder, name);
    if (name.empty() || name == "." || name == "..") return false;
    char buf[PATH_MAX];
    if (!::realpath(folder.c_str(), buf)) return false;
    out = Join(buf, name);
    return true;
}

// path with the links of its existing leading part resolved; the missing rest is appended as
// it is.
std::string RealPathOfMaybeMissing(const std::string& path) {
    char buf[PATH_MAX];
    std::string head = path, tail;
    for (;;) {
        if (::realpath(head.c_str(), buf)) {
            const std::string out = buf;
            return tail.empty() ? out : (out == "/" ? tail : out + tail);
        }
        const size_t slash = head.find_last_of('/');
        if (slash == std::string::npos || head == "/") return path;
        tail = head.substr(slash) + tail;
        head = slash == 0 ? "/" : head.substr(0, slash);
    }
}

std::string ErrorText(int err) {
    return std::strerror(err);
}

// Creates folder (mode 0700) when missing; true when it then is a folder (not a link).
bool EnsureFolder(const std::string& folder) {
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return false;
    struct stat st {};
    return ::lstat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// mkdir -p with mode 0700 for the folders it creates.
bool EnsureFolders(const std::string& folder) {
    struct stat st {};
    if (::lstat(folder.c_str(), &st) == 0) return S_ISDIR(st.st_mode) || S_ISLNK(st.st_mode);
    const size_t slash = folder.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !EnsureFolders(folder.substr(0, slash)))
        return false;
    return ::mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST;
}

bool Writable(const std::string& folder) {
    return ::access(folder.c_str(), W_OK | X_OK) == 0;
}

} // namespace

std::string TrashDeletionDate(time_t when) {
    struct tm t {};
    localtime_r(&when, &t);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%S", &t);
    return buf;
}

TTrash::TTrash(std::string homeTrash, std::vector<TMountInfo> mounts, uid_t uid)
    : FHome(std::move(homeTrash)), FMounts(std::move(mounts)), FUid(uid) {
    // The home trash may not exist yet: its place is judged by the folders that will hold it.
    if (!FHome.empty()) FHomeReal = RealPathOfMaybeMissing(FHome);
}

std::string TTrash::HomeTrashPath() {
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data && data[0] == '/') return std::string(data) + "/Trash";
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/') return std::string(home) + "/.local/share/Trash";
    return {};
}

bool TTrash::IsInsideATrash(const std::string& real) const {
    if (!FHomeReal.empty() && IsUnder(real, FHomeReal)) return true;
    // Below $topdir/.Trash or $topdir/.Trash-N, where $topdir is a mount point.
    for (size_t pos = real.find("/.Trash"); pos != std::string::npos;
         pos = real.find("/.Trash", pos + 1)) {
        const size_t end = real.find('/', pos + 1);
        if (end == std::string::npos) break; // the trash folder itself is no trashed item
        const std::string_view comp = std::string_view(real).substr(pos + 1, end - pos - 1);
        bool trashName = comp == ".Trash";
        if (!trashName && comp.size() > 7 && comp.substr(0, 7) == ".Trash-") {
            trashName = true;
            for (char c : comp.substr(7)) trashName = trashName && c >= '0' && c <= '9';
        }
        if (!trashName) continue;
        const std::string top = pos == 0 ? "/" : real.substr(0, pos);
        if (FMounts.empty() || MountAt(FMounts, top)) return true;
    }
    return false;
}

std::string TTrash::TopDirOf(const std::string& real, dev_t dev) const {
    if (!FMounts.empty()) {
        if (const TMountInfo* m = MountOfPath(FMounts, real)) return m->MountPoint;
    }
    // Without a mount table: the highest folder above the item on the same device.
    std::string top = real;
    std::string cur = real;
    while (true) {
        const size_t slash = cur.find_last_of('/');
        if (slash == std::string::npos) break;
        const std::string up = slash == 0 ? "/" : cur.substr(0, slash);
        struct stat st {};
        if (::stat(up.c_str(), &st) != 0 || st.st_dev != dev) break;
        top = up;
        if (up == "/") break;
        cur = up;
    }
    return top;
}

bool TTrash::TopDirTrash(const std::string& topDir, dev_t dev, bool create, TTarget& target,
                         std::string& why) const {
    const std::string uid = std::to_string(FUid);
    struct stat st {};
    // $topdir/.Trash/$uid: only below an administrator-made .Trash with the sticky bit.
    const std::string shared = Join(topDir, ".Trash");
    if (::lstat(shared.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX) &&
        st.st_dev == dev) {
        const std::string mine = shared + "/" + uid;
        struct stat ms {};
        if (::lstat(mine.c_str(), &ms) == 0) {
            if (S_ISDIR(ms.st_mode) && ms.st_uid == FUid && ms.st_dev == dev) {
                target = {mine, topDir};
                return true;
            }
        } else if (errno == ENOENT && (create ? EnsureFolder(mine) : Writable(shared))) {
            target = {mine, topDir};
            return true;
        }
    }
    // $topdir/.Trash-$uid.
    const std::string own = Join(topDir, ".Trash-" + uid);
    if (::lstat(own.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode) && st.st_uid == FUid && st.st_dev == dev) {
            target = {own, topDir};
            return true;
        }
        why = tr("its file system's trash folder is not usable") + std::string(" (") + own + ")";
        return false;
    }
    if (create ? EnsureFolder(own) : Writable(topDir)) {
        target = {own, topDir};
        return true;
    }
    why = tr("its file system has no trash folder and none can be made at") + std::string(" ") +
          topDir;
    return false;
}

bool TTrash::Choose(const std::string& real, dev_t dev, bool create, TTarget& target,
                    std::string& why) const {
    if (IsInsideATrash(real)) {
        why = tr("it is in the trash already");
        return false;
    }
    if (!FMounts.empty()) {
        if (MountAt(FMounts, real)) {
            why = tr("it is a mount point");
            return false;
        }
        for (const TMountInfo& m : FMounts) {
            if (m.MountPoint != real && IsUnder(m.MountPoint, real)) {
                why = tr("another file system is mounted inside it at") + std::string(" ") +
                      m.MountPoint;
                return false;
            }
        }
    }
    std::string folder, name;
    SplitPath(real, folder, name);
    struct statvfs vfs {};
    if (::statvfs(folder.c_str(), &vfs) == 0 && (vfs.f_flag & ST_RDONLY)) {
        why = tr("its file system is read-only");
        return false;
    }
    // The home trash when the item is on the same mount.
    if (!FHome.empty()) {
        bool same = false;
        if (!FMounts.empty()) {
            const TMountInfo* home = MountOfPath(FMounts, FHomeReal);
            same = home && home == MountOfPath(FMounts, real);
        } else {
            struct stat hs {};
            same = ::stat(FHomeReal.c_str(), &hs) == 0 && hs.st_dev == dev;
        }
        if (same) {
            if (create && !EnsureFolders(FHome)) {
                why = tr("the home trash folder cannot be made") + std::string(": ") +
                      ErrorText(errno);
                return false;
            }
            target = {FHome, {}};
            return true;
        }
    }
    return TopDirTrash(TopDirOf(real, dev), dev, create, target, why);
}

std::string TTrash::TrashDirFor(const std::string& path, std::string* why) const {
    std::string real, reason;
    struct stat st {};
    if (path.empty() || path[0] != '/' || !RealItemPath(path, real) ||
        ::lstat(path.c_str(), &st) != 0) {
        if (why) *why = ErrorText(errno ? errno : EINVAL);
        return {};
    }
    TTarget t;
    if (!Choose(real, st.st_dev, false, t, reason)) {
        if (why) *why = reason;
        return {};
    }
    return t.Dir;
}

bool TTrash::CanTrash(const std::string& path, std::string* why) const {
    return !TrashDirFor(path, why).empty();
}

TTrashResult TTrash::MoveToTrash(const std::string& path, const TItemIdentity* expect) const {
    TTrashResult r;
    auto fail = [&](int err, std::string message) {
        r.Ok = false;
        r.Error = err;
        r.Message = std::move(message);
        return r;
    };
    std::string real;
    struct stat st {};
    if (path.empty() || path[0] != '/') return fail(EINVAL, tr("not an absolute path"));
    if (::lstat(path.c_str(), &st) != 0) return fail(errno, ErrorText(errno));
    if (expect && !expect->SameAs(uint64_t(st.st_dev), uint64_t(st.st_ino)))
        return fail(ESTALE, tr("it changed since the scan; it is left as it is"));
    if (!RealItemPath(path, real)) return fail(errno, ErrorText(errno));
    TTarget target;
    std::string why;
    if (!Choose(real, st.st_dev, true, target, why)) return fail(0, why);

    std::string folder, name;
    SplitPath(real, folder, name);
    TFileHandle parent(::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!parent) return fail(errno, ErrorText(errno));
    // The item must still be the one looked at above.
    struct stat again {};
    if (::fstatat(parent.get(), name.c_str(), &again, AT_SYMLINK_NOFOLLOW) != 0)
        return fail(errno, ErrorText(errno));
    if (again.st_dev != st.st_dev || again.st_ino != st.st_ino)
        return fail(ESTALE, tr("it changed while it was being moved"));

    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!EnsureFolder(target.Dir + "/files") || !EnsureFolder(target.Dir + "/info"))
            return fail(errno, tr("the trash folder cannot be used") + std::string(": ") +
                                   target.Dir + ": " + ErrorText(errno));
        TFileHandle files(
            ::open((target.Dir + "/files").c_str(), O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        TFileHandle info(
            ::open((target.Dir + "/info").c_str(), O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!files || !info)
            return fail(errno, tr("the trash folder cannot be used") + std::string(": ") +
                                   target.Dir + ": " + ErrorText(errno));
        // Path= is absolute for the home trash and relative to the top folder otherwise.
        std::string original = real;
        if (!target.TopDir.empty())
            original =
                target.TopDir == "/" ? real.substr(1) : real.substr(target.TopDir.size() + 1);
        const std::string content = "[Trash Info]\nPath=" + PercentEncodePath(original) +
                                    "\nDeletionDate=" + TrashDeletionDate(::time(nullptr)) + "\n";
        // Room for ".NNNNNN.trashinfo" within a 255-byte name.
        const std::string base = name.size() > 230 ? name.substr(0, 230) : name;
        bool crossDevice = false;
        for (int n = 1; n < 100000; ++n) {
            const std::string trashName = n == 1 ? base : base + "." + std::to_string(n);
            const std::string infoName = trashName + ".trashinfo";
            TFileHandle out(::openat(info.get(), infoName.c_str(),
                                     O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
            if (!out) {
                if (errno == EEXIST) continue;
                return fail(errno, tr("the trash information cannot be written") +
                                       std::string(": ") + ErrorText(errno));
            }
            const ssize_t w = ::write(out.get(), content.data(), content.size());
            const int werr = errno;
            if (w != ssize_t(content.size()) || ::close(out.release()) != 0) {
                ::unlinkat(info.get(), infoName.c_str(), 0);
                return fail(w < 0 ? werr : EIO, tr("the trash information cannot be written") +
                                                    std::string(": ") +
                                                    ErrorText(w < 0 ? werr : EIO));
            }
            int rc = ::renameat2(parent.get(), name.c_str(), files.get(), trashName.c_str(),
                                 RENAME_NOREPLACE);
            if (rc != 0 && errno == EINVAL) {
                // A file system without RENAME_NOREPLACE: check, then rename.
                struct stat there {};
                if (::fstatat(files.get(), trashName.c_str(), &there, AT_SYMLINK_NOFOLLOW) == 0)
                    errno = EEXIST;
                else
                    rc = ::renameat(parent.get(), name.c_str(), files.get(), trashName.c_str());
            }
            if (rc == 0) {
                r.Ok = true;
                r.TrashedAs = target.Dir + "/files/" + trashName;
                r.InfoFile = target.Dir + "/info/" + infoName;
                return r;
            }
            const int err = errno;
            ::unlinkat(info.get(), infoName.c_str(), 0);
            if (err == EEXIST || err == ENOTEMPTY) continue; // a leftover under that name
            if (err == EXDEV && target.TopDir.empty()) {
                crossDevice = true; // same device, other mount: the top folder's trash
                break;
            }
            return fail(err, ErrorText(err));
        }
        if (!crossDevice) return fail(EEXIST, tr("no free name in the trash"));
        if (!TopDirTrash(TopDirOf(real, st.st_dev), st.st_dev, true, target, why))
            return fail(0, why);
    }
    return fail(EXDEV, ErrorText(EXDEV));
}

} // namespace qz
