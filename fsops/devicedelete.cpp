#include "fsops/devicedelete.h"

#include "base/debuglog.h"
#include "base/text.h"
#include "engine/tree.h"
#include "sources/device.h"
#include "sources/device_gvfs.h"
#include "sources/devicelookup.h"
#include "sources/devicepath.h"

#include <algorithm>

namespace qz {

namespace {

bool Stop(const std::atomic<bool>* cancel) {
    return cancel && cancel->load(std::memory_order_relaxed);
}

// Deletes object and, first, everything in it. False with error at the first failure.
bool DeleteTree(TPortableDevice& device, const TDeviceObject& object,
                const std::atomic<bool>* cancel, int64_t& count, std::string& error) {
    if (object.IsFolder()) {
        std::vector<TDeviceObject> children;
        if (!device.ListChildren(object.Id, children, error)) return false;
        for (const TDeviceObject& c : children) {
            if (Stop(cancel)) {
                error = tr("cancelled");
                return false;
            }
            if (!DeleteTree(device, c, cancel, count, error)) return false;
        }
    }
    if (!device.DeleteObject(object.Id, error)) return false;
    ++count;
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

TDeviceDeleteResult DeleteOnDevice(const std::string& deviceName,
                                   std::span<const TDeviceItem> items,
                                   const std::atomic<bool>* cancel) {
    TDeviceDeleteResult result;
    if (items.empty()) return result;
    std::shared_ptr<TDeviceManager> manager = DeviceManager();
    const TDeviceList list = ListPortableDevices(*manager, GvfsRootFolder());
    const int index = FindDeviceByName(list.Devices, deviceName);
    if (index < 0) {
        result.Errors.push_back(std::string(tr("The device is not connected")) + ": " + deviceName);
        return result;
    }
    TOpenedDevice opened = OpenPortableDevice(*manager, list.Devices[size_t(index)]);
    if (!opened.Device) {
        result.Errors.push_back(opened.Error);
        return result;
    }
    TPortableDevice& device = *opened.Device;
    for (size_t i = 0; i < items.size(); ++i) {
        if (Stop(cancel)) break;
        const TDeviceItem& item = items[i];
        const std::string where = " [" + item.Shown + "]";
        const TDeviceObjectLookup found = FindObjectByPath(device, item.Path, false);
        if (!found.Found) {
            result.Errors.push_back(found.Error + where);
            continue;
        }
        const TDeviceObject& o = found.Object;
        if (o.Id.IsDeviceRoot() || o.Id.IsStorage()) {
            result.Errors.push_back(tr("A device or a storage cannot be deleted") + where);
            continue;
        }
        if (o.IsFolder() != item.Folder ||
            (!o.IsFolder() && o.Size && item.Size && *o.Size != *item.Size)) {
            result.Errors.push_back(
                tr("The item has changed on the device since the scan; scan again") + where);
            continue;
        }
        std::string error;
        DebugLog("Delete on device: " + item.Shown);
        if (!DeleteTree(device, o, cancel, result.Objects, error)) {
            result.Errors.push_back(std::string(tr("Cannot delete")) + ": " + error + where);
            continue;
        }
        result.Deleted.push_back(i);
    }
    return result;
}

} // namespace qz
