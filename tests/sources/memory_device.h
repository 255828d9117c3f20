// A portable device held in memory, for the tests of everything above the device interface.
//
// Built from a folder tree: the folder's subfolders are the device's storages, everything
// below them its files and folders, with names, sizes and modification dates from the
// entries. A test then bends single objects (by their "/"-separated path from the device
// root) into what real devices do: properties that cannot be read, no original file name, an
// empty name, no size, a folder that refuses listing, or the device going away after a
// number of listings.
#pragma once

#include "sources/device.h"

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace qz::test {

class TMemoryDevice {
public:
    // folder: the tree to copy (its subfolders become the storages).
    explicit TMemoryDevice(const std::string& folder);

    // The object at a "/"-separated path below the device root ("Internal storage/DCIM/a.jpg");
    // fails the test (and returns a dummy) when there is none.
    TDeviceObject& Object(const std::string& path);
    // The listing of the folder at path fails.
    void RefuseListing(const std::string& path) { FRefused.push_back(PathId(path)); }
    // The device is gone after this many more successful listings (-1: never).
    int ListingsLeft = -1;
    // The storage figures every storage reports (none by default); a storage's free space
    // grows by the sizes of the files deleted on it.
    std::optional<TStorageSpace> Space;
    // Deleting the object at path fails.
    void RefuseDelete(const std::string& path) { FDeleteRefused.push_back(PathId(path)); }

    // What happened: the ids listed, in order, and the ids deleted.
    std::vector<TDeviceObjectId> Listed;
    std::vector<TDeviceObjectId> Deleted;

    // A TPortableDevice over this device (many may exist; they share its state).
    std::unique_ptr<TPortableDevice> Open();

private:
    friend class TMemoryDeviceHandle;
    struct TNode {
        TDeviceObject Object;
        std::vector<size_t> Children; // node indexes
        bool Gone = false;            // deleted
    };
    size_t Add(const std::string& path, size_t parent, TDeviceObject object);
    void Load(const std::string& folder, size_t node, const std::string& prefix);
    TDeviceObjectId PathId(const std::string& path);
    size_t NodeOf(const TDeviceObjectId& id) const; // npos when unknown

    std::vector<TNode> FNodes;            // 0: the device root
    std::map<std::string, size_t> FPaths; // path -> node
    std::vector<TDeviceObjectId> FRefused;
    std::vector<TDeviceObjectId> FDeleteRefused;
    std::map<uint32_t, uint64_t> FFreed; // storage -> bytes of the files deleted on it
    bool FGone = false;
};

// A device manager listing memory devices.
class TMemoryDeviceManager final : public TDeviceManager {
public:
    struct TEntry {
        TDeviceInfo Info;
        std::shared_ptr<TMemoryDevice> Device; // nil: the device cannot be opened
        std::string OpenError;
    };
    std::vector<TEntry> Entries;
    std::string ServiceError; // set: GetDevices fails with it
    int Opened = 0;           // Open calls

    bool GetDevices(std::vector<TDeviceInfo>& out, std::string& error) override;
    std::unique_ptr<TPortableDevice> Open(const TDeviceInfo& device, std::string& error) override;
};

} // namespace qz::test
