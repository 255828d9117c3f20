#include "engine/scan.h"

#include "base/debuglog.h"
#include "base/text.h"
#include "engine/duplicates.h"

#include <climits>
#include <cstring>
#include <stdexcept>
#include <sys/statvfs.h>

namespace qz {

void ZeroRecord(TMFT_RECORD& r) {
    std::memset(static_cast<void*>(&r), 0, sizeof(TMFT_RECORD));
}

void CopyRecord(const TMFT_RECORD& src, TMFT_RECORD& dst) {
    TFolderData* keep = dst.Folder;
    std::memcpy(static_cast<void*>(&dst), &src, sizeof(TMFT_RECORD));
    dst.Folder = keep;
}

// ---------------------------------------------------------------- decode context

TDecodeContext::TDecodeContext() {
    ZeroRecord(rec);
    extraNames.reserve(16);
}

char16_t* TDecodeContext::NameSlot(size_t i) {
    while (slots_.size() <= i) slots_.emplace_back();
    return slots_[i].data();
}

// ---------------------------------------------------------------- construction

TNTFS_FILES::TNTFS_FILES(const std::u16string& MFTFilename) {
    ScannerInitialize(MFTFilename, false, nullptr);
}

TNTFS_FILES::TNTFS_FILES(SlowTag, const std::u16string& source, const TSourcePasses& passes)
    : FPasses(passes) {
    ScannerInitialize(source, true, nullptr);
}

std::unique_ptr<TNTFS_FILES> TNTFS_FILES::CreateSlow(const std::u16string& RootFolder,
                                                     const TSourcePasses& passes) {
    return std::unique_ptr<TNTFS_FILES>(new TNTFS_FILES(SlowTag{}, RootFolder, passes));
}

std::unique_ptr<TNTFS_FILES> TNTFS_FILES::CreateDevice(const std::u16string& DevicePath,
                                                       const TSourcePasses& passes) {
    auto scan = std::unique_ptr<TNTFS_FILES>(new TNTFS_FILES(SlowTag{}, DevicePath, passes));
    scan->FDeviceMode = true;
    return scan;
}

TNTFS_FILES::TNTFS_FILES(PMFT_RECORD rootmft, const std::u16string& RootFolder) {
    ScannerInitialize(RootFolder, true, rootmft);
}

void TNTFS_FILES::ScannerInitialize(const std::u16string& source, bool slowmode,
                                    PMFT_RECORD subtreeRoot) {
    DebugLog("Scanner Initialize");
    FArenas.push_back(std::make_unique<TRecordArena>());
    Index = 0;
    FGmtTimeOffset = 0;
    WasCSVFile = false;
    CSVDinfo = TDiskSizeInfo{};
    MFTRoot = nullptr;
    DuplicatesLocatedMethod = 0;
    NumMFTRecords = 0;
    FUseReadMFTFunction = false;
    FVolDataFlag = false;
    FShowMaxModifiedDate = false;
    FVolDataDriveLetter = 0;
    FBytesPerCluster = 4096;
    FMFTExtents.clear();
    if (const char* e = std::getenv("QUARZEL_FORCE_MFT_READ"); e && *e && *e != '0') {
        DebugLog("Force use MFT Read function");
        FUseReadMFTFunction = true;
    }
    FSlowMode = slowmode;
    FMFTSource = subtreeRoot;
    ZeroRecord(FMFT);
    ZeroRecord(FMFTUpcase);
    FCancelled = false;
    FSource = source;
    // Cluster size of the source's file system.
    if (!source.empty() && source.size() > 1) {
        struct statvfs sv {};
        std::string path = Utf16ToUtf8(source);
        if (::statvfs(path.c_str(), &sv) == 0 && sv.f_frsize > 0 && sv.f_frsize <= (1u << 24))
            FBytesPerCluster = uint32_t(sv.f_frsize);
    }
    if (!slowmode && !subtreeRoot) OpenMFTSource(*this);
}

TNTFS_FILES::~TNTFS_FILES() {
    ClearRecords();
    ForgetDupMembers(*this, true);
    FreeRecordData(FMFT);
    FreeRecordData(FMFTUpcase);
}

bool TNTFS_FILES::IsSourceCSV() const {
    return FSlowMode && !FMFTSource && !FDeviceMode &&
           (EndsWithIgnoreAsciiCase(FSource, u".csv") || EndsWithIgnoreAsciiCase(FSource, u".tsv"));
}

TRecordArena& TNTFS_FILES::NewArena() {
    std::lock_guard<std::mutex> g(SlowScanCrit);
    FArenas.push_back(std::make_unique<TRecordArena>());
    return *FArenas.back();
}

// ---------------------------------------------------------------- lists

// Index arrays hold 32-bit positions; a record number past this bound cannot be indexed.
static void CheckIndexable(uint64_t recno) {
    if (recno > uint64_t(INT32_MAX) - 10000) throw std::length_error("Record number out of range");
}

bool TNTFS_FILES::AddToFileList(PMFT_RECORD rec) {
    const uint64_t n = rec->RecNo;
    CheckIndexable(n);
    FFileList.push_back(rec);
    if (!FIndexRecNos) return true;
    if (FFileListIndex.size() <= n) FFileListIndex.resize(n + 10000, 0);
    if (!rec->FromExtension && FFileListIndex[n] == 0) {
        FFileListIndex[n] = int32_t(FFileList.size());
        return true;
    }
    return false;
}

void TNTFS_FILES::AddToDirList(PMFT_RECORD rec) {
    const uint64_t n = rec->RecNo;
    CheckIndexable(n);
    FDirList.push_back(rec);
    if (!FIndexRecNos) return;
    if (FDirListIndex.size() <= n) FDirListIndex.resize(n + 10000, 0);
    if (FDirListIndex[n] == 0) FDirListIndex[n] = int32_t(FDirList.size());
}

void TNTFS_FILES::DropRecNoIndexes() {
    FIndexRecNos = false;
    std::vector<int32_t>().swap(FFileListIndex);
    std::vector<int32_t>().swap(FDirListIndex);
}

void TNTFS_FILES::PresizeForRecords(size_t total) {
    FIndexRecNos = true;
    FFileList.reserve(total);
    FFileListIndex.assign(total, 0);
    FDirListIndex.assign(total, 0);
}

void TNTFS_FILES::FreeRecordData(TMFT_RECORD& rec) {
    // Names, folder blocks and children live in the scan's arenas and go with them.
    rec.Filename = nullptr;
    rec.FilenameLen = 0;
    if (rec.Folder) {
        rec.Folder->ChildData = nullptr;
        rec.Folder->ChildCount = 0;
    }
}

void TNTFS_FILES::ClearRecords() {
    // The records' addresses may serve other records next: none may stay a group member.
    ForgetDupMembers(*this, false);
    // The records, their names and folder blocks all live in the arenas reset below: nothing
    // in them needs letting go one by one.
    FDirList.clear();
    FFileList.clear();
    FExFileList.clear();
    FIndexFileList.clear();
    FBaseFileList.clear();
    FOOSFileList.clear();
    FChildStore.clear();
    FChildStore.shrink_to_fit();
    // Every record and name of the scan is released at once.
    for (auto& a : FArenas) a->Reset();
    FLastDirIndexRecNo = kNoDirCache;
    FLastDirIndex = 0;
}

// ---------------------------------------------------------------- allocation

void TNTFS_FILES::SetRecordName(TMFT_RECORD& rec, std::u16string_view name, TRecordArena& arena) {
    rec.Filename = arena.CopyName(name);
    rec.FilenameLen = name.size() < 255 ? name.size() : 255;
}

PMFT_RECORD TNTFS_FILES::NewRecordFrom(const TMFT_RECORD& src, TRecordArena& arena) {
    PMFT_RECORD r = arena.NewRecord();
    CopyRecord(src, *r);
    r->Filename = nullptr;
    if (src.Filename) SetRecordName(*r, src.Name(), arena);
    if (r->IsFolder()) r->Folder = arena.NewFolder();
    return r;
}

PMFT_RECORD TNTFS_FILES::NewPlaceholder(uint64_t recno) {
    PMFT_RECORD r = Arena().NewRecord();
    r->RecNo = recno;
    r->Folder = Arena().NewFolder();
    AddToDirList(r);
    AddToFileList(r);
    FLastDirIndexRecNo = kNoDirCache;
    return r;
}

void TNTFS_FILES::SetError(const std::string& message) {
    WasError = true;
    // Cut to 255 characters without splitting a UTF-8 sequence.
    size_t chars = 0, i = 0;
    while (i < message.size() && chars < 255) {
        unsigned char c = static_cast<unsigned char>(message[i]);
        size_t len = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        i += len;
        ++chars;
    }
    ErrorMessage = message.substr(0, i);
}

std::vector<std::string> TNTFS_FILES::AnomalyTexts() const {
    std::vector<std::string> out;
    // Numbers go in as text: their types differ, and a translation may place them anywhere.
    auto num = [](auto n) { return std::to_string(n); };
    const TScanAnomalies& a = Anomalies;
    if (a.TrailerRecordSize != 0)
        out.push_back(Format(tr("the volume data of the MFT dump says %s-byte records, but its "
                                "first record is %s bytes long: the records were read with that "
                                "size"),
                             num(a.TrailerRecordSize).c_str(), num(BytesPerRecord()).c_str()));
    if (a.OrphanItems > 0)
        out.push_back(Format(ntr("%s item (%s bytes) could not be placed in the folder tree (a "
                                 "damaged or missing folder record, or folders in a loop): shown "
                                 "under %s",
                                 "%s items (%s bytes) could not be placed in the folder tree (a "
                                 "damaged or missing folder record, or folders in a loop): shown "
                                 "under %s",
                                 uint64_t(a.OrphanItems)),
                             num(a.OrphanItems).c_str(), num(a.OrphanBytes).c_str(),
                             Utf16ToUtf8(std::u16string(kOrphanFolderName)).c_str()));
    if (a.DamagedSizes > 0)
        out.push_back(Format(ntr("%s damaged record has impossible sizes (a damaged data "
                                 "attribute, or more allocated space than the volume holds): "
                                 "counted without the damaged attribute, or with the volume's size",
                                 "%s damaged records have impossible sizes (a damaged data "
                                 "attribute, or more allocated space than the volume holds): "
                                 "counted without the damaged attribute, or with the volume's size",
                                 uint64_t(a.DamagedSizes)),
                             num(a.DamagedSizes).c_str()));
    if (a.SaturatedTotals > 0)
        out.push_back(Format(ntr("%s folder total reached the largest size that can be counted "
                                 "(16 EiB): shown as that size, a lower bound",
                                 "%s folder totals reached the largest size that can be counted "
                                 "(16 EiB): shown as that size, a lower bound",
                                 uint64_t(a.SaturatedTotals)),
                             num(a.SaturatedTotals).c_str()));
    return out;
}

size_t TNTFS_FILES::MemoryBytes() const {
    size_t b = 0;
    for (auto& a : FArenas) b += a->BytesReserved();
    b += FFileList.capacity() * sizeof(PMFT_RECORD) + FDirList.capacity() * sizeof(PMFT_RECORD);
    b += (FFileListIndex.capacity() + FDirListIndex.capacity()) * sizeof(int32_t);
    b += FChildStore.capacity() * sizeof(PMFT_RECORD);
    return b;
}

// ---------------------------------------------------------------- dispatch

void TNTFS_FILES::ProcessMFTRecords(const TScanFilterTexts& filters) {
    DebugLog("ProcessMFTRecordStart - InitializeDirList");
    ClearRecords();
    FutureParents = 0;
    WasError = false;
    ErrorMessage.clear();
    CSVHasFilesFlag = true;
    WasCSVFile = false;
    MFTRoot = nullptr;
    OrphanFolder = nullptr;
    const uint32_t trailerRecordSize = Anomalies.TrailerRecordSize; // found when the dump opened
    Anomalies = TScanAnomalies{};
    Anomalies.TrailerRecordSize = trailerRecordSize;
    try {
        if (IsSourceSubtree()) {
            RunSubtreeCopy(*this);
        } else if (!FSlowMode) {
            RunMFTPass(*this);
        } else {
            DebugLog("ProcessMFTRecordStart - is FSlowMode");
            if (FDeviceMode) {
                DebugLog("ProcessMFTRecordStart - DoSlowMode");
                if (!FPasses.DeviceScan)
                    SetError("Portable devices are not available in this build");
                else
                    FPasses.DeviceScan(*this, filters);
            } else if (IsSourceCSV()) {
                WasCSVFile = true;
                int64_t line = 0;
                if (!FPasses.ImportCSV) {
                    SetError(tr("CSV/TSV import is not available in this build"));
                } else if (!FPasses.ImportCSV(*this, line)) {
                    WasError = true;
                    ErrorMessage =
                        Format(tr("Failed to import CSV file (line %lld)"), (long long)line);
                }
            } else {
                DebugLog("ProcessMFTRecordStart - DoSlowMode");
                if (!FPasses.SlowScan)
                    SetError(tr("Folder scanning is not available in this build"));
                else
                    FPasses.SlowScan(*this, filters);
            }
        }
    } catch (const std::exception& e) {
        SetError(e.what());
    }
    TrimLists();
    // An MFT pass names its root; every other source starts its list with it.
    if (!MFTRoot) MFTRoot = FFileList.empty() ? nullptr : FFileList.front();
}

// A list that outgrew its reservation during the pass (extra names of hard links, placeholders)
// was doubled and may hold up to twice the slots it needs; give the excess back once the pass
// is over. Records do not move: only the arrays of pointers and positions are copied.
template <typename T> static void TrimExcess(std::vector<T>& v) {
    if (v.capacity() - v.size() > v.size() / 8 + 4096) v.shrink_to_fit();
}

void TNTFS_FILES::TrimLists() {
    TrimExcess(FFileList);
    TrimExcess(FDirList);
    TrimExcess(FFileListIndex);
    TrimExcess(FDirListIndex);
}

} // namespace qz
