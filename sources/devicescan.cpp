#include "sources/devicescan.h"

#include "base/datetime.h"
#include "base/debuglog.h"
#include "base/text.h"
#include "engine/tree.h"
#include "filters/filters.h"
#include "sources/device_gvfs.h"
#include "sources/devicelookup.h"
#include "sources/devicepath.h"

#include <vector>

namespace qz {

namespace {

// The shared state of one walk (the walk runs on the scan thread alone: no lock).
class TDeviceWalk {
public:
    TDeviceWalk(TNTFS_FILES& nf, TPortableDevice& device, const TWalkExcludeFilter* exclude)
        : FScan(nf), FDevice(device), FExclude(exclude) {}

    void Run(PMFT_RECORD root, const TDeviceObjectId& start);

    int64_t TotFiles = 0, TotFolders = 0, TotFoldersProcessed = 0;
    double TotScore = 0;
    std::vector<uint32_t> Storages; // storages met (the first level of a whole device)

private:
    struct TPending {
        PMFT_RECORD rec;
        TDeviceObjectId id;
        double share;
    };
    // SlowScanFolderMTP: lists one folder, makes its records, queues its subfolders.
    void ScanFolder(const TPending& folder);
    PMFT_RECORD MakeRecord(const TDeviceObject& o, const std::string& name, PMFT_RECORD parent);
    void ReportProgress();
    void FolderUnreadable(PMFT_RECORD rec);

