#include "fsops/devicedelete.h"

#include "base/debuglog.h"
#include "base/text.h"
#include "engine/tree.h"
#include "sources/device.h"
#include "sources/device_gvfs.h"
#include "sources/devicelookup.h"
#include "sources/devicepath.h"
#include "sources/devicescan.h"

#include <algorithm>

namespace qz {

namespace {

bool Stop(const std::atomic<bool>* cancel) {
    return cancel && cancel->load(std::memory_order_relaxed);
}

// Deletes object and, first, everything in it. path: the object's names below the item
// (empty for the item). False at the first failure, with error and failedAt (the failing
// object's path below the item). removedBelow (when given) collects what inside a folder went
// while the folder itself stays: the paths of the outermost objects removed.
bool DeleteTree(TPortableDevice& device, const TDeviceObject& object,
                std::vector<std::string>& path, const std::atomic<bool>* cancel,
                std::atomic<uint64_t>& count, std::string& error,
                std::vector<std::string>& failedAt,
                std::vector<std::vector<std::string>>* removedBelow) {
    const size_t mark = removedBelow ? removedBelow->size() : 0;
    if (object.IsFolder()) {
        std::vector<TDeviceObject> children;
        if (!device.ListChildren(object.Id, children, error)) {
            failedAt = path;
            return false;
        }
        for (const TDeviceObject& c : children) {
            if (Stop(cancel)) {
                error = tr("cancelled");
                failedAt = path;
                return false;
            }
            path.push_back(DeviceRecordName(c.DisplayName()));
            const bool ok =
                DeleteTree(device, c, path, cancel, count, error, failedAt, removedBelow);
            if (ok && removedBelow) removedBelow->push_back(path);
            path.pop_back();
            if (!ok) return false;
        }
    }
    if (!device.DeleteObject(object.Id, error)) {
        failedAt = path;
        return false;
    }
    // The folder went with its content: what inside it went is no longer worth listing.
    if (removedBelow) removedBelow->resize(mark);
    count.fetch_add(1, std::memory_order_relaxed);
    return true;
}

} // namespace

std::string DeviceOperationUnavailable(TItemOperation op) {
    switch (op) {
    case TItemOperation::CopyPath:
    case TItemOperation::DeletePermanently:
        return {};
    case TItemOperation::DeleteToTrash:
        return tr("A portable device has no trash: items on it can only be deleted permanently");
    case TItemOperation::Open:
    case TItemOperation::ShowInFileManager:
    case TItemOperation::OpenTerminal:
    case TItemOperation::CopyToClipboard:
    case TItemOperation::CutToClipboard:
    case TItemOperation::DragOut:
    case TItemOperation::Properties:
        break;
    }
    return tr("Not available for items on a portable device");
}

std::string DeviceNameOf(const TNTFS_FILES& scan) {
    return SplitDevicePath(Utf16ToUtf8(scan.FSource)).Device;
}

TDeviceItem DeviceItemOf(const TNTFS_FILES& scan, PMFT_RECORD rec) {
    TDeviceItem item;
    item.Path = SplitDevicePath(Utf16ToUtf8(scan.FSource)).Inner;
    std::vector<std::string> below;
    for (PMFT_RECORD r = rec; r && r != scan.MFTRoot; r = r->ParentMFTRec)
        below.push_back(Utf16ToUtf8(r->Name()));
    item.Path.insert(item.Path.end(), below.rbegin(), below.rend());
    item.Folder = rec->IsFolder();
    if (!item.Folder && !rec->Unreadable) item.Size = rec->FileSize;
    item.Shown = Utf16ToUtf8(GetRecordPath(rec));
    return item;
}

// ---------------------------------------------------------------- one device

TDeviceDeleter::TDeviceDeleter(std::string device) : FName(std::move(device)) {}

TDeviceDeleter::~TDeviceDeleter() = default;

bool TDeviceDeleter::Open(std::string& error) {
    if (FDevice) return true;
    if (FOpenError.empty()) {
        std::shared_ptr<TDeviceManager> manager = DeviceManager();
        const TDeviceList list = ListPortableDevices(*manager, GvfsRootFolder());
        const int index = FindDeviceByName(list.Devices, FName);
        if (index < 0) {
            FOpenError = std::string(tr("The device is not connected")) + ": " + FName;
        } else {
            TOpenedDevice opened = OpenPortableDevice(*manager, list.Devices[size_t(index)]);
            FDevice = std::move(opened.Device);
            if (!FDevice) FOpenError = opened.Error;
        }
    }
    error = FOpenError;
    return FDevice != nullptr;
}

bool TDeviceDeleter::Delete(const TDeviceItem& item, std::atomic<uint64_t>& objects,
                            std::string& error, const std::atomic<bool>* cancel,
                            std::vector<std::vector<std::string>>* removedBelow) {
    if (!Open(error)) return false;
    if (DeleteFound(item, objects, error, cancel, removedBelow)) return true;
    if (!FDevice->StillConnected()) {
        // Nothing more can be done on it: the items that follow fail at once.
        FDevice.reset();
        FOpenError = std::string(tr("The device is not connected")) + ": " + FName;
        error = std::string(tr("Cannot delete")) + ": " + tr("the device was disconnected");
    }
    return false;
}

bool TDeviceDeleter::DeleteFound(const TDeviceItem& item, std::atomic<uint64_t>& objects,
                                 std::string& error, const std::atomic<bool>* cancel,
                                 std::vector<std::vector<std::string>>* removedBelow) {
    TPortableDevice& device = *FDevice;
    const TDeviceObjectLookup found = FindObjectByPath(device, item.Path, false);
    if (!found.Found) {
        error = found.Error;
        return false;
    }
    const TDeviceObject& o = found.Object;
    if (o.Id.IsDeviceRoot() || o.Id.IsStorage()) {
        error = tr("A device or a storage cannot be deleted");
        return false;
    }
    if (o.IsFolder() != item.Folder ||
        (!o.IsFolder() && o.Size && item.Size && *o.Size != *item.Size)) {
        error = tr("The item has changed on the device since the scan; scan again");
        return false;
    }
    DebugLog("Delete on device: " + item.Shown);
    std::vector<std::string> path, failedAt;
    std::string why;
    if (DeleteTree(device, o, path, cancel, objects, why, failedAt, removedBelow)) return true;
    std::string where;
    for (const std::string& name : failedAt) where += "\\" + name;
    error = std::string(tr("Cannot delete")) + (where.empty() ? "" : " " + item.Shown + where) +
            ": " + why;
    return false;
}

TDiskSizeInfo TDeviceDeleter::Space(const std::vector<std::string>& inner,
                                    const std::u16string& itempath) {
    std::string error;
    if (!Open(error)) {
        TDiskSizeInfo none;
        none.itempath = itempath;
        return none;
    }
    const TDeviceObjectLookup start = FindObjectByPath(*FDevice, inner);
    if (!start.Found) {
        TDiskSizeInfo none;
        none.itempath = itempath;
        return none;
    }
    return DeviceSpaceOf(*FDevice, start.Object, itempath);
}

// ---------------------------------------------------------------- without the window

TDeviceDeleteResult DeleteOnDevice(const std::string& deviceName,
                                   std::span<const TDeviceItem> items,
                                   const std::atomic<bool>* cancel) {
    TDeviceDeleteResult result;
    if (items.empty()) return result;
    TDeviceDeleter deleter(deviceName);
    std::atomic<uint64_t> objects{0};
    for (size_t i = 0; i < items.size(); ++i) {
        if (Stop(cancel)) break;
        std::string error;
        if (deleter.Delete(items[i], objects, error, cancel)) {
            result.Deleted.push_back(i);
            continue;
        }
        // Not connected: said once for all items.
        if (!result.Errors.empty() && result.Errors.back() == error) continue;
        const bool device = error.rfind(tr("The device is not connected"), 0) == 0;
        result.Errors.push_back(device ? error : error + " [" + items[i].Shown + "]");
    }
    result.Objects = int64_t(objects.load());
    return result;
}

// ---------------------------------------------------------------- the window's job

TDeviceDeleteJob::TDeviceDeleteJob(std::vector<TDeviceDeleteItem> items,
                                   std::vector<std::string> measure)
    : FItems(std::move(items)), FMeasure(std::move(measure)) {
    for (const TDeviceDeleteItem& i : FItems) FEntriesTotal += i.Entries;
}

TDeviceDeleteJob::~TDeviceDeleteJob() {
    Cancel();
    Wait();
}

TDeviceDeleter& TDeviceDeleteJob::DeleterOf(const std::string& device) {
    for (const auto& d : FDeleters)
        if (d->Name() == device) return *d;
    FDeleters.push_back(std::make_unique<TDeviceDeleter>(device));
    return *FDeleters.back();
}

void TDeviceDeleteJob::Work() {
    std::vector<std::vector<std::string>> inside;
    for (size_t i = 0; i < FItems.size(); ++i) {
        if (FProgress.Cancel.load()) break;
        const TDeviceDeleteItem& item = FItems[i];
        std::string error;
        inside.clear();
        const bool ok =
            DeleterOf(item.Device)
                .Delete(item.Item, FProgress.Removed, error, &FProgress.Cancel, &inside);
        FItemsDone.fetch_add(1, std::memory_order_relaxed);
        if (ok) {
            Gone.push_back(i);
            continue;
        }
        for (std::vector<std::string>& p : inside) GoneInside.emplace_back(i, std::move(p));
        if (FProgress.Cancel.load()) break;
        if (Ask({item.Item.Shown, 0, error, false}) == TDeleteChoice::Stop) break;
    }
    // What the deletes freed, while the devices are open.
    for (const std::string& path : FMeasure) {
        const TDevicePath dp = SplitDevicePath(path);
        Space.push_back(DeleterOf(dp.Device).Space(dp.Inner, Utf8ToUtf16(path)));
    }
}

} // namespace qz
