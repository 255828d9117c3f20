#include "tests/sources/test_dirscan_util.h"

#include "base/text.h"
#include "engine/tree.h"
#include "tests/support/testsupport.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <set>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace qz::test {

void PrintTo(const TItem& it, std::ostream* os) {
    *os << it.type << " size " << it.size << " alloc " << it.allocated;
    if (it.doNotCount) *os << " not counted";
}

std::unique_ptr<TNTFS_FILES> ScanFolder(const std::string& path, const TSlowScanOptions& options,
                                        TSlowScanStats* stats, const std::u16string& exclude,
                                        bool fullPath) {
    auto scan = TNTFS_FILES::CreateSlow(Utf8ToUtf16(path));
    DoSlowMode(*scan, {.Exclude = exclude, .FullPath = fullPath}, options, stats);
    scan->CalculateDirSizes();
    return scan;
}

TListing ScanListing(TNTFS_FILES& scan) {
    TListing out;
    if (scan.FFileList.empty()) return out;
    const std::string root = Utf16ToUtf8(scan.FFileList.front()->Name());
    const std::string prefix = root == "/" ? root : root + "/";
    for (size_t i = 1; i < scan.FFileList.size(); ++i) {
        PMFT_RECORD r = scan.FFileList[i];
        std::string p = Utf16ToUtf8(GetRecordPath(r));
        if (p.compare(0, prefix.size(), prefix) != 0)
            throw std::runtime_error("record path outside the root: " + p);
        TItem it;
        it.type = r->IsFolder() ? 'd' : (r->DOSAttrib & 0x400) ? 'l' : 'f';
        it.size = r->FileSize;
        it.allocated = r->AllocSize;
        it.doNotCount = r->DoNotCountFlag;
        out[p.substr(prefix.size())] = it;
    }
    return out;
}

TListing FindListing(const std::string& root) {
    std::string text;
    if (Run("find '" + root + "' -mindepth 1 -printf '%P\\0%y\\0%s\\0%b\\0%n\\0%i\\0'", &text) != 0)
        throw std::runtime_error("find failed on " + root);
    TListing out;
    size_t pos = 0;
    auto field = [&]() {
        size_t end = text.find('\0', pos);
        if (end == std::string::npos) throw std::runtime_error("truncated find output");
        std::string f = text.substr(pos, end - pos);
        pos = end + 1;
        return f;
    };
    while (pos < text.size()) {
        std::string path = field();
        TItem it;
        it.type = field()[0];
        it.size = std::stoull(field());
        it.allocated = std::stoull(field()) * 512;
        it.links = uint32_t(std::stoul(field()));
        it.inode = std::stoull(field());
        if (it.type == 'd') it.size = it.allocated = 0;
        out[path] = it;
    }
    return out;
}

TListing Comparable(const TListing& l, bool fromFind) {
    TListing out;
    for (const auto& [path, item] : l) {
        TItem it;
        it.type = item.type == 'd' || item.type == 'l' ? item.type : 'f';
        it.size = item.size;
        it.allocated = item.allocated;
        (void)fromFind;
        out[path] = it;
    }
    return out;
}

std::string CheckTree(TNTFS_FILES& scan) {
    if (scan.FFileList.empty()) return "no records";
    PMFT_RECORD root = scan.FFileList.front();
    if (root->RecNo != 5 || root->ParentMFTRec || !root->IsFolder()) return "bad root record";
    if (scan.MFTRoot != root) return "MFTRoot is not the root record";
    std::set<uint64_t> numbers;
    std::map<PMFT_RECORD, size_t> position;
    position[root] = 0;
    for (size_t i = 1; i < scan.FFileList.size(); ++i) {
        PMFT_RECORD r = scan.FFileList[i];
        if (r->RecNo < 24) return "record number below 24: " + std::to_string(r->RecNo);
        if (!numbers.insert(r->RecNo).second)
            return "record number twice: " + std::to_string(r->RecNo);
        PMFT_RECORD p = r->ParentMFTRec;
        if (!p) return "record without parent";
        auto it = position.find(p);
        if (it == position.end()) return "parent listed after its child";
        if (!p->IsFolder()) return "parent is not a folder";
        if (r->ParentRec != p->RecNo) return "ParentRec differs from the parent's number";
        position[r] = i;
    }
    // The folder list holds the folders; a walk keeps no record-number index.
    size_t folders = 0;
    for (PMFT_RECORD r : scan.FFileList) folders += r->IsFolder();
    if (folders != scan.FDirList.size()) return "dir list does not hold the folders";
    if (!scan.FFileListIndex.empty() || !scan.FDirListIndex.empty())
        return "a walk keeps a record-number index";
    if (!numbers.empty() &&
        (*numbers.begin() != 24 || *numbers.rbegin() != 24 + numbers.size() - 1))
        return "record numbers have gaps";
    return "";
}

