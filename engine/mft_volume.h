// NTFS volumes as MFT sources: telling a volume, image or dump apart, the boot sector, the
// positions of MFT records and clusters, single-record and whole-file reads, and writing an
// MFT dump file.
//
// A "volume" is a block device node (/dev/sdb1) or an image file holding an NTFS file system,
// either from its first byte or inside a partitioned disk image (MBR or GPT; the first NTFS
// partition is taken). Every other file given as a source is read as an MFT dump file.
//
// Positions are byte offsets from the start of the NTFS volume (scan.FVolumeOffset is added
// when the device or image is read). kPosNotFound (1) means "not found": a real position is a
// multiple of the record or cluster size, so it can never be 1.
#pragma once

#include "engine/scan.h"
#include "engine/types.h"

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

namespace qz {

// ---------------------------------------------------------------- boot sector and probing

// The fields of an NTFS boot sector that measure the volume and locate its $MFT.
struct TNtfsBootSector {
    uint32_t BytesPerSector = 0;
    uint32_t BytesPerCluster = 0;
    uint32_t BytesPerFileRecordSegment = 0;
    uint64_t NumberSectors = 0;
    uint64_t MftStartLcn = 0;
    uint64_t Mft2StartLcn = 0;
    uint64_t VolumeSerialNumber = 0;
    uint64_t TotalClusters() const { return NumberSectors * BytesPerSector / BytesPerCluster; }
};

// True when sector (size bytes, at least 512) is an NTFS boot sector ("NTFS    " at offset 3)
// with usable geometry: sector size 256..4096, cluster size up to 2 MiB, records of 256 bytes
// to 64 KiB, all powers of two, the $MFT inside the volume.
bool DecodeNtfsBootSector(const uint8_t* sector, size_t size, TNtfsBootSector& out);

// The volume data as far as the boot sector tells it. FreeClusters, TotalReserved,
// MftValidDataLength and the MFT zone are not in the boot sector and stay 0.
TNTFS_VOLUME_DATA_BUFFER BootSectorVolumeData(const TNtfsBootSector& boot);

// What a path holds, as the scan's source detection sees it.
struct TNtfsLocation {
    bool Readable = false; // opened and its first sector read
    bool IsBlockDevice = false;
    bool IsNtfs = false;      // an NTFS volume starts at Offset
    bool InPartition = false; // found through a partition table
    uint64_t Offset = 0;      // byte offset of the NTFS boot sector inside the path
    uint64_t Size = 0;        // bytes in the file or device
    TNtfsBootSector Boot;     // valid when IsNtfs
    std::string Error;        // why the path could not be read (empty when Readable)
};

// Looks at a regular file or block device: an NTFS boot sector at byte 0, else the first NTFS
// partition of an MBR (primary and logical partitions) or GPT table. Never throws.
TNtfsLocation LocateNtfsVolume(const std::string& path);
// The same on an open descriptor.
TNtfsLocation LocateNtfsVolume(int fd);

// True when the path (normally a block device) can be opened for reading and its first
// sector read: what raw MFT scans need. On failure error (when given) says why, as the
// system words it ("Permission denied").
bool CanReadVolume(const std::string& path, std::string* error = nullptr);

// Size in bytes of an open regular file or block device (0 when unknown).
uint64_t DeviceBytes(int fd);

// True when the scan reads an NTFS volume (device or image) rather than a dump file.
inline bool IsVolumeSource(const TNTFS_FILES& s) {
    return s.FVolumeHandle.valid();
}

// ---------------------------------------------------------------- positions

constexpr int64_t kPosNotFound = 1;

struct TRunPos {
    int64_t Position = kPosNotFound; // volume byte position
    int64_t Count = 0;               // whole records (or clusters) from there to the run's end
    bool Found() const { return Position != kPosNotFound; }
};

// Position of MFT record recno through the data runs of $MFT (normally scan.FMFTRuns), and
// the number of whole records from there to the end of that run.
TRunPos GetMFTRecordPos(const TNTFS_FILES& s, const TRecordRuns& runs, uint64_t recno);
// The same through scan.FMFTExtents.
TRunPos GetMFTRecordPos2(const TNTFS_FILES& s, uint64_t recno);
// Position of virtual cluster vcn of the file described by runs, and the clusters left in
// that run.
TRunPos GetClusterPos(const TNTFS_FILES& s, const TRecordRuns& runs, int64_t vcn);
// The same through scan.FMFTExtents.
TRunPos GetClusterPos2(const TNTFS_FILES& s, int64_t vcn);

// ---------------------------------------------------------------- reads

// Read n bytes at a volume position. Returns false (and says why in error) when the device
// or image fails or ends before n bytes arrived; got (when given) receives the bytes that did.
bool ReadVolume(const TNTFS_FILES& s, int64_t position, void* dest, size_t n,
                std::string* error = nullptr, size_t* got = nullptr);

// Read n bytes of the $MFT file's data from byte offset on, through FMFTExtents (FMFTRuns
// while no extents are known). False when a part lies outside the runs or cannot be read.
bool ReadMFTData(const TNTFS_FILES& s, uint64_t offset, uint8_t* dest, size_t n,
                 std::string* error = nullptr);

// One MFT record read from its computed position (pieced together when it straddles two
// runs) and fixed up, into buffer (BytesPerFileRecordSegment + 12 bytes): the 8-byte record
// number, the 4-byte length, then the record. On failure the whole buffer is zeroed and the
// result is false.
bool ReadMFTRecord(const TNTFS_FILES& s, uint64_t recno, uint8_t* buffer);

// Read the data of a non-resident file through its runs into dest: at most maxBytes and at
// most rec.FileSize bytes. Returns the number of bytes read (fewer when a run cannot be found
// or read).
size_t LoadFileDirect(const TNTFS_FILES& s, const TMFT_RECORD& rec, const TRecordRuns& runs,
                      uint8_t* dest, size_t maxBytes);

// ---------------------------------------------------------------- dump files

// Bytes of MFT data in the scan's open dump file: the file without its trailer.
int64_t DumpDataBytes(const TNTFS_FILES& s);

// Write the dump of the scan's volume: the data of $MFT (mft is normally *scan.GetMFTRecord()),
// then the "VOLDATA2" trailer with the volume data and the drive letter. Progress goes to
// scan.OnProgress (bytes written and total bytes in the two counts). The scan must read a
// volume (device or image) and must not have run its pass (the pass closes the volume).
// Raises TScanError when the volume cannot be read or dest fails; dest then holds a partial
// dump.
void SaveFileToStream(TNTFS_FILES& scan, const TMFT_RECORD& mft, std::ostream& dest,
                      bool UseMFTExtents);

// Create (or replace) the file at path and write the dump into it through a 1 MiB buffer.
// Raises TScanError on failure, after removing the partial file.
void WriteMFTDumpFile(TNTFS_FILES& scan, const std::string& path);

} // namespace qz
