#include "export/export_file.h"

#include "base/text.h"

#include <cerrno>
#include <cstring>
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
    FError = Format(what, FMode == TMode::Stdout ? tr("standard output") : FPath.c_str(),
                    std::strerror(err));
}

bool TExportFile::Open(const std::u16string& fileName) {
    Abandon();
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
        FError = tr("Cannot create an export file without a name");
        return false;
    }
    if (!FFile.Open(FPath)) {
        Fail(tr("Cannot create %s: %s"), errno);
        return false;
    }
    FPath = FFile.Target();
    FMode = TMode::File;
    return true;
}

void TExportFile::Flush() {
    if (FBuf.empty()) return;
    if (Failed() || FMode == TMode::None) {
        FBuf.clear();
        return;
    }
    const int fd = FMode == TMode::Stdout ? STDOUT_FILENO : FFile.Fd();
    const char* p = FBuf.data();
    size_t left = FBuf.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            Fail(tr("Cannot write %s: %s"), errno);
            break;
        }
        if (n == 0) {
            Fail(tr("Cannot write %s: %s"), ENOSPC);
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
    if (Failed()) {
        Abandon();
        return false;
    }
    if (!FFile.Commit()) {
        Fail(tr("Cannot write %s: %s"), errno);
        FMode = TMode::None;
        return false;
    }
    FMode = TMode::None;
    return true;
}

void TExportFile::Abandon() {
    FBuf.clear();
    FFile.Discard();
    FMode = TMode::None;
}

} // namespace qz
