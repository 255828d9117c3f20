#include "fsops/disksize.h"

#include "base/text.h"
#include "engine/mft_volume.h"
#include "sources/device.h"
#include "sources/device_gvfs.h"
#include "sources/devicelookup.h"
#include "sources/devicepath.h"
#include "sources/devicescan.h"

#include <algorithm>
#include <cerrno>
#include <sys/stat.h>
#include <sys/statvfs.h>

namespace qz {

bool StatvfsSizes(const std::string& path, TDiskSizeInfo& info) {
    struct statvfs sv {};
    if (::statvfs(path.c_str(), &sv) != 0) return false;
    const uint64_t unit = sv.f_frsize ? sv.f_frsize : sv.f_bsize;
    // As df counts them: used = blocks - free blocks; free = what users may still write; the
    // blocks between the two are kept for root.
    const uint64_t blocks = sv.f_blocks;
    const uint64_t bfree = std::min<uint64_t>(sv.f_bfree, blocks);
    const uint64_t bavail = std::min<uint64_t>(sv.f_bavail, bfree);
    info.totalspace = blocks * unit;
    info.freespace = bavail * unit;
    info.reservedspace = (bfree - bavail) * unit;
    info.usedspace = (blocks - bfree) * unit;
    info.reservedoutsidefree = true;
    info.hastotalandfreespace = info.totalspace > 0;
    if (!info.hastotalandfreespace) info.freespace = info.reservedspace = info.usedspace = 0;
    return true;
}

TDiskSizeInfo DiskSizeFromVolumeData(const std::u16string& path,
                                     const TNTFS_VOLUME_DATA_BUFFER& vd) {
    TDiskSizeInfo info;
    info.itempath = path;
    if (vd.TotalClusters <= 0 || vd.BytesPerCluster == 0) return info;
    const uint64_t bpc = vd.BytesPerCluster;
    info.totalspace = uint64_t(vd.TotalClusters) * bpc;
    if (vd.FreeClusters > 0 && vd.FreeClusters <= vd.TotalClusters) {
        info.freespace = uint64_t(vd.FreeClusters) * bpc;
        info.usedspace = info.totalspace - info.freespace;
        info.hastotalandfreespace = true;
    }
    if (vd.TotalReserved > 0 && vd.TotalReserved <= vd.TotalClusters)
        info.reservedspace = uint64_t(vd.TotalReserved) * bpc;
    return info;
}

TDiskSizeInfo DeviceDiskSizeInfo(const std::string& path) {
    TDiskSizeInfo info;
    info.itempath = Utf8ToUtf16(path);
    const TDevicePath dp = SplitDevicePath(path);
    std::shared_ptr<TDeviceManager> manager = DeviceManager();
    const TDeviceList list = ListPortableDevices(*manager, GvfsRootFolder());
    const int index = FindDeviceByName(list.Devices, dp.Device);
    if (index < 0) return info;
    TOpenedDevice opened = OpenPortableDevice(*manager, list.Devices[size_t(index)]);
    if (!opened.Device) return info;
    const TDeviceObjectLookup start = FindObjectByPath(*opened.Device, dp.Inner);
    if (!start.Found) return info;
    return DeviceSpaceOf(*opened.Device, start.Object, info.itempath);
}

TDiskSizeInfo GetDiskSizeInfo(const std::string& rawPath, const std::vector<TMountInfo>& mounts) {
    TDiskSizeInfo info;
    info.itempath = Utf8ToUtf16(rawPath);
    if (rawPath.empty()) return info;
    const std::string path = NormalizePath(rawPath);
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        // Not in the file system: perhaps a device path.
        if (errno == ENOENT && rawPath[0] != '/') return DeviceDiskSizeInfo(rawPath);
        return info;
    }
    if (S_ISDIR(st.st_mode)) {
        // A folder is measured on the file system that holds it, asked through the folder
        // itself: that also works where the mount table does not list "/" (a chroot, some
        // containers).
        StatvfsSizes(path, info);
        return info;
    }
    if (S_ISBLK(st.st_mode) || S_ISREG(st.st_mode)) {
        // A device (or image) that is mounted is measured where it is mounted.
        for (const TMountInfo& m : mounts) {
            struct stat ms {};
            if (m.Source.empty() || m.Source[0] != '/' || ::stat(m.Source.c_str(), &ms) != 0)
                continue;
            if (ms.st_dev == st.st_dev && ms.st_ino == st.st_ino) {
                StatvfsSizes(m.MountPoint, info);
                return info;
            }
        }
        const TNtfsLocation loc = LocateNtfsVolume(path);
        if (loc.IsNtfs)
            return DiskSizeFromVolumeData(info.itempath, BootSectorVolumeData(loc.Boot));
    }
    return info;
}

void GetDiskSizeInfo(const std::u16string& path, TDiskSizeInfo& info) {
    info = GetDiskSizeInfo(Utf16ToUtf8(path), ReadMountTable());
}

} // namespace qz
