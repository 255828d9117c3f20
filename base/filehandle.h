// RAII owner of a POSIX file descriptor.
#pragma once

#include <unistd.h>
#include <utility>

namespace qz {

class TFileHandle {
public:
    TFileHandle() = default;
    explicit TFileHandle(int fd) : fd_(fd) {}
    ~TFileHandle() { Close(); }
    TFileHandle(TFileHandle&& o) noexcept : fd_(std::exchange(o.fd_, -1)) {}
    TFileHandle& operator=(TFileHandle&& o) noexcept {
        if (this != &o) {
            Close();
            fd_ = std::exchange(o.fd_, -1);
        }
        return *this;
    }
    TFileHandle(const TFileHandle&) = delete;
    TFileHandle& operator=(const TFileHandle&) = delete;

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    explicit operator bool() const { return valid(); }
    int release() { return std::exchange(fd_, -1); }
    void reset(int fd = -1) {
        Close();
        fd_ = fd;
    }
    void Close() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_ = -1;
};

} // namespace qz
