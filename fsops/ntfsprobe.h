// Telling an NTFS volume from its first sectors: the boot sector of a volume (a block device
// or an image file), or, for a whole-disk image or disk device with a partition table (MBR or
// GPT), the first partition whose boot sector is NTFS.
#pragma once

#include "engine/types.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace qz {

// The fields of an NTFS boot sector that locate and measure the volume.
struct TNtfsBootInfo {
    uint32_t BytesPerSector = 0;
    uint32_t BytesPerCluster = 0;
    uint32_t BytesPerRecord = 0; // bytes per MFT record
    uint64_t TotalSectors = 0;
    uint64_t MftLcn = 0;
    uint64_t Mft2Lcn = 0;
    uint64_t SerialNumber = 0;
    uint64_t TotalBytes() const { return TotalSectors * BytesPerSector; }
};

// True when sector (at least 512 bytes) is an NTFS boot sector with plausible geometry.
bool ParseNtfsBootSector(const uint8_t* sector, size_t size, TNtfsBootInfo& out);

struct TNtfsProbe {
    bool Readable = false; // the path could be opened and its first sector read
    bool IsNtfs = false;
    bool InPartition = false; // found through a partition table
    uint64_t Offset = 0;      // byte offset of the NTFS volume inside path
    TNtfsBootInfo Boot;
    std::string Error; // why the path could not be read (empty when Readable)
};

// Looks at a regular file or block device. Never throws.
TNtfsProbe ProbeNtfsVolume(const std::string& path);

// Volume data as far as the boot sector tells it (free and reserved space stay 0: they are
// not in the boot sector).
TNTFS_VOLUME_DATA_BUFFER VolumeDataFromBoot(const TNtfsBootInfo& boot);

} // namespace qz
