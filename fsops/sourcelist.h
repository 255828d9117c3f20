// The source list: what the user can pick to scan.
//
// In order: one entry per mounted file system that holds user data (sorted by mount point),
// the user's own folders, then the four fixed entries (select folder, select multiple, MFT
// file, CSV file). A mounted NTFS volume whose device can be read raw is DT_NTFS (scanned
// through its MFT); every other mount is DT_DRIVE (scanned by walking its folders).
#pragma once

#include "fsops/mounts.h"
#include "fsops/sourcekind.h"

#include <string>
#include <vector>

namespace qz {

struct TSourceList {
    std::vector<TSourceEntry> Entries;
    int Selected = -1; // the entry picked by default (-1: none, the list is empty)
};

// True when the file system of a mount is NTFS and the device it was mounted from can be
// opened and its boot sector read (needs read permission on the device, normally root).
bool CanReadNtfsVolume(const TMountInfo& m);

// True for the mounts offered as sources: not a kernel file system, mounted on a folder, and
// mounted from a device or image, over the network, or at "/".
bool IsListedMount(const TMountInfo& m);

// Builds the list. homeFolder picks the default entry: the mount holding it (else the first).
TSourceList GetDrives(const std::vector<TMountInfo>& mounts,
                      const std::vector<std::string>& userFolders, const std::string& homeFolder);

// The text of a fixed entry (DT_FOLDER, DT_MULTIPLE, DT_MFTFILE, DT_CSVFILE) in the current
// language ("<Select Folder...>"); empty for the other kinds.
std::string FixedEntryText(TSourceKind kind);

// The drive entry (DT_DRIVE or DT_NTFS) whose mount point is path; -1 when there is none.
int FindDriveEntry(const TSourceList& list, const std::string& path);
// The first entry of a kind; -1 when there is none.
int FindEntryOfKind(const TSourceList& list, TSourceKind kind);

} // namespace qz
