// Scan records and their companion types.
//
// A scan holds millions of TMFT_RECORDs, so the record is kept flat and small: record numbers
// are 48-bit (the width of an NTFS file reference) and share their words with small fields,
// folder-only totals and the children list live in a TFolderData block that only folders get,
// and the decode-time data runs and attribute list live in TRecordRuns, outside the record.
// Records and names are allocated from a scan's arenas (arena.h) and never move while the
// scan lives.
#pragma once

#include "base/datetime.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace qz {

constexpr uint64_t kRecNoMask = 0x0000FFFFFFFFFFFFull; // low 48 bits of a file reference
constexpr uint64_t kNoDirCache = kRecNoMask;           // 2^48 - 1

struct TMFT_RECORD;
using PMFT_RECORD = TMFT_RECORD*;

// One run of a non-resident attribute, as its mapping pairs state it.
struct TDATA_RUN {
    uint64_t RunLength = 0; // clusters
    int64_t Offset = 0;     // cluster number (absolute for the first run, else relative)
    bool IsOffset = false;  // Offset is relative to the previous run
    bool Sparse = false;    // a hole without clusters (Offset 0): the cluster number stays
};

// One $ATTRIBUTE_LIST entry.
struct TATTRIB_RECORD {
    uint32_t AttribType = 0;
    uint64_t FileRef = 0;   // as stored, with its sequence number
    uint8_t NameLength = 0; // of the attribute it names; 0 = unnamed
};

// One extent of the $MFT file.
struct TMFT_EXTENTS {
    int64_t VCNStart = 0;
    int64_t VCNLength = 0;
    int64_t LCN = 0;
};

// A group of duplicate files, owned by the scan that grouped them (TNTFS_FILES::DupGroups).
// dupcount = members - 1, counted down as members leave. dupfiles keeps the members it was
// made with: one that left since is no longer found in the group by DupGroupOf.
struct TDUPFILES {
    int32_t dupcount = 0;
    std::vector<PMFT_RECORD> dupfiles;
};

// Space figures of a source.
struct TDiskSizeInfo {
    std::u16string itempath;
    bool hastotalandfreespace = false;
    uint64_t totalspace = 0;
    uint64_t freespace = 0;
    uint64_t reservedspace = 0;
    uint64_t usedspace = 0;
    // The reserved bytes are not part of freespace (a Linux file system's blocks kept for
    // root, beside the free space users may still write): the drive's used bytes are then
    // total - free - reserved, as df counts them, instead of total - free.
    bool reservedoutsidefree = false;
};

// NTFS volume data; byte layout in dump files: 96 bytes, little-endian, fields in this order.
struct TNTFS_VOLUME_DATA_BUFFER {
    int64_t VolumeSerialNumber = 0;
    int64_t NumberSectors = 0;
    int64_t TotalClusters = 0;
    int64_t FreeClusters = 0;
    int64_t TotalReserved = 0;
    uint32_t BytesPerSector = 0;
    uint32_t BytesPerCluster = 0;
    uint32_t BytesPerFileRecordSegment = 0;
    uint32_t ClustersPerFileRecordSegment = 0;
    int64_t MftValidDataLength = 0;
    int64_t MftStartLcn = 0;
    int64_t Mft2StartLcn = 0;
    int64_t MftZoneStart = 0;
    int64_t MftZoneEnd = 0;
};
static_assert(sizeof(TNTFS_VOLUME_DATA_BUFFER) == 96);

// Folder-only part of a record: direct-content totals, the subtree counts and the children.
// Every folder (and every record that ends up with children) gets one; files have none and
// read as "no children, no counts".
struct TFolderData {
    PMFT_RECORD* ChildData = nullptr; // points into the scan's children storage
    uint32_t ChildCount = 0;
    int32_t ThisFolderNumFiles = 0;
    int32_t ThisFolderNumDirs = 0;
    int32_t SubFoldersNumFiles = 0;
    int32_t SubFoldersNumDirs = 0;
    uint32_t Reserved = 0;
    uint64_t ThisFolderTotSize = 0;
    uint64_t ThisFolderTotSizeAlloc = 0;
};

// Decode-time attribute data of one record: its data runs (kept only when asked for) and its
// $ATTRIBUTE_LIST entries. Stored records do not carry it.
struct TRecordRuns {
    int32_t NumDataRuns = 0;
    int32_t NumAttrib = 0;
    std::vector<TDATA_RUN> DataRuns;
    std::vector<TATTRIB_RECORD> AttribList;
    void clear() {
        NumDataRuns = 0;
        NumAttrib = 0;
        DataRuns.clear();
        AttribList.clear();
    }
};

