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

// The inner path of a record of a device scan: the scan's device path split, then the names of
// the records from below the root down to rec.
std::vector<std::string> DeviceItemPath(const TNTFS_FILES& scan, PMFT_RECORD rec,
                                        std::string& device);

struct TDeviceDeleteResult {
    std::vector<PMFT_RECORD> Deleted; // the records whose objects are gone (mark them Deleted)
    std::vector<std::string> Errors;  // one per item that was not (or not fully) deleted
    int64_t Objects = 0;              // objects removed on the device, contents included
};

// Deletes the objects of recs (records of the device scan `scan`) on the device. Talks to the
// device: call it off the window's thread. cancel is polled between objects. Records are only
// read, never changed.
TDeviceDeleteResult DeleteOnDevice(const TNTFS_FILES& scan, std::span<const PMFT_RECORD> recs,
                                   const std::atomic<bool>* cancel = nullptr);

} // namespace qz
