#include "app/sourceresolve.h"

#include "base/debuglog.h"
#include "base/text.h"
#include "engine/mft_volume.h"
#include "fsops/disksize.h"
#include "sources/device.h"
#include "sources/device_gvfs.h"
#include "sources/devicelookup.h"
#include "sources/devicepath.h"
#include "sources/dirscan.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace qz {

namespace {

bool HasExtension(const std::string& path, const char* ext) {
    return EndsWithIgnoreAsciiCase(Utf8ToUtf16(path), AsciiToUtf16(ext));
}

// The mount point a device or image is mounted at, if any.
std::string MountedAt(const std::string& path, const std::vector<TMountInfo>& mounts) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return {};
    for (const TMountInfo& m : mounts) {
        struct stat ms {};
        if (m.Source.empty() || m.Source[0] != '/' || ::stat(m.Source.c_str(), &ms) != 0) continue;
        if (S_ISBLK(st.st_mode) ? (S_ISBLK(ms.st_mode) && ms.st_rdev == st.st_rdev)
                                : (ms.st_dev == st.st_dev && ms.st_ino == st.st_ino))
            return m.MountPoint;
    }
    return {};
}

// A path that is not in the file system may be a device path ("Phone\Internal storage"):
// its first part names a device of the source list or, failing that, a connected device.
bool ResolveDevicePath(const std::string& path, const TSourceList& list, TResolvedSource& r) {
    if (path.empty() || path[0] == '/') return false;
    const TDevicePath dp = SplitDevicePath(path);
    for (size_t i = 0; i < list.Entries.size(); ++i) {
        const TSourceEntry& e = list.Entries[i];
        if (e.Kind == DT_DEVICE && SameDeviceName(SplitDevicePath(e.Path).Device, dp.Device)) {
            r.ListIndex = int(i);
            break;
        }
    }
    if (r.ListIndex < 0) {
        const TDeviceList devices = ListPortableDevices(*DeviceManager(), GvfsRootFolder());
        if (FindDeviceByName(devices.Devices, dp.Device) < 0) {
            r.Error = path + ": " + std::strerror(ENOENT) +
                      ", and no connected portable device is named " + dp.Device;
            if (!devices.Error.empty()) r.Error += " (" + devices.Error + ")";
            return false;
        }
    }
    r.Source.Kind = DT_DEVICE;
    r.Source.Method = TScanMethod::Device;
    r.Source.Path = Utf8ToUtf16(path);
    r.Ok = true;
    return true;
}

} // namespace

TDiskSizeInfo SourceDiskSize(const TScanSource& src, const TNTFS_FILES& scan,
                             const std::vector<TMountInfo>& mounts) {
    const std::string path = Utf16ToUtf8(src.Path);
    switch (src.Method) {
    case TScanMethod::MFTVolume:
        if (!src.SubtreePath.empty())
            return GetDiskSizeInfo(Utf16ToUtf8(src.SubtreeRootName), mounts);
        if (!src.RootName.empty()) return GetDiskSizeInfo(Utf16ToUtf8(src.RootName), mounts);
        return DiskSizeFromVolumeData(src.Path, scan.FVolData);
    case TScanMethod::Enumerate:
        return GetDiskSizeInfo(path, mounts);
    case TScanMethod::Device:
        // Measured by the device walk (and again after deletes on the device); the device is
        // not asked here, as this may run on the window's thread.
        if (scan.DeviceDinfo.hastotalandfreespace) return scan.DeviceDinfo;
        break;
    case TScanMethod::MFTDump:
    case TScanMethod::CSVImport:
        break;
    }
    TDiskSizeInfo none;
    none.itempath = src.Path;
    return none;
}