TTotals ExpectedTotals(const TListing& find) {
    TTotals t;
    std::set<uint64_t> inodes;
    for (const auto& [path, it] : find) {
        if (it.type == 'd') {
            ++t.folders;
            continue;
        }
        ++t.files;
        t.size += it.size;
        if (inodes.insert(it.inode).second) t.allocated += it.allocated;
    }
    return t;
}

void MakeFile(const std::string& path, size_t n) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) throw std::runtime_error("cannot create " + path + ": " + std::strerror(errno));
    std::string block(65536, 'x');
    while (n > 0) {
        size_t k = n < block.size() ? n : block.size();
        if (::write(fd, block.data(), k) != ssize_t(k)) {
            ::close(fd);
            throw std::runtime_error("write failed: " + path);
        }
        n -= k;
    }
    ::close(fd);
}

void MakeChain(const std::string& top, const std::string& name, int levels, size_t leafSize) {
    int fd = ::open(top.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) throw std::runtime_error("cannot open " + top);
    for (int i = 0; i < levels; ++i) {
        if (::mkdirat(fd, name.c_str(), 0755) != 0 && errno != EEXIST)
            throw std::runtime_error(std::string("mkdirat: ") + std::strerror(errno));
        int next = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(fd);
        if (next < 0) throw std::runtime_error(std::string("openat: ") + std::strerror(errno));
        fd = next;
    }
    int leaf = ::openat(fd, "leaf", O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ::close(fd);
    if (leaf < 0) throw std::runtime_error("cannot create leaf");
    std::string data(leafSize, 'L');
    if (::write(leaf, data.data(), data.size()) != ssize_t(data.size())) {
        ::close(leaf);
        throw std::runtime_error("leaf write failed");
    }
    ::close(leaf);
}

namespace {
void RemoveInside(int dirfd) {
    DIR* d = ::fdopendir(dirfd);
    if (!d) {
        ::close(dirfd);
        return;
    }
    std::vector<std::pair<std::string, bool>> entries;
    while (struct dirent* e = ::readdir(d)) {
        std::string n = e->d_name;
        if (n == "." || n == "..") continue;
        struct stat st {};
        bool dir =
            ::fstatat(::dirfd(d), n.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
        entries.emplace_back(n, dir);
    }
    for (auto& [n, dir] : entries) {
        if (dir) {
            ::fchmodat(::dirfd(d), n.c_str(), 0700, 0);
            int c =
                ::openat(::dirfd(d), n.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (c >= 0) RemoveInside(c);
            ::unlinkat(::dirfd(d), n.c_str(), AT_REMOVEDIR);
        } else {
            ::unlinkat(::dirfd(d), n.c_str(), 0);
        }
    }
    ::closedir(d);
}
} // namespace

void RemoveTree(const std::string& path) {
    ::chmod(path.c_str(), 0700);
    int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return;
    RemoveInside(fd);
    ::rmdir(path.c_str());
}

std::string RunUnprivileged(const std::function<std::string()>& body) {
    if (::geteuid() != 0) return body();
    int p[2];
    if (::pipe(p) != 0) return "SKIP: pipe failed";
    pid_t pid = ::fork();
    if (pid < 0) return "SKIP: fork failed";
    if (pid == 0) {
        ::close(p[0]);
        std::string out;
        if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)
            out = "SKIP: cannot drop root rights";
        else
            out = body();
        size_t off = 0;
        while (off < out.size()) {
            ssize_t w = ::write(p[1], out.data() + off, out.size() - off);
            if (w <= 0) break;
            off += size_t(w);
        }
        ::_exit(0);
    }
    ::close(p[1]);
    std::string out;
    char buf[4096];
    ssize_t n;
    while ((n = ::read(p[0], buf, sizeof buf)) > 0) out.append(buf, size_t(n));
    ::close(p[0]);
    int st = 0;
    ::waitpid(pid, &st, 0);
    if (!WIFEXITED(st)) return "FAIL: child ended abnormally";
    return out;
}

} // namespace qz::test
