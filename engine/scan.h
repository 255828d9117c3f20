// TNTFS_FILES: one scan and everything it owns.
//
// Every source (NTFS volume or image, MFT dump, folder tree, CSV/TSV export, subtree of
// another scan) fills the same structures: a flat list of records (FFileList) linked into a
// tree by ParentMFTRec, the folders also in FDirList, and two index arrays that map a record
// number to its position in those lists. Records and names come from the scan's arenas and
// never move while the scan lives; views keep plain pointers to them.
#pragma once

#include "base/filehandle.h"
#include "engine/arena.h"
#include "engine/types.h"

#include <atomic>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace qz {

class TNTFS_FILES;

// Scratch of one decoding thread: the temporary record, its attribute data, the extra names
// (hard links) found in the record, and storage for their names. Reused record after record,
// so decoding allocates nothing in the steady state.
struct TExtraName {
    uint64_t Parent = 0; // 48-bit parent number of the name
    TMFT_RECORD Rec{};
};

struct TDecodeContext {
    TDecodeContext();
    TMFT_RECORD rec{};
    // The decoded FILE record's base-record reference (with sequence number): nonzero for an
    // extension record, whose entries are stored under the base record's number.
    uint64_t BaseFileRec = 0;
    TRecordRuns runs;
    std::vector<TExtraName> extraNames; // entries [0, numExtra) are valid
    size_t numExtra = 0;
    // Name storage for rec and the extra names of the current decode (255 units + NUL each).
    char16_t* NameSlot(size_t i);
    void ResetNames() { usedSlots_ = 0; }
    char16_t* NextNameSlot() { return NameSlot(usedSlots_++); }

private:
    std::deque<std::array<char16_t, 256>> slots_;
    size_t usedSlots_ = 0;
};

// The filter texts a scan pass is given. A folder walk drops the entries that match Exclude
// as it finds them; Include is applied later (FilterResults) but, with FullPath, decides
// whether paths are matched in full.
struct TScanFilterTexts {
    std::u16string Include{};
    std::u16string Exclude{};
    bool FullPath = false; // match full paths (a term with a separator does so anyway)
};

// What CalculateDirSizes counts. The defaults count every record the filters left. A CSV/TSV
// source without file rows (WasCSVFile, CSVHasFilesFlag unset) keeps the totals it read.
struct TTotalsOptions {
    // The filters left folders only: each folder's own size fields seed its totals.
    bool FoldersOnlyFilter = false;
    // Count filtered records as well (totals as if no filter were set).
    bool IgnoreFilter = false;
};

// How a scan reads the sources that are not MFTs: passes of other libraries, handed to the
// scan when it is made (sources/sources.h: ScanSourcePasses() gives the program's). A scan of
// such a source whose pass is missing fails with a message.
struct TSourcePasses {
    // Returns false on failure and sets failLine to the line that failed.
    bool (*ImportCSV)(TNTFS_FILES& scan, int64_t& failLine) = nullptr;
    void (*SlowScan)(TNTFS_FILES& scan, const TScanFilterTexts& filters) = nullptr;
    // The walk of a portable device (FSource is a device path).
    void (*DeviceScan)(TNTFS_FILES& scan, const TScanFilterTexts& filters) = nullptr;
};

// Construction failures.
class TScanError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// What a pass and the totals found damaged or out of range in the source. All zero for a
// healthy source; TNTFS_FILES::AnomalyTexts() words the counts that are not.
struct TScanAnomalies {
    // Records whose parent chain never reaches the root (a folder record that is damaged or
    // missing, a folder that is its own parent or part of a parent loop). They are kept, below
    // the scan's OrphanFolder; these are all the records placed there and the logical bytes of
    // the files among them.
    int64_t OrphanItems = 0;
    uint64_t OrphanBytes = 0;
    // Records whose sizes could not be taken as they stood (marked SizeDamaged): a data
    // attribute header that is not a valid one, an allocation larger than the volume (a run
    // list without its end, a damaged attribute). Recounted by every CalculateDirSizes.
    int64_t DamagedSizes = 0;
    // Folders whose total size or allocation reached the largest value (2^64 - 1): marked
    // TotalSaturated, their figures are lower bounds. Recounted by every CalculateDirSizes.
    int64_t SaturatedTotals = 0;
    // A dump whose volume data stated a record size that its first record contradicts: the
    // stated size (the records were read with the size record 0 gives). 0 when none.
    uint32_t TrailerRecordSize = 0;
};

