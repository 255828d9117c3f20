// Space figures of a source (TDiskSizeInfo): capacity, free, reserved and used bytes.
//
// A mounted file system (a path that is a mount point, or the device mounted there) is
// measured with statvfs: free is what unprivileged users may still write, reserved the blocks
// kept for root. An NTFS volume read raw is measured from its volume data. Other paths
// (folders inside a file system, dump and CSV files) get no figures, as a folder on a drive
// does not either.
#pragma once

#include "engine/types.h"
#include "fsops/mounts.h"

#include <string>
#include <vector>

namespace qz {

// Fills info for path; the mount table is read when needed.
void GetDiskSizeInfo(const std::u16string& path, TDiskSizeInfo& info);
TDiskSizeInfo GetDiskSizeInfo(const std::string& path, const std::vector<TMountInfo>& mounts);

// Figures of a mounted file system through statvfs on any path inside it; false when statvfs
// fails.
bool StatvfsSizes(const std::string& path, TDiskSizeInfo& info);

// Figures from NTFS volume data: total = clusters x cluster size, free = free clusters,
// reserved = reserved clusters. hastotalandfreespace only when the volume data knows the
// free clusters (a boot sector alone does not).
TDiskSizeInfo DiskSizeFromVolumeData(const std::u16string& path,
                                     const TNTFS_VOLUME_DATA_BUFFER& vd);

} // namespace qz
