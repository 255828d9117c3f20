// A new file beside a target, to be renamed over it once it is complete, so that a failed
// write never leaves a half-written file under the target's name.
#pragma once

#include <string>

namespace qz {

// Creates a new, empty file in the target's folder (a hidden name made from the target's,
// unique to this process) with the usual permissions: the process's umask applies. Returns
// its descriptor and sets tempPath, or returns -1 with errno set.
int CreateFileBeside(const std::string& target, std::string& tempPath);

} // namespace qz
