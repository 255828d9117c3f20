// An export's output: a file written through a 64 KiB buffer, or standard output for "-".
//
// A file is written through TOutputFile: under a temporary name in its folder, put in place
// only by Commit, so a failed export (no folder, no permission, a full disk) never leaves a
// half-written file under the chosen name, and an older file of that name survives the
// failure. Targets that are not regular files (a device such as /dev/null, a FIFO) are
// written directly. The first failure is kept; later writes are dropped.
#pragma once

#include "base/tempfile.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace qz {

class TExportFile {
public:
    static constexpr size_t kBufferSize = size_t(64) << 10;

    TExportFile();
    ~TExportFile(); // an uncommitted file is discarded
    TExportFile(const TExportFile&) = delete;
    TExportFile& operator=(const TExportFile&) = delete;

    // Prepares fileName ("-" = standard output). False with Error() when it cannot be created.
    bool Open(const std::u16string& fileName);

    // Text is appended to Buffer(); Wrote() passes it on once the buffer is full.
    std::string& Buffer() { return FBuf; }
    void Wrote() {
        if (FBuf.size() >= kBufferSize) Flush();
    }
    void Write(std::string_view text) {
        FBuf.append(text);
        Wrote();
    }

    // Writes what is buffered and puts the file in place. False with Error() on any failure
    // (then nothing is left under the chosen name that was not there before).
    bool Commit();
    // Discards the output (the temporary file is removed).
    void Abandon();

    bool Failed() const { return !FError.empty(); }
    const std::string& Error() const { return FError; }
    const std::string& Path() const { return FPath; }
    uint64_t BytesWritten() const { return FWritten; }

private:
    void Flush();
    // what: a translated text with "%s" for the file and "%s" for the reason.
    void Fail(const char* what, int err);

    enum class TMode { None, Stdout, File };
    TMode FMode = TMode::None;
    TOutputFile FFile;
    std::string FPath; // the chosen name
    std::string FBuf;
    std::string FError;
    uint64_t FWritten = 0;
};

} // namespace qz
