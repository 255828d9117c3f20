#include "app/presence.h"

#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace qz {

std::string PresenceLockPath() {
    if (const char* r = std::getenv("XDG_RUNTIME_DIR"); r && *r == '/')
        return std::string(r) + "/QuarzelMutex";
    return "/tmp/QuarzelMutex-" + std::to_string(::getuid());
}

TPresenceLock::TPresenceLock(const std::string& path)
    : FFd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600)) {
    FHeld = FFd && ::flock(FFd.get(), LOCK_SH | LOCK_NB) == 0;
}

bool InstanceRunning(const std::string& path) {
    TFileHandle fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    if (!fd) return false;
    return ::flock(fd.get(), LOCK_EX | LOCK_NB) != 0;
}

} // namespace qz
