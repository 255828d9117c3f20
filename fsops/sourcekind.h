// What an entry of the source list is, and the entry itself.
//
// The kinds keep the numbering the source list has always had (the window stores the kind
// with every entry; the scan pipeline decides how to read a source from it). On Linux a
// "drive" is a mounted file system: its entry carries the mount point and the device it was
// mounted from, so nothing has to be parsed back out of the entry text.
#pragma once

#include "engine/types.h"

#include <cstdint>
#include <string>

namespace qz {

enum TSourceKind : int {
    DT_DRIVE = 0,      // a mounted file system, scanned by walking its folders
    DT_NTFS = 1,       // a mounted NTFS volume whose device can be read raw (MFT scan)
    DT_FOLDER = 2,     // the select-folder entry
    DT_MFTFILE = 3,    // the MFT-dump-file entry
    DT_CSVFILE = 4,    // the CSV/TSV-file entry
    DT_SUBST = 5,      // a substituted drive (no Linux counterpart; never listed)
    DT_NETWORK = 6,    // a mapped network drive (no Linux counterpart; never listed)
    DT_MULTIPLE = 7,   // the select-multiple entry
    DT_USERFOLDER = 8, // a folder the user added to the list
    DT_DEVICE = 9,     // a portable media device
};

// The kind's name as the debug log writes it ("DT_NTFS").
const char* SourceKindName(TSourceKind kind);

struct TSourceEntry {
    std::u16string Text; // what the list shows
    TSourceKind Kind = DT_FOLDER;
    std::string Path;   // mount point, user folder or device path; empty for the fixed entries
    std::string Device; // drives: what was mounted (a block device or an image file), if any
    std::string FsType; // drives: the file-system type of the mount table ("ext4", "ntfs3")
    // Drives: an NTFS volume whose device this process may not read (it needs root). It is
    // listed as DT_DRIVE, walked as a folder unless the program restarts with root rights.
    bool NeedsRoot = false;
    // Drives: the space figures of the file system when the list was built (none when
    // Space.hastotalandfreespace is false).
    TDiskSizeInfo Space;
};

} // namespace qz
