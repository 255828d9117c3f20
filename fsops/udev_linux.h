// What the udev database knows about block devices (libudev). The database is kept by the
// udev daemon; without one (a container, a minimal system) every answer is empty.
#pragma once

#include <string>

namespace qz {

// The file-system type udev found on the block device at devicePath ("ntfs", "ext4"); empty
// when the path is no block device or udev has no record of it.
std::string UdevFileSystemType(const std::string& devicePath);

} // namespace qz
