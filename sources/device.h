// Portable devices (phones, cameras, media players over MTP): what the rest of the program
// sees of them.
//
// A device is a tree of objects. Its root holds the storages ("Internal storage", "SD card"),
// which play the part of functional objects: folders of the first level. A storage holds files
// and folders. A TDeviceManager lists the connected devices and opens them; an open device
// (TPortableDevice) lists the children of an object with their properties, measures its
// storages and deletes objects. The USB back end (libmtp) is one implementation; a folder laid
// out as a device (the desktop's gvfs mount of a device it holds) is another; tests supply
// their own. Nothing outside the back ends includes a device library.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace qz {

// One object of a device. Storage 0 is the device's root object; Handle kStorageRoot is the
// storage itself; any other handle is a file or folder inside that storage.
struct TDeviceObjectId {
    static constexpr uint32_t kStorageRoot = 0xFFFFFFFFu;
    uint32_t Storage = 0;
    uint32_t Handle = kStorageRoot;
    bool IsDeviceRoot() const { return Storage == 0; }
    bool IsStorage() const { return Storage != 0 && Handle == kStorageRoot; }
    bool operator==(const TDeviceObjectId&) const = default;
};
// The root object of every device ("DEVICE").
constexpr TDeviceObjectId kDeviceRootObject{};

enum class TDeviceObjectKind : uint8_t {
    File,
    Folder,
    FunctionalObject, // a storage: listed as a folder
};

// An object as its parent's listing gives it. Names are UTF-8 as the device reports them
// (bytes that are not UTF-8 are kept and converted losslessly).
struct TDeviceObject {
    TDeviceObjectId Id;
    TDeviceObjectKind Kind = TDeviceObjectKind::File;
    // False when the object was listed but its properties could not be read; nothing else
    // is then known.
    bool PropertiesRead = true;
    std::optional<std::string> OriginalFileName; // the file name as stored
    std::optional<std::string> Name;             // the object's name (a title for some objects)
    std::optional<uint64_t> Size;                // files: bytes; unset when unknown
    std::optional<int64_t> Modified;             // seconds since 1970 (UTC); unset when unknown

    bool IsFolder() const { return Kind != TDeviceObjectKind::File; }
    // The name an object is known by: its original file name, else its object name; empty
    // when the device gave neither.
    const std::string& DisplayName() const {
        static const std::string kNone;
        return OriginalFileName ? *OriginalFileName : Name ? *Name : kNone;
    }
};

// Capacity and free bytes of a storage.
struct TStorageSpace {
    uint64_t Capacity = 0;
    uint64_t Free = 0;
};

// An open device. Used from one thread at a time.
class TPortableDevice {
public:
    virtual ~TPortableDevice() = default;
    // The children of an object in device order. False (with a reason) when the listing
    // failed; out then holds nothing.
    virtual bool ListChildren(const TDeviceObjectId& parent, std::vector<TDeviceObject>& out,
                              std::string& error) = 0;
    // Capacity and free bytes of a storage; nothing when the device does not say.
    virtual std::optional<TStorageSpace> StorageSpace(uint32_t storage) = 0;
    // Removes an object for good (a folder with everything in it where the device allows
    // that). False with a reason when the device refused or failed.
    virtual bool DeleteObject(const TDeviceObjectId& object, std::string& error) = 0;
    // After a failure: false when the device is gone (unplugged, switched off).
    virtual bool StillConnected() = 0;
    // The folder the device is read through when it is not read over USB directly (the
    // desktop's mount of it); empty for a device read directly.
    virtual std::string ReadThroughFolder() const { return {}; }
};

// A connected device as the manager lists it.
struct TDeviceInfo {
    std::string Id;           // the manager's identifier, stable while the device stays plugged
    std::string FriendlyName; // the name the user gave it, if any
    std::string Description;  // maker and model
    std::string Protocol;     // "MTP", "PTP"
    // USB address (0 when not known): how the desktop's mount of the device and the process
    // holding it are found.
    uint32_t UsbBus = 0;
    uint32_t UsbDevice = 0;
    std::string UsbSerial; // the udev ID_SERIAL of the USB device, if known
    // Display name: the friendly name, else the description (DeviceDisplayName); set by
    // ListPortableDevices, unique among the devices listed.
    std::string DisplayName;
    // Another name the same device may have been listed under (the name from its USB
    // descriptors, used while it could not be opened).
    std::string OtherName;
    // The desktop's mount of the device (a gvfs folder), when it has one; set by
    // ListPortableDevices.
    std::string DesktopMount;
};

class TDeviceManager {
public:
    virtual ~TDeviceManager() = default;
    // The connected devices (RefreshDevices). False with a reason when the device service
    // itself is unavailable; no device connected is true with an empty list.
    virtual bool GetDevices(std::vector<TDeviceInfo>& out, std::string& error) = 0;
    // Opens a listed device; nil with a reason (naming the program that holds the device,
    // when it can be found) when it cannot be opened.
    virtual std::unique_ptr<TPortableDevice> Open(const TDeviceInfo& device,
                                                  std::string& error) = 0;
};

// The process's device manager: the USB back end unless one was set. Never nil.
std::shared_ptr<TDeviceManager> DeviceManager();
// Replaces it (tests; nil restores the USB back end).
void SetDeviceManager(std::shared_ptr<TDeviceManager> manager);

} // namespace qz
