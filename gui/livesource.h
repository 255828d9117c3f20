// Whether the items of a scanned source are files of this system that file operations may act
// on (open, delete, watch): a folder walk, or an NTFS volume read through its MFT whose paths
// are those of its mount point. An MFT dump, a CSV/TSV import, an NTFS image or device read
// raw without a mount, and a portable device are not; their paths only name what was scanned.
#pragma once

#include "views/scancontrol.h"

#include <QString>

namespace qz {

// True when the source's items are files here; otherwise false and why says so.
bool IsLiveSource(const TScanSource& source, const TNTFS_FILES* scan, QString* why);

} // namespace qz
