#include "app/stdstreams.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace qz {

bool EnsureStandardDescriptors() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        const int opened = ::open("/dev/null", fd == 0 ? O_WRONLY : O_RDONLY);
        if (opened < 0) return false;
        if (opened != fd) { // only when a lower number was taken meanwhile
            const int moved = ::dup2(opened, fd);
            ::close(opened);
            if (moved != fd) return false;
        }
    }
    return true;
}

} // namespace qz
