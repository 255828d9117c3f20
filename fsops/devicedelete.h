// File operations on the items of a device scan. A portable device has no trash and no paths
// other programs can open: deleting is permanent, and the operations that need a file of the
// file system are not offered, with the reason.
//
// An item is found again on the device by its path (the scan's device path, then the names of
// the records below the root), compared with its record (a folder is still a folder, a file
// still has the size it was scanned with) and then deleted: a folder with everything in it,
// deepest first, as not every device removes a folder that is not empty.
#pragma once

#include "engine/scan.h"

#include <atomic>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace qz {

enum class TItemOperation : unsigned char {
    Open,
    ShowInFileManager,
    OpenTerminal,
    CopyPath,
    CopyToClipboard,
    CutToClipboard,
    DragOut,
    Properties,
    DeleteToTrash,
    DeletePermanently,
};

// Empty when op can be done on the items of a device scan; else why it cannot.
std::string DeviceOperationUnavailable(TItemOperation op);

// What deleting needs to know of one item, taken from its record on the thread that owns the
// scan, so that the deletion itself can run on another thread while the scan may be freed.
struct TDeviceItem {
    std::vector<std::string> Path; // from the device's root: the scan's inner path, then names
    bool Folder = false;
    std::optional<uint64_t> Size; // a file's size as scanned; unset when it was unknown
    std::string Shown;            // the item's path as the scan shows it (for messages)
};
TDeviceItem DeviceItemOf(const TNTFS_FILES& scan, PMFT_RECORD rec);
// The device part of a device scan's path.
std::string DeviceNameOf(const TNTFS_FILES& scan);

struct TDeviceDeleteResult {
    std::vector<size_t> Deleted;     // indexes of the items that are gone (mark them Deleted)
    std::vector<std::string> Errors; // one per item that was not (or not fully) deleted
    int64_t Objects = 0;             // objects removed on the device, contents included
};

// Deletes items on the device named device. Talks to the device: call it off the window's
// thread. cancel is polled between objects.
TDeviceDeleteResult DeleteOnDevice(const std::string& device, std::span<const TDeviceItem> items,
                                   const std::atomic<bool>* cancel = nullptr);

} // namespace qz
