#include "fsops/mounts.h"

#include <array>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace qz {

namespace {

// mountinfo writes space, tab, newline and backslash as "\ooo".
std::string Unescape(std::string_view s) {
    auto oct = [](char c) { return c >= '0' && c <= '7'; };
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 3 < s.size() && oct(s[i + 1]) && oct(s[i + 2]) && oct(s[i + 3])) {
            out.push_back(char((s[i + 1] - '0') * 64 + (s[i + 2] - '0') * 8 + (s[i + 3] - '0')));
            i += 3;
            continue;
        }
        out.push_back(s[i]);
    }
    return out;
}

std::vector<std::string_view> SplitFields(std::string_view line) {
    std::vector<std::string_view> f;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && line[i] == ' ') ++i;
        size_t j = i;
        while (j < line.size() && line[j] != ' ') ++j;
        if (j > i) f.push_back(line.substr(i, j - i));
        i = j;
    }
    return f;
}

// True when prefix is path or a leading folder path of it.
bool IsUnder(std::string_view path, std::string_view prefix) {
    if (prefix == "/") return !path.empty() && path[0] == '/';
    if (path.size() < prefix.size() || path.compare(0, prefix.size(), prefix) != 0) return false;
    return path.size() == prefix.size() || path[prefix.size()] == '/';
}

} // namespace

std::vector<TMountInfo> ParseMountInfo(std::string_view text) {
    std::vector<TMountInfo> out;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t eol = text.find('\n', pos);
        if (eol == std::string_view::npos) eol = text.size();
        std::string_view line = text.substr(pos, eol - pos);
        pos = eol + 1;
        std::vector<std::string_view> f = SplitFields(line);
        // id parent major:minor root mountpoint options [optional...] - fstype source superopts
        size_t sep = 0;
        for (size_t i = 6; i < f.size(); ++i)
            if (f[i] == "-") {
                sep = i;
                break;
            }
        if (sep == 0 || sep + 1 >= f.size()) continue;
        TMountInfo m;
        std::string_view mm = f[2];
        size_t colon = mm.find(':');
        if (colon == std::string_view::npos) continue;
        unsigned maj = 0, mn = 0;
        if (std::sscanf(std::string(mm).c_str(), "%u:%u", &maj, &mn) != 2) continue;
        m.Major = maj;
        m.Minor = mn;
        m.Root = Unescape(f[3]);
        m.MountPoint = Unescape(f[4]);
        if (m.MountPoint.empty() || m.MountPoint[0] != '/') continue;
        while (m.MountPoint.size() > 1 && m.MountPoint.back() == '/') m.MountPoint.pop_back();
        m.FsType = Unescape(f[sep + 1]);
        if (sep + 2 < f.size()) m.Source = Unescape(f[sep + 2]);
        out.push_back(std::move(m));
    }
    return out;
}

std::vector<TMountInfo> ReadMountTable() {
    std::ifstream in("/proc/self/mountinfo", std::ios::binary);
    if (!in) return {};
    std::stringstream ss;
    ss << in.rdbuf();
    return ParseMountInfo(ss.str());
}

const TMountInfo* MountOfPath(const std::vector<TMountInfo>& mounts, std::string_view path) {
    const TMountInfo* best = nullptr;
    for (const TMountInfo& m : mounts) {
        if (!IsUnder(path, m.MountPoint)) continue;
        // Longer mount points win; on equal ones the later mount hides the earlier.
        if (!best || m.MountPoint.size() >= best->MountPoint.size()) best = &m;
    }
    return best;
}

const TMountInfo* MountAt(const std::vector<TMountInfo>& mounts, std::string_view path) {
    const TMountInfo* best = nullptr;
    for (const TMountInfo& m : mounts)
        if (m.MountPoint == path) best = &m;
    return best;
}

bool IsVirtualFileSystem(std::string_view t) {
    static constexpr std::array<std::string_view, 32> kVirtual = {
        "proc",        "sysfs",           "devtmpfs",    "devpts",     "tmpfs",     "ramfs",
        "cgroup",      "cgroup2",         "securityfs",  "pstore",     "bpf",       "debugfs",
        "tracefs",     "configfs",        "fusectl",     "mqueue",     "hugetlbfs", "autofs",
        "binfmt_misc", "efivarfs",        "nsfs",        "rpc_pipefs", "selinuxfs", "squashfs",
        "nfsd",        "fuse.gvfsd-fuse", "fuse.portal", "overlay",    "aufs",      "shm",
        "none",        "sockfs"};
    for (std::string_view v : kVirtual)
        if (t == v) return true;
    return false;
}

bool MayBeNtfsMount(std::string_view t) {
    return t == "ntfs" || t == "ntfs3" || t == "ntfs-3g" || t == "fuseblk" || t == "fuse" ||
           t == "fuse.ntfs-3g" || t == "fuse.ntfs";
}

std::string NormalizePath(std::string_view path) {
    std::string abs;
    if (path.empty() || path[0] != '/') {
        char buf[4096];
        if (::getcwd(buf, sizeof buf)) abs = buf;
        abs += '/';
    }
    abs.append(path);
    std::vector<std::string_view> parts;
    std::string_view s = abs;
    size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && s[i] == '/') ++i;
        size_t j = i;
        while (j < s.size() && s[j] != '/') ++j;
        std::string_view c = s.substr(i, j - i);
        if (c.empty() || c == ".") {
        } else if (c == "..") {
            if (!parts.empty()) parts.pop_back();
        } else {
            parts.push_back(c);
        }
        i = j;
    }
    std::string out;
    for (std::string_view p : parts) {
        out += '/';
        out.append(p);
    }
    return out.empty() ? "/" : out;
}

} // namespace qz
