// A folder served as a portable device: its subfolders are the storages, everything below
// them the device's files and folders. This is how a device that the desktop holds is read:
// through the desktop's own mount of it (gvfs lays a device out exactly so), with names,
// sizes and dates from the folder entries.
#pragma once

#include "sources/device.h"

#include <string>
#include <utility>
#include <vector>

namespace qz {

class TFolderDevice final : public TPortableDevice {
public:
    explicit TFolderDevice(std::string root);

    bool ListChildren(const TDeviceObjectId& parent, std::vector<TDeviceObject>& out,
                      std::string& error) override;
    std::optional<TStorageSpace> StorageSpace(uint32_t storage) override;
    // A file is unlinked, an empty folder removed; a folder with content is refused by the
    // file system (the caller empties it first).
    bool DeleteObject(const TDeviceObjectId& object, std::string& error) override;
    bool StillConnected() override;
    std::string ReadThroughFolder() const override { return FRoot; }

    // The folder an object stands for (empty for an object never listed).
    std::string PathOf(const TDeviceObjectId& object) const;

private:
    std::string FRoot;
    // Paths of the objects handed out: storages by Storage - 1, the others by Handle - 1.
    std::vector<std::string> FStorages;
    std::vector<std::string> FObjects;
    // File systems measured by StorageSpace: device number and the storage that reported it.
    std::vector<std::pair<uint64_t, uint32_t>> FMeasured;
};

} // namespace qz
