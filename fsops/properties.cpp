#include "fsops/properties.h"

#include "base/text.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace qz {

namespace {

const char* TypeName(uint32_t mode) {
    switch (mode & S_IFMT) {
    case S_IFDIR:
        return tr("Folder");
    case S_IFREG:
        return tr("Regular file");
    case S_IFLNK:
        return tr("Symbolic link");
    case S_IFBLK:
        return tr("Block device");
    case S_IFCHR:
        return tr("Character device");
    case S_IFIFO:
        return tr("Named pipe");
    case S_IFSOCK:
        return tr("Socket");
    default:
        return tr("Unknown");
    }
}

std::string UserName(uint32_t uid) {
    std::vector<char> buf(16384);
    struct passwd pw {};
    struct passwd* found = nullptr;
    if (getpwuid_r(uid, &pw, buf.data(), buf.size(), &found) == 0 && found) return found->pw_name;
    return std::to_string(uid);
}

std::string GroupName(uint32_t gid) {
    std::vector<char> buf(16384);
    struct group gr {};
    struct group* found = nullptr;
    if (getgrgid_r(gid, &gr, buf.data(), buf.size(), &found) == 0 && found) return found->gr_name;
    return std::to_string(gid);
}

struct timespec ToTimespec(const struct statx_timestamp& t) {
    struct timespec ts {};
    ts.tv_sec = t.tv_sec;
    ts.tv_nsec = t.tv_nsec;
    return ts;
}

} // namespace

std::string ModeString(uint32_t mode) {
    std::string s(10, '-');
    switch (mode & S_IFMT) {
    case S_IFDIR:
        s[0] = 'd';
        break;
    case S_IFLNK:
        s[0] = 'l';
        break;
    case S_IFBLK:
        s[0] = 'b';
        break;
    case S_IFCHR:
        s[0] = 'c';
        break;
    case S_IFIFO:
        s[0] = 'p';
        break;
    case S_IFSOCK:
        s[0] = 's';
        break;
    default:
        break;
    }
    static const char kLetters[] = "rwxrwxrwx";
    for (int i = 0; i < 9; ++i)
        if (mode & (1u << (8 - i))) s[size_t(1 + i)] = kLetters[i];
    auto special = [&](size_t at, uint32_t bit, char on, char off) {
        if (mode & bit) s[at] = s[at] == 'x' ? on : off;
    };
    special(3, S_ISUID, 's', 'S');
    special(6, S_ISGID, 's', 'S');
    special(9, S_ISVTX, 't', 'T');
    return s;
}

std::string LocalDateText(const struct timespec& t) {
    struct tm lt {};
    const time_t sec = t.tv_sec;
    localtime_r(&sec, &lt);
    char buf[40];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &lt);
    return buf;
}

TItemProperties ReadItemProperties(const std::string& path) {
    TItemProperties p;
    p.Path = path;
    struct statx sx {};
    const unsigned mask = STATX_BASIC_STATS | STATX_BTIME;
    if (::statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW, mask, &sx) != 0) {
        p.Error = errno;
        return p;
    }
    p.Ok = true;
    p.Type = TypeName(sx.stx_mode);
    p.Size = sx.stx_size;
    p.Allocated = sx.stx_blocks * 512;
    p.Modified = ToTimespec(sx.stx_mtime);
    p.Accessed = ToTimespec(sx.stx_atime);
    p.Changed = ToTimespec(sx.stx_ctime);
    p.HasCreated = (sx.stx_mask & STATX_BTIME) != 0;
    if (p.HasCreated) p.Created = ToTimespec(sx.stx_btime);
    p.Uid = sx.stx_uid;
    p.Gid = sx.stx_gid;
    p.Owner = UserName(sx.stx_uid);
    p.Group = GroupName(sx.stx_gid);
    p.Mode = sx.stx_mode & 07777;
    char octal[16];
    std::snprintf(octal, sizeof octal, " (%04o)", unsigned(p.Mode));
    p.ModeText = ModeString(sx.stx_mode) + octal;
    p.Links = sx.stx_nlink;
    p.Inode = sx.stx_ino;
    p.DeviceMajor = sx.stx_dev_major;
    p.DeviceMinor = sx.stx_dev_minor;
    const uint32_t fmt = sx.stx_mode & S_IFMT;
    p.IsDeviceNode = fmt == S_IFBLK || fmt == S_IFCHR;
    p.SpecialMajor = sx.stx_rdev_major;
    p.SpecialMinor = sx.stx_rdev_minor;
    if (fmt == S_IFLNK) {
        std::vector<char> buf(PATH_MAX);
        const ssize_t n = ::readlink(path.c_str(), buf.data(), buf.size());
        if (n > 0) p.LinkTarget.assign(buf.data(), size_t(n));
    }
    return p;
}

} // namespace qz
