#include "tests/fsops/fstree.h"

#include "tests/support/testsupport.h"

#include <cerrno>
#include <dirent.h>
#include <fstream>
#include <sstream>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qz::test {

namespace {

void Walk(const std::string& root, const std::string& rel, TTreePicture& out) {
    const std::string dir = rel.empty() ? root : root + "/" + rel;
    DIR* d = ::opendir(dir.c_str());
    if (!d) return;
    std::vector<std::string> names;
    while (dirent* e = ::readdir(d)) {
        const std::string n = e->d_name;
        if (n != "." && n != "..") names.push_back(n);
    }
    ::closedir(d);
    for (const std::string& n : names) {
        const std::string r = rel.empty() ? n : rel + "/" + n;
        const std::string full = root + "/" + r;
        struct stat st {};
        if (::lstat(full.c_str(), &st) != 0) continue;
        if (S_ISLNK(st.st_mode)) {
            char buf[4096];
            const ssize_t k = ::readlink(full.c_str(), buf, sizeof buf);
            out[r] = "L:" + std::string(buf, k > 0 ? size_t(k) : 0);
        } else if (S_ISDIR(st.st_mode)) {
            out[r] = "D";
            Walk(root, r, out);
        } else {
            out[r] = "F:" + ReadText(full);
        }
    }
}

bool Below(const std::string& path, const std::string& prefix) {
    return path == prefix || (path.size() > prefix.size() && path[prefix.size()] == '/' &&
                              path.compare(0, prefix.size(), prefix) == 0);
}

} // namespace

TTreePicture PictureOf(const std::string& root) {
    TTreePicture p;
    Walk(root, "", p);
    return p;
}

TTreePicture Without(const TTreePicture& before, const std::vector<std::string>& removed) {
    TTreePicture out;
    for (const auto& [path, what] : before) {
        bool gone = false;
        for (const std::string& r : removed) gone = gone || Below(path, r);
        if (!gone) out[path] = what;
    }
    return out;
}

std::string Difference(const TTreePicture& expected, const TTreePicture& actual) {
    for (const auto& [path, what] : expected) {
        auto it = actual.find(path);
        if (it == actual.end()) return "missing: " + path;
        if (it->second != what) return "changed: " + path;
    }
    for (const auto& [path, what] : actual)
        if (!expected.count(path)) return "unexpected: " + path;
    return {};
}

void WriteText(const std::string& path, const std::string& content) {
    // The missing folders above path, made from the top down.
    for (size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1))
        ::mkdir(path.substr(0, slash).c_str(), 0755);
    WriteFileBytes(path, content.data(), content.size());
}

std::string ReadText(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

bool Exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

TMounts::~TMounts() {
    for (auto it = FPoints.rbegin(); it != FPoints.rend(); ++it) ::umount2(it->c_str(), MNT_DETACH);
}

bool TMounts::Tmpfs(const std::string& dir, const std::string& options) {
    ::mkdir(dir.c_str(), 0755);
    if (::mount("tmpfs", dir.c_str(), "tmpfs", 0, options.c_str()) != 0) return false;
    FPoints.push_back(dir);
    return true;
}

bool TMounts::Bind(const std::string& from, const std::string& to) {
    if (::mount(from.c_str(), to.c_str(), nullptr, MS_BIND, nullptr) != 0) return false;
    FPoints.push_back(to);
    return true;
}

bool TMounts::ReadOnly(const std::string& dir) {
    return ::mount(nullptr, dir.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) == 0;
}

} // namespace qz::test