    TNTFS_FILES& FScan;
    TPortableDevice& FDevice;
    const TWalkExcludeFilter* FExclude;
    int64_t FNextRecNo = 24;
    std::vector<TPending> FStack;         // folders still to walk, the next one last
    std::vector<TDeviceObject> FChildren; // scratch of one listing
    std::vector<TPending> FSubfolders;    // scratch: the folders of one listing, in order
    std::string FName8;
    std::u16string FName16;
    PMFT_RECORD FSpare = nullptr; // a record taken from the arena and not used (excluded)
    bool FLost = false;
};

void TDeviceWalk::ReportProgress() {
    if (FScan.OnProgress) FScan.OnProgress(FScan.Index, int(TotScore * 100), TotFiles, TotFolders);
}

void TDeviceWalk::FolderUnreadable(PMFT_RECORD rec) {
    if (!rec->Unreadable) ++FScan.Warnings.UnreadableFolders;
    rec->Unreadable = true;
}

PMFT_RECORD TDeviceWalk::MakeRecord(const TDeviceObject& o, const std::string& name,
                                    PMFT_RECORD parent) {
    PMFT_RECORD r = FSpare ? FSpare : FScan.Arena().NewRecord();
    FSpare = nullptr;
    ZeroRecord(*r);
    r->ParentRec = parent->RecNo;
    r->ParentMFTRec = parent;
    FName16.clear();
    Utf8ToUtf16(name, FName16);
    FScan.SetRecordName(*r, FName16);
    if (o.Modified) r->ModifiedDate = UnixToDateTime(*o.Modified);
    if (o.IsFolder()) {
        r->FileRecFlags = 2;
    } else {
        if (o.Size) {
            r->FileSize = *o.Size;
            r->AllocSize = *o.Size;
        }
    }
    return r;
}

void TDeviceWalk::ScanFolder(const TPending& folder) {
    DebugLog("SlowScanFolderMTP start");
    std::string error;
    if (!FDevice.ListChildren(folder.id, FChildren, error)) {
        FolderUnreadable(folder.rec);
        if (!FDevice.StillConnected()) {
            DebugLog("SlowScanFolderMTP: the device is gone (" + error + ")");
            FLost = true;
        } else {
            DebugLog("SlowScanFolderMTP: cannot list " + Utf16ToUtf8(GetRecordPath(folder.rec)) +
                     ": " + error);
        }
        TotScore += folder.share;
        ReportProgress();
        return;
    }
    FSubfolders.clear();
    for (const TDeviceObject& o : FChildren) {
        if (folder.id.IsDeviceRoot() && o.Id.IsStorage()) Storages.push_back(o.Id.Storage);
        if (!o.PropertiesRead || o.DisplayName().empty()) {
            ++FScan.Warnings.SkippedObjects;
            continue;
        }
        bool renamed = false;
        FName8 = DeviceRecordName(o.DisplayName(), &renamed);
        PMFT_RECORD r = MakeRecord(o, FName8, folder.rec);
        if (FExclude && FExclude->Excludes(r)) {
            FSpare = r; // the record is used again for the next object
            continue;
        }
        if (renamed) ++FScan.Warnings.RenamedObjects;
        r->RecNo = uint64_t(FNextRecNo++);
        if (o.IsFolder()) {
            r->Folder = FScan.Arena().NewFolder();
            FScan.AddToFileList(r);
            FScan.AddToDirList(r);
            ++TotFolders;
            FSubfolders.push_back({r, o.Id, 0});
        } else {
            if (!o.Size) {
                r->Unreadable = true;
                ++FScan.Warnings.UnknownSizes;
            }
            FScan.AddToFileList(r);
            if (++TotFiles % 100 == 0) ReportProgress();
        }
    }
    if (FSubfolders.empty()) {
        TotScore += folder.share;
        ReportProgress();
        return;
    }
    ReportProgress();
    const double share = folder.share / double(FSubfolders.size());
    // Pushed last to first, so that they are walked in device order.
    for (size_t i = FSubfolders.size(); i-- > 0;) {
        FSubfolders[i].share = share;
        FStack.push_back(FSubfolders[i]);
    }
}

void TDeviceWalk::Run(PMFT_RECORD root, const TDeviceObjectId& start) {
    FStack.push_back({root, start, 1.0});
    while (!FStack.empty()) {
        if (FScan.Cancelled()) break;
        const TPending next = FStack.back();
        FStack.pop_back();
        if (FLost) {
            // Nothing more can be read: what is left is missing from the scan.
            FolderUnreadable(next.rec);
            continue;
        }
        ScanFolder(next);
        if (next.rec != root) ++TotFoldersProcessed;
    }
    if (FLost) FScan.Warnings.DeviceDisconnected = true;
}

} // namespace

void WalkDevice(TNTFS_FILES& nf, TPortableDevice& device, const TDeviceObject& start,
                const std::u16string& FilterInclude, const std::u16string& FilterExclude,
                bool FilterFullPath) {
    // The include filter is applied once the walk is done; it still decides, with the exclude
    // filter, whether paths are matched in full.
    const TWalkExcludeFilter exclude(FilterExclude,
                                     FilterFullPath || FilterTextSetsFullPath(FilterInclude));
    for (const TFilterError& e : exclude.Errors())
        DebugLog("DoSlowMode - exclude filter term " + Utf16ToUtf8(e.term) + ": " + e.message);
    TDeviceWalk walk(nf, device, exclude.Active() ? &exclude : nullptr);
    PMFT_RECORD root = nf.MFTRoot;
    if (start.Modified) root->ModifiedDate = UnixToDateTime(*start.Modified);
    walk.Run(root, start.Id);

    // The space figures: the storage the folder lies in, or all storages of a whole device
    // (the walk has listed them).
    nf.DeviceDinfo = DeviceSpaceOf(device, start, nf.FSource, &walk.Storages);
    if (nf.OnProgress) nf.OnProgress(nf.Index, 100, walk.TotFiles, walk.TotFolders);
}

TDiskSizeInfo DeviceSpaceOf(TPortableDevice& device, const TDeviceObject& start,
                            const std::u16string& itempath,
                            const std::vector<uint32_t>* rootStorages) {
    std::vector<uint32_t> storages;
    if (!start.Id.IsDeviceRoot()) {
        storages.push_back(start.Id.Storage);
    } else if (rootStorages) {
        storages = *rootStorages;
    } else {
        std::vector<TDeviceObject> children;
        std::string error;
        if (device.ListChildren(kDeviceRootObject, children, error))
            for (const TDeviceObject& c : children)
                if (c.Id.IsStorage()) storages.push_back(c.Id.Storage);
    }
    TDiskSizeInfo d;
    d.itempath = itempath;
    for (uint32_t s : storages) {
        const std::optional<TStorageSpace> space = device.StorageSpace(s);
        if (!space) continue;
        d.hastotalandfreespace = true;
        d.totalspace += space->Capacity;
        d.freespace += space->Free;
    }
    if (d.hastotalandfreespace)
        d.usedspace = d.totalspace > d.freespace ? d.totalspace - d.freespace : 0;
    return d;
}

std::string DeviceScanNote(const TScanWarnings& w) {
    std::string note;
    if (!w.ReadThrough.empty())
        note = std::string(tr("Read through the desktop's mount of the device")) + " (" +
               w.ReadThrough + ")";
    if (w.DeviceDisconnected) {
        if (!note.empty()) note += "; ";
        note += tr("the device was disconnected during the scan");
    }
    return note;
}

void DoDeviceScan(TNTFS_FILES& nf, const std::u16string& FilterInclude,
                  const std::u16string& FilterExclude, bool FilterFullPath) {
    nf.Warnings = TScanWarnings{};
    nf.DeviceDinfo = TDiskSizeInfo{};
    nf.DropRecNoIndexes(); // records are linked by pointer as they are found
    // The root is named by the whole path, without a trailing "\".
    while (nf.FSource.size() > 1 && nf.FSource.back() == u'\\') nf.FSource.pop_back();
    PMFT_RECORD root = nf.Arena().NewRecord();
    root->RecNo = 5;
    root->FileRecFlags = 2;
    root->Folder = nf.Arena().NewFolder();
    nf.SetRecordName(*root, nf.FSource);
    nf.AddToFileList(root);
    nf.AddToDirList(root);
    nf.MFTRoot = root;

    const TDevicePath path = SplitDevicePath(Utf16ToUtf8(nf.FSource));
    DebugLog("GetMTPIDFromFriendlyName " + path.Device);
    std::shared_ptr<TDeviceManager> manager = DeviceManager();
    const TDeviceList list = ListPortableDevices(*manager, GvfsRootFolder());
    const int found = FindDeviceByName(list.Devices, path.Device);
    if (found < 0) {
        std::string message = "No connected portable device is named " + path.Device;
        if (!list.Error.empty()) message += " (" + list.Error + ")";
        nf.SetError(message);
        return;
    }
    const TDeviceInfo& info = list.Devices[size_t(found)];
    DebugLog("mtpid " + info.Id);
    TOpenedDevice opened = OpenPortableDevice(*manager, info);
    if (!opened.Device) {
        nf.SetError(opened.Error);
        return;
    }
    nf.Warnings.ReadThrough = opened.Device->ReadThroughFolder();
    const TDeviceObjectLookup start = FindObjectByPath(*opened.Device, path.Inner);
    if (!start.Found) {
        nf.SetError(start.Error);
        return;
    }
    DebugLog("DoSlowMode - SlowScanFolder");
    WalkDevice(nf, *opened.Device, start.Object, FilterInclude, FilterExclude, FilterFullPath);
}

} // namespace qz
