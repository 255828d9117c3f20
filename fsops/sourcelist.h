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

// Whether a mount can be read through its MFT: not at all (not NTFS, or not known to be),
// yes (its device opens and holds an NTFS boot sector), or only as root (the file system is
// NTFS by the mount table or the udev database, but the device refuses this process).
enum class TRawAccess : uint8_t { NotNtfs, Readable, NeedsRoot };
TRawAccess NtfsRawAccess(const TMountInfo& m);
// True when the file system of a mount is NTFS and the device it was mounted from can be
// opened and its boot sector read (needs read permission on the device, normally root).
bool CanReadNtfsVolume(const TMountInfo& m);

// True for the mounts offered as sources: not a kernel file system, mounted on a folder, and
// mounted from a device or image, over the network, or at "/".
bool IsListedMount(const TMountInfo& m);

// Builds the list. homeFolder picks the default entry: the mount holding it (else the first).
TSourceList GetDrives(const std::vector<TMountInfo>& mounts,
                      const std::vector<std::string>& userFolders, const std::string& homeFolder);
// The drive entries alone (the listed mounts in mount-point order, classified), without
// space figures: the part of the list that follows the mount table.
std::vector<TSourceEntry> GetDriveEntries(const std::vector<TMountInfo>& mounts);
// The whole list from entries made before (drives, then any others such as portable devices,
// in order), the user's folders and the fixed entries. The default entry is the drive holding
// homeFolder, else the first drive.
TSourceList ComposeSourceList(std::vector<TSourceEntry> entries,
                              const std::vector<std::string>& userFolders,
                              const std::string& homeFolder, const std::vector<TMountInfo>& mounts);
// The text of a drive entry: "[/mnt/win] sdb1 (ntfs3)", with a note when the volume could be
// read raw only as root.
std::u16string DriveEntryText(const TMountInfo& m, bool needsRoot);

// True when scanning outer reads inner too (both absolute paths): inner is outer, or lies
// below it on the same mounted file system. A folder walk does not enter other mounts, so
// "/" and "/home" are apart when /home is a file system of its own.
bool SourceContains(const std::string& outer, const std::string& inner,
                    const std::vector<TMountInfo>& mounts);

// The text of a fixed entry (DT_FOLDER, DT_MULTIPLE, DT_MFTFILE, DT_CSVFILE) in the current
// language ("<Select Folder...>"); empty for the other kinds.
std::string FixedEntryText(TSourceKind kind);

// The drive entry (DT_DRIVE or DT_NTFS) whose mount point is path; -1 when there is none.
int FindDriveEntry(const TSourceList& list, const std::string& path);
// The first entry of a kind; -1 when there is none.
int FindEntryOfKind(const TSourceList& list, TSourceKind kind);

} // namespace qz