TResolvedSource ResolveSourcePath(const std::string& path, const TSourceList& list,
                                  const std::vector<TMountInfo>& mounts,
                                  const TResolveOptions& options) {
    TResolvedSource r;
    if (path.empty()) {
        r.Error = tr("no source given");
        return r;
    }
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        const int error = errno;
        if (error == ENOENT && path[0] != '/') {
            ResolveDevicePath(path, list, r);
            return r;
        }
        r.Error = path + ": " + std::strerror(error);
        return r;
    }
    TScanSource& s = r.Source;
    s.Path = Utf8ToUtf16(path);
    if (S_ISDIR(st.st_mode)) {
        // The folder by its clean name: no ".", ".." or repeated "/" in any path of the scan.
        const std::string norm = SlowScanRootName(path);
        s.Path = Utf8ToUtf16(norm);
        r.ListIndex = FindDriveEntry(list, norm);
        if (r.ListIndex >= 0) {
            const TSourceEntry& e = list.Entries[size_t(r.ListIndex)];
            s.Kind = e.Kind;
            if (e.Kind == DT_NTFS) {
                s.Method = TScanMethod::MFTVolume;
                s.Path = Utf8ToUtf16(e.Device);
                s.RootName = Utf8ToUtf16(norm);
                r.VolumeOffset = LocateNtfsVolume(e.Device).Offset;
            }
        } else {
            r.ListIndex = FindEntryOfKind(list, DT_FOLDER);
            s.Kind = DT_FOLDER;
            const TMountInfo* m = MountOfPath(mounts, norm);
            const int vol = m ? FindDriveEntry(list, m->MountPoint) : -1;
            if (options.FullScanNTFSIfPossible && vol >= 0 &&
                list.Entries[size_t(vol)].Kind == DT_NTFS) {
                DebugLog("FullNTFSScanForFolder TRUE");
                const TSourceEntry& e = list.Entries[size_t(vol)];
                s.Method = TScanMethod::MFTVolume;
                s.Path = Utf8ToUtf16(e.Device);
                s.RootName = Utf8ToUtf16(e.Path);
                s.SubtreePath =
                    Utf8ToUtf16(e.Path == "/" ? norm.substr(1) : norm.substr(e.Path.size() + 1));
                s.SubtreeRootName = Utf8ToUtf16(norm);
                r.VolumeOffset = LocateNtfsVolume(e.Device).Offset;
            }
        }
        r.Ok = true;
        return r;
    }
    if (S_ISREG(st.st_mode) && HasExtension(path, ".mft")) {
        s.Kind = DT_MFTFILE;
        s.Method = TScanMethod::MFTDump;
        r.ListIndex = FindEntryOfKind(list, DT_MFTFILE);
        r.Ok = true;
        return r;
    }
    if (S_ISREG(st.st_mode) && (HasExtension(path, ".csv") || HasExtension(path, ".tsv"))) {
        s.Kind = DT_CSVFILE;
        s.Method = TScanMethod::CSVImport;
        r.ListIndex = FindEntryOfKind(list, DT_CSVFILE);
        r.Ok = true;
        return r;
    }
    if (S_ISREG(st.st_mode) || S_ISBLK(st.st_mode)) {
        const TNtfsLocation p = LocateNtfsVolume(path);
        if (!p.Readable) {
            r.Error = path + ": " + p.Error;
            if (S_ISBLK(st.st_mode) && p.Error == std::strerror(EACCES))
                r.Error +=
                    std::string(" ") + tr("(reading a device needs root; --admin asks for it)");
            return r;
        }
        if (p.IsNtfs) {
            s.Kind = DT_NTFS;
            s.Method = TScanMethod::MFTVolume;
            r.VolumeOffset = p.Offset;
            r.Ok = true;
            return r;
        }
        r.Error =
            path + ": " +
            (S_ISBLK(st.st_mode) ? tr("no NTFS file system on this device")
                                 : tr("not an NTFS image, an MFT dump (.mft) or a CSV/TSV export "
                                      "(.csv, .tsv)"));
        const std::string at = MountedAt(path, mounts);
        if (!at.empty())
            r.Error += Format(tr("; it is mounted at %s, scan that folder instead"), at.c_str());
        return r;
    }
    r.Error = path + ": " + tr("not a folder, a file or a block device");
    return r;
}

} // namespace qz
