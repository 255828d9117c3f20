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
#include "fsops/deletejob.h"
#include "sources/device.h"

#include <atomic>
#include <memory>
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

// One device opened for deleting (on first use) and kept open for the items that follow.
// Talks to the device: use it off the window's thread, from one thread.
class TDeviceDeleter {
public:
    explicit TDeviceDeleter(std::string device);
    ~TDeviceDeleter();
    TDeviceDeleter(const TDeviceDeleter&) = delete;
    TDeviceDeleter& operator=(const TDeviceDeleter&) = delete;
    const std::string& Name() const { return FName; }

    // Finds item on the device, checks that it is still what was scanned and deletes it
    // (a folder with everything in it, deepest first). objects counts the objects removed;
    // removedBelow (when given) receives, for a folder that could not be removed entirely,
    // the paths (names below the item) of what inside it did go. False with the reason when
    // the item, or an object inside it, was not deleted; the reason then names the object's
    // path when that is not the item itself.
    bool Delete(const TDeviceItem& item, std::atomic<uint64_t>& objects, std::string& error,
                const std::atomic<bool>* cancel = nullptr,
                std::vector<std::vector<std::string>>* removedBelow = nullptr);
    // The space figures of the storage that inner (a device path's folders) lies in, or of
    // every storage for none; itempath names them. Nothing when the device cannot be opened.
    TDiskSizeInfo Space(const std::vector<std::string>& inner, const std::u16string& itempath);

private:
    bool Open(std::string& error);
    bool DeleteFound(const TDeviceItem& item, std::atomic<uint64_t>& objects, std::string& error,
                     const std::atomic<bool>* cancel,
                     std::vector<std::vector<std::string>>* removedBelow);

    std::string FName;
    std::unique_ptr<TPortableDevice> FDevice;
    std::string FOpenError; // set: opening failed (it is not tried again)
};

struct TDeviceDeleteResult {
    std::vector<size_t> Deleted;     // indexes of the items that are gone (mark them Deleted)
    std::vector<std::string> Errors; // one per item that was not (or not fully) deleted
    int64_t Objects = 0;             // objects removed on the device, contents included
};

// Deletes items on the device named device. Talks to the device: call it off the window's
// thread. cancel is polled between objects.
TDeviceDeleteResult DeleteOnDevice(const std::string& device, std::span<const TDeviceItem> items,
                                   const std::atomic<bool>* cancel = nullptr);

// ---- the window's delete of device items

struct TDeviceDeleteItem {
    std::string Device;   // the device's name (DeviceNameOf its scan)
    TDeviceItem Item;     // from its record (DeviceItemOf)
    uint64_t Entries = 1; // objects in it as the scan counted them (progress)
};

// Deletes device items on a thread of its own, permanently (a device has no trash), one
// device opened at a time and kept open for its items. A failure (the device not connected,
// an item changed since the scan, an object the device refuses to delete) is asked with the
// item's path and reason: Skip goes on with the next item, Skip all stops asking, Stop ends
// the job. Afterwards the space figures of each path in measure (the device paths of the
// scans involved) are read again from their devices.
class TDeviceDeleteJob final : public TDeleteJobBase {
public:
    TDeviceDeleteJob(std::vector<TDeviceDeleteItem> items, std::vector<std::string> measure);
    ~TDeviceDeleteJob() override;

    size_t ItemCount() const override { return FItems.size(); }

    // ---- results (once Finished)
    // For an item that did not go entirely: the paths (names below it) of what inside it went.
    std::vector<std::pair<size_t, std::vector<std::string>>> GoneInside;
    // The space figures read again, one per path of measure (without figures where the device
    // did not tell them).
    std::vector<TDiskSizeInfo> Space;

private:
    void Work() override;
    TDeviceDeleter& DeleterOf(const std::string& device);

    std::vector<TDeviceDeleteItem> FItems;
    std::vector<std::string> FMeasure;
    std::vector<std::unique_ptr<TDeviceDeleter>> FDeleters;
};

} // namespace qz
