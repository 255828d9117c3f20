#include "export/export_file.h"

#include "base/text.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace qz {

TExportFile::TExportFile() {
    FBuf.reserve(kBufferSize + 4096);
}

TExportFile::~TExportFile() {
    if (FMode != TMode::None) Abandon();
}

void TExportFile::Fail(const char* what, int err) {
    if (!FError.empty()) return;
    FError.assign(what);
    FError.push_back(' ');
    FError.append(FMode == TMode::Stdout ? std::string("standard output") : FPath);
    FError.append(": ");
    FError.append(std::strerror(err));
}

bool TExportFile::Open(const std::u16string& fileName) {
    FError.clear();
    FWritten = 0;
    FBuf.clear();
    if (fileName == u"-") {
        FMode = TMode::Stdout;
        FPath.assign(1, '-');
        return true;
    }
    FPath = Utf16ToUtf8(fileName);
    if (FPath.empty()) {
        FMode = TMode::None;
        FError = "Cannot create an export file without a name";
        return false;
    }
    // Write through a symbolic link to the file it names.
    struct stat st {};
    if (::lstat(FPath.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        if (char* real = ::realpath(FPath.c_str(), nullptr)) {
            FPath = real;
            std::free(real);
        }
    }
    const bool exists = ::stat(FPath.c_str(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode)) {
        FMode = TMode::Direct;
        FFd.reset(::open(FPath.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC));
        if (!FFd) {
            Fail("Cannot create", errno);
            FMode = TMode::None;
            return false;
        }
        return true;
    }
    if (exists && ::access(FPath.c_str(), W_OK) != 0) {
        FMode = TMode::Temporary; // for the message
        Fail("Cannot create", errno);
        FMode = TMode::None;
        return false;
    }
    // A temporary file beside the target, created with the usual permissions (the umask
    // applies), then renamed over the target by Commit.
    const size_t slash = FPath.rfind('/');
    const std::string folder =
        slash == std::string::npos ? "." : FPath.substr(0, slash == 0 ? 1 : slash);
    const std::string base = slash == std::string::npos ? FPath : FPath.substr(slash + 1);
    std::random_device rd;
    std::mt19937_64 rng((uint64_t(rd()) << 32) ^ rd() ^ uint64_t(::getpid()));
    int err = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[32];
        std::snprintf(suffix, sizeof suffix, ".%012llx.tmp",
                      (unsigned long long)(rng() & 0xFFFFFFFFFFFFull));
        // Keep the temporary name within NAME_MAX.
        FTemp = folder;
        if (folder != "/") FTemp.push_back('/');
        FTemp.push_back('.');
        FTemp.append(base, 0, std::min<size_t>(base.size(), 200));
        FTemp.append(suffix);
        FFd.reset(::open(FTemp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
        if (FFd) break;
        err = errno;
        if (err != EEXIST) break;
    }
    if (!FFd) {
        FTemp.clear();
        FMode = TMode::Temporary;
        Fail("Cannot create", err);
        FMode = TMode::None;
        return false;
    }
    if (exists) ::fchmod(FFd.get(), st.st_mode & 07777); // keep the old file's permissions
    FMode = TMode::Temporary;
    return true;
}

void TExportFile::Flush() {
    if (FBuf.empty()) return;
    if (Failed() || FMode == TMode::None) {
        FBuf.clear();
        return;
    }
    const int fd = FMode == TMode::Stdout ? STDOUT_FILENO : FFd.get();
    const char* p = FBuf.data();
    size_t left = FBuf.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            Fail("Cannot write", errno);
            break;
        }
        if (n == 0) {
            Fail("Cannot write", ENOSPC);
            break;
        }
        p += n;
        left -= size_t(n);
        FWritten += uint64_t(n);
    }
    FBuf.clear();
}

bool TExportFile::Commit() {
    Flush();
    if (FMode == TMode::None) return false;
    if (FMode == TMode::Stdout) {
        FMode = TMode::None;
        return !Failed();
    }
    if (!Failed() && ::close(FFd.release()) != 0) Fail("Cannot write", errno);
    if (Failed()) {
        Abandon();
        return false;
    }
    if (FMode == TMode::Temporary && ::rename(FTemp.c_str(), FPath.c_str()) != 0) {
        Fail("Cannot create", errno);
        Abandon();
        return false;
    }
    FTemp.clear();
    FMode = TMode::None;
    return true;
}

void TExportFile::Abandon() {
    FBuf.clear();
    FFd.Close();
    if (FMode == TMode::Temporary && !FTemp.empty()) ::unlink(FTemp.c_str());
    FTemp.clear();
    FMode = TMode::None;
}

} // namespace qz
