// Finding devices and objects by name: the list of devices the user can pick (the device
// manager's, and the desktop's device mounts that belong to none of them), opening a device
// (through the desktop's mount when it holds the device), the device a path names
// (GetMTPIDFromFriendlyName) and the child of an object with a given name (FindChildObjectID).
#pragma once

#include "sources/device.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace qz {

struct TDeviceList {
    std::vector<TDeviceInfo> Devices; // display names unique: a second "Pixel 7" is "Pixel 7 (2)"
    std::string Error;                // the device service's failure (devices may still be listed)
};

// The devices to list and scan, with their desktop mounts (gvfsRoot: GvfsRootFolder()).
TDeviceList ListPortableDevices(TDeviceManager& manager, const std::string& gvfsRoot);

struct TOpenedDevice {
    std::unique_ptr<TPortableDevice> Device;
    std::string Error; // why it could not be opened
};
// Opens a listed device: through its desktop mount when it has one (the desktop holds the
// device then, so it cannot be opened over USB), else through the manager.
TOpenedDevice OpenPortableDevice(TDeviceManager& manager, const TDeviceInfo& device);

// The device whose display name (or other name) is name, compared without regard to ASCII
// case; -1 when none is.
int FindDeviceByName(const std::vector<TDeviceInfo>& devices, std::string_view name);

// FindChildObjectID: the child of parent named name (its original file name, else its object
// name, as a scan shows it: DeviceRecordName). An exact match wins; else the one child equal
// without regard to ASCII case. False with error empty when there is none, with error set when
// parent cannot be listed.
bool FindChildObject(TPortableDevice& device, const TDeviceObjectId& parent, std::string_view name,
                     TDeviceObject& found, std::string& error);

struct TDeviceObjectLookup {
    bool Found = false;
    TDeviceObject Object; // the object the inner path names (the device root for none)
    std::string Error;    // what is missing or why it could not be read
};
// Follows the inner folders of a device path from the device's root object. With
// foldersOnly the object found must be a folder (a storage, or the device root for none).
TDeviceObjectLookup FindObjectByPath(TPortableDevice& device, const std::vector<std::string>& inner,
                                     bool foldersOnly = true);

} // namespace qz
