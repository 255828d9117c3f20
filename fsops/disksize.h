// Space figures of a source (TDiskSizeInfo): capacity, free, reserved and used bytes.
//
// A folder (a mount point or any folder inside a file system) and a device or image that is
// mounted are measured with statvfs on the file system that holds them, as df counts: used =
// blocks - free blocks, free = what unprivileged users may still write, reserved = the free
// blocks kept for root. An NTFS volume read raw is measured from its volume data. Other files
// (dump and CSV files) get no figures. A device path ("Phone\Internal storage") that names a
// connected portable device is measured by the device: the capacity and free space of the
// storage it lies in, or of all its storages (used = capacity - free).
#pragma once

#include "engine/types.h"
#include "fsops/mounts.h"

#include <string>
#include <vector>

namespace qz {

// Fills info for path; the mount table is read when needed. A device path talks to the
// device (which may take seconds): call it off the window's thread.
void GetDiskSizeInfo(const std::u16string& path, TDiskSizeInfo& info);
TDiskSizeInfo GetDiskSizeInfo(const std::string& path, const std::vector<TMountInfo>& mounts);

// Figures of a portable device's storage from a device path; none when no connected device
// has that name or the folders are not on it.
TDiskSizeInfo DeviceDiskSizeInfo(const std::string& path);

// Figures of the file system holding path, through statvfs on the path itself; false when
// statvfs fails.
bool StatvfsSizes(const std::string& path, TDiskSizeInfo& info);

// Figures from NTFS volume data: total = clusters x cluster size, free = free clusters,
// reserved = reserved clusters. hastotalandfreespace only when the volume data knows the
// free clusters (a boot sector alone does not).
TDiskSizeInfo DiskSizeFromVolumeData(const std::u16string& path,
                                     const TNTFS_VOLUME_DATA_BUFFER& vd);

} // namespace qz
