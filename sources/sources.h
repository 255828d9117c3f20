// The scan sources this library reads, as the passes a scan is made with.
#pragma once

#include "engine/scan.h"

namespace qz {

// The passes for folders (the folder walk), CSV/TSV exports (the import) and portable devices
// (the device walk), for TNTFS_FILES::CreateSlow, CreateDevice and TScanSession. A new kind of
// source adds its pass here.
TSourcePasses ScanSourcePasses();

} // namespace qz
