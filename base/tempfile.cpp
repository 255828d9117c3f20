#include "base/tempfile.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace qz {

int CreateFileBeside(const std::string& target, std::string& tempPath) {
    static std::atomic<unsigned> counter{0};
    const auto slash = target.find_last_of('/');
    const std::string dir =
        slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    for (int attempt = 0;; ++attempt) {
        // Short enough for NAME_MAX whatever the target's name.
        tempPath = dir + "." + base.substr(0, 200) + "." + std::to_string(::getpid()) + "-" +
                   std::to_string(++counter) + ".tmp";
        const int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) return fd;
        if (errno != EEXIST || attempt > 100) {
            tempPath.clear();
            return -1;
        }
    }
}

} // namespace qz
