// The presence marker of a running instance: a lock file "QuarzelMutex" in the user's runtime
// folder ($XDG_RUNTIME_DIR, else /tmp with the user id in the name), held with a shared lock
// for the life of the process. Outside tools can tell that an instance runs (an exclusive
// lock cannot be taken); it does not limit the number of instances.
#pragma once

#include "base/filehandle.h"

#include <string>

namespace qz {

std::string PresenceLockPath();

class TPresenceLock {
public:
    // Creates (or opens) the lock file and takes the shared lock; failures are ignored.
    explicit TPresenceLock(const std::string& path = PresenceLockPath());
    bool Held() const { return FHeld; }

private:
    TFileHandle FFd;
    bool FHeld = false;
};

// True when some process holds the presence lock at path.
bool InstanceRunning(const std::string& path = PresenceLockPath());

} // namespace qz
