// What the file system says about one item (statx, without following a link), in the form
// the properties dialog shows: type, sizes, dates, owner, mode, links, device and inode.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

namespace qz {

struct TItemProperties {
    bool Ok = false;
    int Error = 0; // errno when not Ok
    std::string Path;
    std::string Type;       // "Folder", "Regular file", "Symbolic link", ...
    std::string LinkTarget; // a link's target as stored
    uint64_t Size = 0;
    uint64_t Allocated = 0; // blocks * 512
    struct timespec Modified {
    }, Accessed{}, Changed{}, Created{};
    bool HasCreated = false; // the file system records a birth time
    uint32_t Uid = 0, Gid = 0;
    std::string Owner, Group; // names; the number when the name is unknown
    uint32_t Mode = 0;        // permission bits with set-id and sticky bits
    std::string ModeText;     // "drwxr-xr-x (0755)"
    uint64_t Links = 0;
    uint64_t Inode = 0;
    uint32_t DeviceMajor = 0, DeviceMinor = 0;   // of the file system holding the item
    uint32_t SpecialMajor = 0, SpecialMinor = 0; // a device node's own numbers
    bool IsDeviceNode = false;
};

TItemProperties ReadItemProperties(const std::string& path);

// "drwxr-xr-x" for a stat mode (type letter, then the nine permission letters with s, S, t, T
// for the set-id and sticky bits).
std::string ModeString(uint32_t mode);
// Local date and time: "2024-05-01 13:45:10".
std::string LocalDateText(const struct timespec& t);

} // namespace qz