// Name of the folder below the root that holds the records found outside the folder tree.
inline constexpr std::u16string_view kOrphanFolderName = u"<Orphaned items>";

// What a scan met that did not stop it, counted for the warnings shown once it is done.
struct TScanWarnings {
    int64_t UnreadableFolders = 0;   // folders not read completely (marked Unreadable)
    int64_t UnexaminedEntries = 0;   // entries listed but not examinable (marked Unreadable)
    int64_t SkippedLines = 0;        // CSV/TSV lines that are not data rows, or outside the root
    int64_t RowsWithBadNumbers = 0;  // CSV/TSV rows with a number field that did not read (0)
    int64_t MergedRows = 0;          // CSV/TSV rows naming an item read before (the last counts)
    int64_t SkippedObjects = 0;      // device objects left out: unreadable, or without a name
    int64_t UnknownSizes = 0;        // device files whose size the device did not give (0 bytes)
    int64_t RenamedObjects = 0;      // device names holding "\" or "/", shown with look-alikes
    bool DeviceDisconnected = false; // the device went away during the walk
    // A device read through another program's mount of it (the folder), not over USB.
    std::string ReadThrough;
    bool Any() const {
        return UnreadableFolders || UnexaminedEntries || SkippedLines || RowsWithBadNumbers ||
               MergedRows || SkippedObjects || UnknownSizes || RenamedObjects ||
               DeviceDisconnected || !ReadThrough.empty();
    }
};

class TNTFS_FILES {
public:
    // A one-character source is a drive letter / NTFS volume (SourceMFT); a longer one is an
    // MFT dump file or NTFS image (SourceDump). Opens the source; raises TScanError on failure.
    explicit TNTFS_FILES(const std::u16string& MFTFilename);
    // Slow mode: a folder, a CSV/TSV file (decided by ProcessMFTRecords), read by passes.
    // A scan filled by hand (tests) needs none.
    static std::unique_ptr<TNTFS_FILES> CreateSlow(const std::u16string& RootFolder,
                                                   const TSourcePasses& passes = {});
    // A portable device, read by passes.DeviceScan: DevicePath is its display name,
    // optionally followed by "\" and folders inside it.
    static std::unique_ptr<TNTFS_FILES> CreateDevice(const std::u16string& DevicePath,
                                                     const TSourcePasses& passes);
    // Subtree mode: copy the descendants of rootmft (a folder of another living scan).
    TNTFS_FILES(PMFT_RECORD rootmft, const std::u16string& RootFolder);
    virtual ~TNTFS_FILES();
    TNTFS_FILES(const TNTFS_FILES&) = delete;
    TNTFS_FILES& operator=(const TNTFS_FILES&) = delete;

    // ---- public operations
    // Reads the source into the scan's records (the NTFS metadata files are always part of
    // the tree). Failures set WasError and ErrorMessage.
    void ProcessMFTRecords(const TScanFilterTexts& filters = {});
    // Rebuilds every folder's totals and children lists from scratch.
    void CalculateDirSizes(const TTotalsOptions& options = {});
    int SearchDirRec(uint64_t recno) const {
        return recno < FDirListIndex.size() ? FDirListIndex[recno] - 1 : -1;
    }
    int FileListIndexOf(uint64_t recno) const {
        return recno < FFileListIndex.size() ? FFileListIndex[recno] - 1 : -1;
    }
    TMFT_RECORD* GetMFTRecord() { return &FMFT; }
    static bool ValidMFTRecNo(uint64_t recno) { return recno >= 24 || recno == 5; }
    void CancelProcess() { FCancelled.store(true, std::memory_order_relaxed); }
    bool Cancelled() const { return FCancelled.load(std::memory_order_relaxed); }

    // ---- record-level operations
    // Appends rec; true when it became the primary entry of its number (always, when the scan
    // keeps no index).
    bool AddToFileList(PMFT_RECORD rec);
    void AddToDirList(PMFT_RECORD rec);
    void ClearRecords();
    // The walk sources number their records as they go and look none up by number: no index
    // arrays are kept (FIndexRecNos), and those of an earlier pass are given back.
    void DropRecNoIndexes();
    // Drops rec's names and children (owned by the arenas).
    static void FreeRecordData(TMFT_RECORD& rec);
    // rec leaves its duplicate group: the group counts one member fewer.
    static void ReleaseDupGroup(const TMFT_RECORD& rec);

