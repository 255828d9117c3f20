#include "sources/devicelookup.h"

#include "base/debuglog.h"
#include "sources/device_folder.h"
#include "sources/device_gvfs.h"
#include "sources/devicepath.h"

#include <sys/stat.h>

namespace qz {

TDeviceList ListPortableDevices(TDeviceManager& manager, const std::string& gvfsRoot) {
    TDeviceList list;
    std::vector<TDeviceInfo> found;
    if (!manager.GetDevices(found, list.Error)) found.clear();
    std::vector<TGvfsDeviceMount> mounts = FindGvfsDeviceMounts(gvfsRoot);
    std::vector<bool> used(mounts.size(), false);
    std::vector<TDeviceInfo*> unmatched;
    for (TDeviceInfo& d : found) {
        if (d.DisplayName.empty()) d.DisplayName = DeviceDisplayName(d.FriendlyName, d.Description);
        if (const TGvfsDeviceMount* m = MatchGvfsMount(d, mounts)) {
            d.DesktopMount = m->Path;
            used[size_t(m - mounts.data())] = true;
        } else {
            unmatched.push_back(&d);
        }
    }
    // Without the udev database a device's serial is unknown; one device and one phone mount
    // left over are the same device.
    size_t freeMtp = 0, last = 0;
    for (size_t i = 0; i < mounts.size(); ++i)
        if (!used[i] && mounts[i].Scheme == "mtp") ++freeMtp, last = i;
    if (unmatched.size() == 1 && freeMtp == 1 && unmatched[0]->UsbSerial.empty()) {
        unmatched[0]->DesktopMount = mounts[last].Path;
        used[last] = true;
    }
    for (size_t i = 0; i < mounts.size(); ++i)
        if (!used[i]) found.push_back(GvfsMountDevice(mounts[i]));
    // Two devices of the same name: the later ones get a number.
    std::vector<std::string> names;
    for (TDeviceInfo& d : found) {
        std::string name = d.DisplayName;
        auto taken = [&](const std::string& n) {
            for (const std::string& t : names)
                if (SameDeviceName(t, n)) return true;
            return false;
        };
        for (int n = 2; taken(name); ++n) name = d.DisplayName + " (" + std::to_string(n) + ")";
        d.DisplayName = name;
        names.push_back(std::move(name));
    }
    list.Devices = std::move(found);
    return list;
}

TOpenedDevice OpenPortableDevice(TDeviceManager& manager, const TDeviceInfo& device) {
    TOpenedDevice r;
    struct stat st {};
    if (!device.DesktopMount.empty() && ::stat(device.DesktopMount.c_str(), &st) == 0 &&
        S_ISDIR(st.st_mode)) {
        DebugLog("Reading " + device.DisplayName + " through " + device.DesktopMount);
        r.Device = std::make_unique<TFolderDevice>(device.DesktopMount);
        return r;
    }
    if (device.Id.rfind("gvfs:", 0) == 0) {
        r.Error = "The device " + device.DisplayName + " is no longer mounted";
        return r;
    }
    r.Device = manager.Open(device, r.Error);
    return r;
}

int FindDeviceByName(const std::vector<TDeviceInfo>& devices, std::string_view name) {
    for (size_t i = 0; i < devices.size(); ++i)
        if (SameDeviceName(devices[i].DisplayName, name)) return int(i);
    for (size_t i = 0; i < devices.size(); ++i)
        if (!devices[i].OtherName.empty() && SameDeviceName(devices[i].OtherName, name))
            return int(i);
    return -1;
}

bool FindChildObject(TPortableDevice& device, const TDeviceObjectId& parent, std::string_view name,
                     TDeviceObject& found, std::string& error) {
    error.clear();
    std::vector<TDeviceObject> children;
    if (!device.ListChildren(parent, children, error)) {
        if (error.empty()) error = "cannot be listed";
        return false;
    }
    const TDeviceObject* folded = nullptr;
    int foldedCount = 0;
    for (const TDeviceObject& c : children) {
        if (!c.PropertiesRead) continue;
        const std::string n = DeviceRecordName(c.DisplayName());
        if (n == name) {
            found = c;
            return true;
        }
        if (SameDeviceName(n, name)) {
            folded = &c;
            ++foldedCount;
        }
    }
    if (foldedCount == 1) {
        found = *folded;
        return true;
    }
    return false;
}

TDeviceObjectLookup FindObjectByPath(TPortableDevice& device, const std::vector<std::string>& inner,
                                     bool foldersOnly) {
    TDeviceObjectLookup r;
    r.Object.Id = kDeviceRootObject;
    r.Object.Kind = TDeviceObjectKind::Folder;
    std::string walked;
    for (const std::string& part : inner) {
        if (!r.Object.IsFolder()) {
            r.Error = "Not a folder on the device: " + walked;
            return r;
        }
        TDeviceObject child;
        std::string error;
        const bool ok = FindChildObject(device, r.Object.Id, part, child, error);
        walked += walked.empty() ? part : "\\" + part;
        if (!ok) {
            r.Error = error.empty() ? std::string(foldersOnly ? "Folder" : "Item") +
                                          " not found on the device: " + walked
                                    : "Cannot read the device at " + walked + ": " + error;
            return r;
        }
        r.Object = std::move(child);
    }
    if (foldersOnly && !r.Object.IsFolder()) {
        r.Error = "Not a folder on the device: " + walked;
        return r;
    }
    r.Found = true;
    return r;
}

} // namespace qz
