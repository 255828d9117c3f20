// The mount table: which file systems are mounted where, from /proc/self/mountinfo.
//
// Linux has no drive letters; the mounted file systems play their part. A path belongs to the
// mount whose mount point is its longest leading folder path (a later mount on the same point
// hides the earlier one, as the kernel does).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qz {

struct TMountInfo {
    std::string MountPoint; // absolute, no trailing "/" except for "/"
    std::string Root;       // folder of the file system mounted there ("/" for a whole one)
    std::string FsType;     // "ext4", "ntfs3", "fuseblk", ...
    std::string Source;     // what was mounted: "/dev/sdb1", an image file, "tmpfs", "server:/x"
    unsigned Major = 0, Minor = 0;
};

// Parses mountinfo text (one mount per line; octal escapes such as "\040" decoded). Lines
// that do not have the expected fields are skipped.
std::vector<TMountInfo> ParseMountInfo(std::string_view text);
// The running system's table; empty when /proc is not readable.
std::vector<TMountInfo> ReadMountTable();

// The mount that holds path (an absolute path without "." or ".." components); nil when the
// table has none (an empty table).
const TMountInfo* MountOfPath(const std::vector<TMountInfo>& mounts, std::string_view path);
// The mount whose mount point is exactly path; nil otherwise.
const TMountInfo* MountAt(const std::vector<TMountInfo>& mounts, std::string_view path);

// True for the kernel's own file systems (proc, sysfs, cgroup, tmpfs, ...), which hold no
// user data worth listing as a source.
bool IsVirtualFileSystem(std::string_view fstype);
// True for file systems that NTFS can be mounted as ("ntfs", "ntfs3", "ntfs-3g", and the FUSE
// types, which need a look at the device to tell).
bool MayBeNtfsMount(std::string_view fstype);

// An absolute form of path with "." and ".." components and repeated or trailing "/" removed;
// symbolic links are not resolved. Relative paths are taken from the current folder.
std::string NormalizePath(std::string_view path);

} // namespace qz