    // Decode one FILE record into ctx.rec (and ctx.extraNames). See decode.cpp.
    bool DecodeFileRecord(uint8_t* buffer, TDecodeContext& ctx, uint64_t recno, bool storeRuns,
                          bool outOfSequence, bool readRaw);
    // Store a decoded record (or one of its extra-name entries); BaseFileRec is the decoded
    // FILE record's base-record reference (TDecodeContext::BaseFileRec). See store.cpp.
    bool StoreDecodedRecord(const TMFT_RECORD& rec, uint64_t BaseFileRec, bool IsLinkEntry,
                            bool& FreeEntryLater);
    // Decode and store count consecutive records of BytesPerFileRecordSegment bytes each,
    // numbered from firstRecNo (one batch of the MFT pass). Stops at NumMFTRecords when set.
    void ProcessRecordBatch(TDecodeContext& ctx, uint8_t* data, uint64_t firstRecNo, size_t count,
                            bool readRaw);
    // Decode the records deferred to FOOSFileList, in order, and empty the list.
    void ProcessOutOfSequence(TDecodeContext& ctx);
    // After an MFT pass: records whose parent chain does not reach the root (record 5) are
    // moved below a new OrphanFolder and counted in Anomalies; the root gets its name when its
    // own record never arrived. Also sets MFTRoot.
    void DeleteOrphans();
    // Pre-size the lists and index arrays for an MFT pass of total records.
    void PresizeForRecords(size_t total);
    void TrimLists(); // gives back list capacity far beyond the lists' sizes

    // ---- allocation helpers (single-threaded passes use the scan's own arena)
    TRecordArena& Arena() { return *FArenas.front(); }
    // An arena for one more thread that creates records of this scan (freed with the scan).
    TRecordArena& NewArena();
    // A new record: a copy of src with its own copy of the name (and a folder block for
    // folders), allocated from arena.
    PMFT_RECORD NewRecordFrom(const TMFT_RECORD& src, TRecordArena& arena);
    // A zeroed placeholder folder record with the given number, already listed.
    PMFT_RECORD NewPlaceholder(uint64_t recno);
    // Give rec its own copy of name.
    void SetRecordName(TMFT_RECORD& rec, std::u16string_view name, TRecordArena& arena);
    void SetRecordName(TMFT_RECORD& rec, std::u16string_view name) {
        SetRecordName(rec, name, Arena());
    }

    // Record a failure: WasError and the text, cut to 255 characters.
    void SetError(const std::string& message);
    // One line for each kind of damage counted in Anomalies (none for a healthy source).
    std::vector<std::string> AnomalyTexts() const;
    uint32_t BytesPerRecord() const { return FVolData.BytesPerFileRecordSegment; }

    // Bytes held by this scan for records, names, lists and indexes (for measurements).
    size_t MemoryBytes() const;

