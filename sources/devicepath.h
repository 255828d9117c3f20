// Device paths and device names.
//
// A device source is named by a device path: the device's display name, optionally followed by
// "\" and the names of folders inside it ("Pixel 7\Internal storage\DCIM"). Display names are
// the device's friendly name, else its description, made fit to start such a path.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qz {

struct TDevicePath {
    std::string Device;             // the display name part
    std::vector<std::string> Inner; // the folders inside, outermost first
};

// Splits at "\": the first part is the device, the rest the inner folders (empty parts, as in
// a trailing "\", are left out).
TDevicePath SplitDevicePath(std::string_view path);

// The display name of a device: its friendly name, or its description when the friendly
// name is empty after trimming. Control characters become blanks, "\" (the path separator)
// becomes "/", and a leading "/" or "<" is dropped, so that the name cannot pass for a folder
// path or one of the list's dialog entries. "Portable device" when nothing is left.
std::string DeviceDisplayName(std::string_view friendlyName, std::string_view description);

// The name a device object is shown under in a scan: "\" (the separator of device paths)
// becomes U+29F5 and "/" (a path separator to filters and exports) becomes U+2215, two
// look-alike characters, so that every path of a device scan names exactly one object.
// replaced, when given, is set to whether anything was replaced.
std::string DeviceRecordName(std::string_view name, bool* replaced = nullptr);

// Names compared without regard to ASCII case.
bool SameDeviceName(std::string_view a, std::string_view b);

} // namespace qz