// One file or folder of a scan.
//
// Only what the tree and the views read is stored here: the base-record reference of an
// extension record and the data-run counts are decode-time values (TDecodeContext), and the
// flags share the words of the record numbers.
struct TMFT_RECORD {
    uint64_t RecNo : 48;       // MFT record number, or a running number for other sources
    uint64_t FileRecFlags : 8; // bit 0 in use, bit 1 folder (the low byte of the header's flags)
    bool DoNotCountFlag : 1;
    bool Deleted : 1;
    bool IndexMe : 1;
    bool Filtered : 1;
    // The record's sizes could not be taken as they stood (a damaged record): a data
    // attribute whose header is not a valid one added nothing, an allocation larger than the
    // volume was cut to the volume's size.
    bool SizeDamaged : 1;
    // A total of this folder reached the largest value (2^64 - 1) and stopped there: the
    // figure is a lower bound. Set by CalculateDirSizes.
    bool TotalSaturated : 1;
    // Not read completely: a folder whose content could not be listed (all or part of it), or
    // an entry that could be listed but not examined (size and dates unknown).
    bool Unreadable : 1;
    // Stored from an MFT extension record (its RecNo is the base record's number): never the
    // primary entry of its number in the record-number index.
    bool FromExtension : 1;
    uint64_t ParentRec : 48;  // parent record number, 0 = none yet
    uint64_t FilenameLen : 8; // name length in UTF-16 units, 255 = "255 or more" (see NameLength)
    uint64_t
        HasFileSizeFlags : 8; // bit 0 size from unnamed data, bit 1 alloc from runs; 3 = resident
    uint64_t FileSize;
    uint64_t AllocSize;
    TDateTime ModifiedDate;
    TDateTime LastAccessDate;
    TDateTime CreatedDate;
    uint64_t SubFoldersTotSize;      // everything below, own files included; a file: its size
    uint64_t SubFoldersTotSizeAlloc; // the same for allocated bytes
    char16_t* Filename;              // NUL-terminated, owned by the scan's arena
    PMFT_RECORD ParentMFTRec;
    TFolderData* Folder; // nil for files
    uint32_t DOSAttrib;
    int32_t SortNameIndex;

    bool IsFolder() const { return (FileRecFlags & 2) != 0; }
    bool InUse() const { return (FileRecFlags & 1) != 0; }
    bool HasName() const { return Filename != nullptr; }

    // Name length in code units; exact also for names longer than 255 (folder-source roots).
    size_t NameLength() const {
        if (!Filename) return 0;
        if (FilenameLen < 255) return FilenameLen;
        return std::char_traits<char16_t>::length(Filename);
    }
    std::u16string_view Name() const { return {Filename ? Filename : u"", NameLength()}; }

    std::span<PMFT_RECORD> Children() const {
        return Folder ? std::span<PMFT_RECORD>(Folder->ChildData, Folder->ChildCount)
                      : std::span<PMFT_RECORD>();
    }
    int32_t ThisFolderNumFiles() const { return Folder ? Folder->ThisFolderNumFiles : 0; }
    int32_t ThisFolderNumDirs() const { return Folder ? Folder->ThisFolderNumDirs : 0; }
    int32_t SubFoldersNumFiles() const { return Folder ? Folder->SubFoldersNumFiles : 0; }
    int32_t SubFoldersNumDirs() const { return Folder ? Folder->SubFoldersNumDirs : 0; }
    // For a file these are its own (counted) sizes.
    uint64_t ThisFolderTotSize() const {
        return Folder ? Folder->ThisFolderTotSize : SubFoldersTotSize;
    }
    uint64_t ThisFolderTotSizeAlloc() const {
        return Folder ? Folder->ThisFolderTotSizeAlloc : SubFoldersTotSizeAlloc;
    }
};
static_assert(sizeof(TMFT_RECORD) == 104, "a scan holds millions of records: keep it small");

// The duplicate group rec belongs to, nil when none. Few records ever join a group, so the
// record holds no link to it: the scan that grouped keeps a table of the members
// (TNTFS_FILES::DupMembers, duplicates.h), made only when duplicates are searched.
TDUPFILES* DupGroupOf(const TMFT_RECORD* rec);

// a + b, or the largest value when the sum does not fit.
inline uint64_t SaturatingAdd(uint64_t a, uint64_t b) {
    uint64_t sum;
    return __builtin_add_overflow(a, b, &sum) ? UINT64_MAX : sum;
}

// Zero a record (all fields, including the bit-fields).
void ZeroRecord(TMFT_RECORD& r);

// Copy every field of src into dst except the folder block (the copy gets none; a folder
// block is attached by the scan) -- the name pointer is copied as is.
void CopyRecord(const TMFT_RECORD& src, TMFT_RECORD& dst);

// Progress callback: index of the scan, percent 0..100, files and folders found so far (the
// dump writer passes bytes written and total bytes).
using TNTFS_OnProgress =
    std::function<void(int index, int percentcomplete, int64_t numfiles, int64_t numdirs)>;

} // namespace qz