    // ---- state (field order as documented for the scan object)
    uint32_t FBytesPerCluster = 4096;
    bool FSlowMode = false;
    PMFT_RECORD FMFTSource = nullptr; // subtree mode, not owned
    TFileHandle FMFTFile;             // dump or image file
    std::unordered_map<uint64_t, PMFT_RECORD> FExFileList;
    std::unordered_map<uint64_t, PMFT_RECORD> FIndexFileList;
    std::unordered_map<uint64_t, std::vector<PMFT_RECORD>> FBaseFileList;
    TFileHandle FVolumeHandle; // raw block device or NTFS image file
    int64_t FVolumeOffset =
        0; // byte offset of the NTFS volume inside FVolumeHandle (partitioned disk images)
    char16_t FDriveLetter = u'C';
    TNTFS_VOLUME_DATA_BUFFER FVolData{};
    TMFT_RECORD FMFT{};
    TRecordRuns FMFTRuns;
    TMFT_RECORD FMFTUpcase{};
    TRecordRuns FMFTUpcaseRuns;
    uint64_t FLastDirIndexRecNo = kNoDirCache;
    int32_t FLastDirIndex = 0;
    int32_t FutureParents = 0;
    bool FUseReadMFTFunction = false;
    bool FVolDataFlag = false;
    char16_t FVolDataDriveLetter = 0;
    bool FMFTExtentsAvailable = false;
    std::vector<TMFT_EXTENTS> FMFTExtents;
    std::mutex SlowScanCrit;
    PMFT_RECORD MFTRoot = nullptr;
    uint8_t DuplicatesLocatedMethod = 0;
    // The duplicate groups of the last grouping pass over the scans on screen (duplicates.h),
    // owned by the first of them, the scan that records DuplicatesLocatedMethod, and the group
    // of each member, records of every scan of the pass. Empty until duplicates are searched.
    // The next pass frees them; so does this scan's end, after which no record is in a group.
    // A scan that clears its records takes them out of the members (ClearRecords).
    std::deque<TDUPFILES> DupGroups;
    std::unordered_map<const TMFT_RECORD*, TDUPFILES*> DupMembers;
    // Its records left the duplicate groups for good (LeaveDupGroups): the scan is about to be
    // freed on another thread and touches the groups no more.
    bool DupGroupsLeft = false;
    int Index = 0;
    std::u16string FSource;
    TDateTime FGmtTimeOffset = 0;
    int64_t NumMFTRecords = 0;
    std::vector<PMFT_RECORD> FDirList;
    std::vector<PMFT_RECORD> FFileList;
    std::vector<std::vector<uint8_t>> FOOSFileList; // recno (8 bytes) + fixed-up record
    std::vector<int32_t> FFileListIndex;
    std::vector<int32_t> FDirListIndex;
    // Whether AddToFileList and AddToDirList keep the two index arrays above. An MFT pass
    // finds parents and base records by number; a folder or device walk links its records by
    // pointer as it finds them and keeps none (8 bytes a record at its peak).
    bool FIndexRecNos = true;
    std::atomic<bool> FCancelled{false};
    TNTFS_OnProgress OnProgress;
    bool WasError = false;
    std::string ErrorMessage; // UTF-8, at most 255 characters
    bool WasCSVFile = false;
    bool CSVHasFilesFlag = false;
    TDiskSizeInfo CSVDinfo;
    bool FDeviceMode = false;  // the source is a portable device
    TDiskSizeInfo DeviceDinfo; // a device's storage figures, found by its walk
    // Set by the folder walk and the CSV/TSV import (each resets it when it starts).
    TScanWarnings Warnings;
    bool FShowMaxModifiedDate = false;
    // Where the NTFS root's name comes from when it is stored: "C:" style by default; a
    // mounted volume may name it after its mount point instead.
    std::u16string FRootName;
    // Damage found in the source (counts for warnings and the window's status line).
    TScanAnomalies Anomalies;
    // The folder (named kOrphanFolderName, a child of the root) that holds the records an MFT
    // pass found outside the folder tree; nil when there were none.
    PMFT_RECORD OrphanFolder = nullptr;

    // Derived source kinds.
    bool IsSourceSubtree() const { return FMFTSource != nullptr; }
    bool IsSourceMFT() const { return !FSlowMode && !FMFTSource && FSource.size() == 1; }
    bool IsSourceDump() const { return !FSlowMode && !FMFTSource && FSource.size() > 1; }
    bool IsSourceCSV() const;
    bool IsSourceDevice() const { return FDeviceMode; }
    bool IsSourceFolder() const { return FSlowMode && !FDeviceMode && !IsSourceCSV(); }

private:
    struct SlowTag {};
    TNTFS_FILES(SlowTag, const std::u16string& source, const TSourcePasses& passes);
    void ScannerInitialize(const std::u16string& source, bool slowmode, PMFT_RECORD subtreeRoot);
    PMFT_RECORD LookupBase(uint64_t base48) const;
    // Part of DecodeFileRecord for extension records and base records with an attribute
    // list: sizes shared between a base record and its extension records.
    void MergeExtensionSizes(TDecodeContext& ctx, bool sizeSet, bool outOfSequence,
                             uint64_t volumeBytes);
    std::u16string RootName() const;

    TSourcePasses FPasses; // slow mode: how the source is read
    std::vector<std::unique_ptr<TRecordArena>> FArenas;
    std::vector<PMFT_RECORD>
        FChildStore; // children lists of all records, rebuilt by CalculateDirSizes
};

using PNTFS_FILES = TNTFS_FILES*;

// Construction-time source opening and the MFT pass for volumes, images and dumps, and the
// subtree copy (mft_source.cpp, mft_pass.cpp).
void OpenMFTSource(TNTFS_FILES& scan);
void RunMFTPass(TNTFS_FILES& scan);
void RunSubtreeCopy(TNTFS_FILES& scan);

} // namespace qz
