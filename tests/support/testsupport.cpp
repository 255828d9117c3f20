#include "tests/support/testsupport.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sched.h>
#include <stdexcept>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace qz::test {

TempDir::TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string tmpl = std::string(base && *base ? base : "/tmp") + "/qztest.XXXXXX";
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back(0);
    if (!mkdtemp(buf.data())) throw std::runtime_error("mkdtemp failed");
    path_ = buf.data();
}

TempDir::~TempDir() {
    std::error_code ec;
    // Make everything removable again (tests may revoke permissions).
    for (auto it = fs::recursive_directory_iterator(
             path_, fs::directory_options::skip_permission_denied, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_directory(ec) && !it->is_symlink(ec))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
}

std::string DataPath(const std::string& rel) {
    return std::string(QZ_TESTDATA_DIR) + "/" + rel;
}

std::vector<uint8_t> ReadFileBytes(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(f)),
                                std::istreambuf_iterator<char>());
}

void WriteFileBytes(const std::string& path, const void* data, size_t n) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(static_cast<const char*>(data), std::streamsize(n));
}

std::string Gunzip(const std::string& gzPath, const std::string& dir) {
    std::string name = fs::path(gzPath).filename().string();
    if (name.size() > 3 && name.substr(name.size() - 3) == ".gz") name.resize(name.size() - 3);
    std::string out = dir + "/" + name;
    if (Run("gzip -dc '" + gzPath + "' > '" + out + "'") != 0)
        throw std::runtime_error("gunzip failed: " + gzPath);
    return out;
}

int Run(const std::string& cmd, std::string* out) {
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return -1;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        if (out) out->append(buf, n);
    int st = pclose(p);
    return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

bool HaveProgram(const std::string& name) {
    return Run("command -v '" + name + "' >/dev/null 2>&1") == 0;
}

bool PrivateMountNamespace(std::string* why) {
    static const std::string failure = [] {
        if (::geteuid() != 0) return std::string("mounting needs root");
        if (::unshare(CLONE_NEWNS) != 0)
            return std::string("no mount namespace of its own: ") + std::strerror(errno);
        if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            return std::string("mounts cannot be made private: ") + std::strerror(errno);
        return std::string();
    }();
    if (why) *why = failure;
    return failure.empty();
}

std::string AttachLoop(const std::string& image) {
    std::string out;
    if (Run("losetup -f --show '" + image + "' 2>/dev/null", &out) != 0) return {};
    while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
    return out;
}

void DetachLoop(const std::string& device) {
    if (!device.empty()) Run("losetup -d '" + device + "' 2>/dev/null");
}

} // namespace qz::test
