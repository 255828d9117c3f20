// The desktop's mounts of portable devices: gvfs, when it holds a phone or a camera, mounts it
// as a folder below $XDG_RUNTIME_DIR/gvfs named after the device ("mtp:host=Google_Pixel_7_
// 2A111FDH2004PJ", from udev's ID_SERIAL; older versions and cameras "mtp:host=%5Busb%3A001%2C
// 005%5D", the USB address), with one folder per storage inside.
#pragma once

#include "sources/device.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qz {

struct TGvfsDeviceMount {
    std::string Path;                   // the folder
    std::string Scheme;                 // "mtp" or "gphoto2"
    std::string Host;                   // its host, percent escapes decoded
    uint32_t UsbBus = 0, UsbDevice = 0; // when the host is a USB address "[usb:001,005]"
};

// $XDG_RUNTIME_DIR/gvfs, else /run/user/<uid>/gvfs.
std::string GvfsRootFolder();

// Parses a folder name of the gvfs root; false for anything but a device mount.
bool ParseGvfsMountName(std::string_view name, TGvfsDeviceMount& out);

// The device mounts below root (nothing when there is no such folder).
std::vector<TGvfsDeviceMount> FindGvfsDeviceMounts(const std::string& root);

// The mount of a device: the one named after its udev serial or its USB address; nil when
// none is.
const TGvfsDeviceMount* MatchGvfsMount(const TDeviceInfo& device,
                                       const std::vector<TGvfsDeviceMount>& mounts);

// A device known only by its mount (a camera, or a phone whose USB side cannot be seen),
// described from the USB device the mount names when it can be found.
TDeviceInfo GvfsMountDevice(const TGvfsDeviceMount& mount);

} // namespace qz
