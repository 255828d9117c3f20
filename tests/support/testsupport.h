// Helpers shared by the tests: temporary folders, reading test data, running commands.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qz::test {

// A fresh folder under $TMPDIR (or /tmp), removed with everything in it on destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& rel) const { return path_ + "/" + rel; }

private:
    std::string path_;
};

// Path of a file under tests/data.
std::string DataPath(const std::string& rel);
// Whole file contents; empty when unreadable.
std::vector<uint8_t> ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const void* data, size_t n);
// A gzip-compressed test file decompressed into dir; returns the new path.
std::string Gunzip(const std::string& gzPath, const std::string& dir);
// Run a shell command; returns its exit status and (optionally) its standard output.
int Run(const std::string& cmd, std::string* out = nullptr);
// True when the program is on PATH.
bool HaveProgram(const std::string& name);

// Gives this process a mount table of its own (a private mount namespace), so the file
// systems a test mounts are seen by no other process on the machine. Needs root; call it while
// the process has one thread (the namespace is per thread until then). The first call decides;
// later calls return its answer. False (with why) when it cannot be done.
bool PrivateMountNamespace(std::string* why = nullptr);

// An image file attached to a free loop device; the device path, empty on failure.
std::string AttachLoop(const std::string& image);
void DetachLoop(const std::string& device);

} // namespace qz::test
