// Space figures of a source (TDiskSizeInfo): capacity, free, reserved and used bytes.
//
// A folder (a mount point or any folder inside a file system) and a device or image that is
// mounted are measured with statvfs on the file system that holds them, as df counts: used =
// blocks - free blocks, free = what unprivileged users may still write, reserved = the free
// blocks kept for root. An NTFS volume read raw is measured from its volume data. Other files
// (dump and CSV files) get no figures.
#pragma once

#include "engine/types.h"
#include "fsops/mounts.h"

#include <string>
#include <vector>

namespace qz {

// Fills info for path; the mount table is read when needed.
void GetDiskSizeInfo(const std::u16string& path, TDiskSizeInfo& info);
TDiskSizeInfo GetDiskSizeInfo(const std::string& path, const std::vector<TMountInfo>& mounts);

// Figures of the file system holding path, through statvfs on the path itself; false when
// statvfs fails.
bool StatvfsSizes(const std::string& path, TDiskSizeInfo& info);

// Figures from NTFS volume data: total = clusters x cluster size, free = free clusters,
// reserved = reserved clusters. hastotalandfreespace only when the volume data knows the
// free clusters (a boot sector alone does not).
TDiskSizeInfo DiskSizeFromVolumeData(const std::u16string& path,
                                     const TNTFS_VOLUME_DATA_BUFFER& vd);

} // namespace qz
