// Turning the path of a command line into a source to scan.
//
// A folder is walked, unless it is the mount point of an NTFS volume whose device can be read
// raw (then the volume's MFT is read and its root is named after the mount point), or it lies
// on such a volume and the setting "FullScanNTFSIfPossible" is on (then the whole volume is
// read and the folder cut out of it). A regular file is an MFT dump (".mft"), a CSV/TSV export
// (".csv", ".tsv"), or, when its boot sector (or the first NTFS partition of its partition
// table) says NTFS, a volume image read through its MFT; so is a block device. A relative
// path that does not exist is a device path when its first part ("Phone" of
// "Phone\Internal storage\DCIM") names a portable device: the device's walk reads it.
#pragma once

#include "fsops/sourcelist.h"
#include "views/scancontrol.h"

#include <string>

namespace qz {

struct TResolveOptions {
    bool FullScanNTFSIfPossible = false;
};

struct TResolvedSource {
    bool Ok = false;
    std::string Error; // why the path cannot be scanned (names the path)
    TScanSource Source;
    int ListIndex = -1;        // the source-list entry selected for it
    uint64_t VolumeOffset = 0; // a volume inside a partitioned image or disk: its byte offset
};

TResolvedSource ResolveSourcePath(const std::string& path, const TSourceList& list,
                                  const std::vector<TMountInfo>& mounts,
                                  const TResolveOptions& options);

// The space figures of a source being scanned (asked for before its thread starts): a walked
// folder's file system (statvfs), an NTFS volume's own volume data, or the file system of the
// mount point an NTFS volume is shown as, a device's storages as its walk measured them; none
// for MFT dumps and CSV/TSV imports.
TDiskSizeInfo SourceDiskSize(const TScanSource& src, const TNTFS_FILES& scan,
                             const std::vector<TMountInfo>& mounts);

} // namespace qz
