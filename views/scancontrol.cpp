#include "views/scancontrol.h"

#include "base/debuglog.h"
#include "base/heaptune.h"
#include "base/text.h"
#include "engine/tree.h"
#include "filters/filters.h"
#include "views/format.h"

#include <cmath>
#include <cstring>

namespace qz {

// ---------------------------------------------------------------- TMFTThread

TMFTThread::TMFTThread(
    const TScanSource& source, const TScanOptions& options, const TSourcePasses& passes, int index,
    std::function<TDiskSizeInfo(const TScanSource&, const TNTFS_FILES&)> diskSizeOf)
    : FSource(source), FOptions(options), FPasses(passes), FIndex(index),
      FDiskSizeOf(std::move(diskSizeOf)) {
    FSpace.itempath = source.Path;
}

TMFTThread::~TMFTThread() {
    Join();
}

void TMFTThread::Start(std::function<void()> onTerminate) {
    FOnTerminate = std::move(onTerminate);
    FThread = std::thread([this] { Execute(); });
}

void TMFTThread::Join() {
    if (FThread.joinable()) FThread.join();
}

void TMFTThread::Cancel() {
    std::lock_guard<std::mutex> g(FCancelLock);
    FCancelRequested = true;
    if (FScan) FScan->CancelProcess();
}

TNTFS_FILES* TMFTThread::Scan() {
    std::lock_guard<std::mutex> g(FCancelLock);
    return FScan.get();
}

void TMFTThread::Open() {
    std::unique_ptr<TNTFS_FILES> scan;
    try {
        switch (FSource.Method) {
        case TScanMethod::Enumerate:
        case TScanMethod::CSVImport:
            scan = TNTFS_FILES::CreateSlow(FSource.Path, FPasses);
            break;
        case TScanMethod::MFTDump:
        case TScanMethod::MFTVolume:
            scan = std::make_unique<TNTFS_FILES>(FSource.Path);
            break;
        case TScanMethod::Device:
            scan = TNTFS_FILES::CreateDevice(FSource.Path, FPasses);
            break;
        }
    } catch (const std::exception& e) {
        FOpenError = e.what();
    }
    if (!scan) {
        if (FOpenError.empty()) FOpenError = tr("The source could not be opened");
        return;
    }
    scan->Index = FIndex;
    scan->FShowMaxModifiedDate = FOptions.ShowMaxModifiedDate;
    scan->FGmtTimeOffset = FOptions.TimeOffset;
    if (!FSource.RootName.empty()) scan->FRootName = FSource.RootName;
    scan->OnProgress = [this, sp = scan.get()](int, int percent, int64_t files, int64_t dirs) {
        // An MFT pass knows its record count before it reports; the combined percentage
        // weighs the scans by it while they run.
        _numrecords.store(sp->NumMFTRecords, std::memory_order_relaxed);
        _percent.store(percent, std::memory_order_relaxed);
        _numfiles.store(files, std::memory_order_relaxed);
        _numdirs.store(dirs, std::memory_order_relaxed);
    };
    if (FDiskSizeOf) FSpace = FDiskSizeOf(FSource, *scan);
    std::lock_guard<std::mutex> g(FCancelLock);
    FScan = std::move(scan);
    if (FCancelRequested) FScan->CancelProcess();
}

namespace {
// The work on a finished scan that can run beside the other scans: its folders sorted by name
// (the slow half of the session's name numbering, done before the window waits for the
// result) and, when asked for, its files tallied by extension.
TExtTally SortAndTally(TNTFS_FILES& scan, bool tally) {
    SortChildrenByName(scan.MFTRoot);
    return tally ? TallyExtensions(scan) : TExtTally{};
}
} // namespace

void TMFTThread::Execute() {
    Open();
    if (FScan) {
        TNTFS_FILES& s = *FScan;
        try {
            s.ProcessMFTRecords({.Include = FOptions.FilterInclude,
                                 .Exclude = FOptions.FilterExclude,
                                 .FullPath = FOptions.MatchEntirePath});
            _numrecords.store(s.NumMFTRecords, std::memory_order_relaxed);
            ApplyScanFilters(s, FOptions.FilterInclude, FOptions.FilterExclude,
                             FOptions.MatchEntirePath);
            FExtTally = SortAndTally(s, FOptions.TallyExtensions);
        } catch (const std::exception& e) {
            s.SetError(e.what());
        } catch (...) {
            s.SetError(tr("Unknown error"));
        }
        s.OnProgress = nullptr;
    }
    FTerminated.store(true, std::memory_order_release);
    if (FOnTerminate) FOnTerminate();
}

// ---------------------------------------------------------------- progress

bool TProgressThrottle::ShouldShow(int percent, std::chrono::steady_clock::time_point now) {
    const bool show = !FShown || percent >= 100 || percent > FLastPercent ||
                      now - FLast >= std::chrono::seconds(1);
    if (show) {
        FShown = true;
        FLastPercent = percent;
        FLast = now;
    }
    return show;
}

TScanProgress CombineProgress(std::span<const TScanFigures> scans) {
    TScanProgress p;
    if (scans.empty()) return p;
    int64_t total = 0;
    bool allKnown = true;
    int64_t sumPercent = 0;
    for (const TScanFigures& f : scans) {
        p.Files += f.Files;
        p.Folders += f.Folders;
        sumPercent += f.Percent;
        if (f.Records > 0)
            total += f.Records;
        else
            allKnown = false;
    }
    if (allKnown && total > 0) {
        double pct = 0;
        for (const TScanFigures& f : scans)
            pct += std::round(double(f.Records) / double(total) * f.Percent);
        p.Percent = pct > 100 ? 100 : int(pct);
    } else {
        p.Percent = int(sumPercent / int64_t(scans.size()));
    }
    return p;
}

// ---------------------------------------------------------------- TScanSession

TScanSession::~TScanSession() {
    Cancel();
    FThreads.clear(); // joins
}

bool TScanSession::Start(std::span<const TScanSource> sources, const TScanOptions& options) {
    Cancel();
    FThreads.clear();
    Clear();
    FOptions = options;
    FCancelRequested = false;
    FThrottle.Reset();
    FoldersOnly = FoldersOnlyFilterActive(options.FilterInclude, options.MatchEntirePath);
    DebugLog(std::string("ShowMaxModifiedDate=") + (options.ShowMaxModifiedDate ? "1" : "0"));
    for (const TScanSource& src : sources) {
        ScanSlots.emplace_back();
        Sources.push_back(src);
        TDiskSizeInfo info;
        info.itempath = src.Path;
        DiskSizes.push_back(std::move(info));
        FThreads.push_back(
            std::make_unique<TMFTThread>(src, options, FPasses, int(FThreads.size()), DiskSizeOf));
    }
    FStart = std::chrono::steady_clock::now();
    // Every thread is counted before the first one starts, so an early end of one cannot
    // look like the end of all.
    FRunning.store(int(FThreads.size()));
    for (auto& t : FThreads) {
        t->Start([this] {
            bool last;
            {
                std::lock_guard<std::mutex> g(FWakeLock);
                last = FRunning.fetch_sub(1) == 1;
                if (last) FEnd = std::chrono::steady_clock::now();
            }
            FWake.notify_all();
            if (last && OnThreadsDone) OnThreadsDone();
        });
    }
    return !FThreads.empty();
}

bool TScanSession::Running() const {
    return FRunning.load() > 0;
}

void TScanSession::Cancel() {
    if (!FThreads.empty()) FCancelRequested = true;
    for (auto& t : FThreads)
        if (t && !t->Terminated()) t->Cancel();
}

bool TScanSession::PollProgress(TScanProgress& out) {
    std::vector<TScanFigures> figs;
    figs.reserve(FThreads.size());
    for (auto& t : FThreads) {
        TScanFigures f;
        f.Percent = t->_percent.load(std::memory_order_relaxed);
        f.Files = t->_numfiles.load(std::memory_order_relaxed);
        f.Folders = t->_numdirs.load(std::memory_order_relaxed);
        f.Records = t->_numrecords.load(std::memory_order_relaxed);
        figs.push_back(f);
    }
    out = CombineProgress(figs);
    const auto now = std::chrono::steady_clock::now();
    out.Seconds = std::chrono::duration<double>(now - FStart).count();
    return FThrottle.ShouldShow(out.Percent, now);
}

void TScanSession::Wait(const std::function<void(const TScanProgress&)>& onProgress,
                        const std::function<bool()>& shouldCancel) {
    TScanProgress p;
    while (Running()) {
        if (shouldCancel && !FCancelRequested && shouldCancel()) Cancel();
        if (PollProgress(p) && onProgress) onProgress(p);
        std::unique_lock<std::mutex> g(FWakeLock);
        FWake.wait_for(g, std::chrono::milliseconds(100), [this] { return FRunning.load() == 0; });
    }
    for (auto& t : FThreads) t->Join();
    Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - FStart).count();
    // The last figures, shown whatever the throttle says.
    PollProgress(p);
    p.Seconds = Seconds;
    if (onProgress && !FThreads.empty()) onProgress(p);
}

bool TScanSession::Finish() {
    for (auto& t : FThreads) t->Join();
    if (!FThreads.empty()) Seconds = std::chrono::duration<double>(FEnd - FStart).count();
    bool failed = false;
    ExtTallies.assign(ScanSlots.size(), {});
    for (size_t k = 0; k < FThreads.size() && k < ScanSlots.size(); ++k) {
        ScanSlots[k] = FThreads[k]->TakeScan();
        ExtTallies[k] = FThreads[k]->TakeExtTally();
        DiskSizes[k] = FThreads[k]->Space();
        if (!ScanSlots[k]) {
            Errors.push_back(std::string(tr("Error")) + ": " + FThreads[k]->OpenError() + " [" +
                             Utf16ToUtf8(Sources[k].Path) + "]");
            failed = true;
        }
    }
    FThreads.clear();
    // A scan that cannot be shown: its error, and neither it nor its tally is kept.
    auto drop = [&](size_t k, const std::string& message, const std::u16string& source) {
        Errors.push_back(std::string(tr("Error")) + ": " + message + " [" + Utf16ToUtf8(source) +
                         "]");
        ScanSlots[k].reset();
        ExtTallies[k] = {};
        failed = true;
    };
    for (size_t k = 0; k < ScanSlots.size(); ++k) {
        TNTFS_FILES* s = ScanSlots[k].get();
        if (s && s->WasError) drop(k, tr(s->ErrorMessage.c_str()), s->FSource);
    }
    // Full-volume mode: the folder is cut out of the volume's scan.
    for (size_t k = 0; k < ScanSlots.size(); ++k) {
        if (!ScanSlots[k] || Sources[k].SubtreePath.empty()) continue;
        TNTFS_FILES* vol = ScanSlots[k].get();
        PMFT_RECORD folder = FindRecordByPath(vol->MFTRoot, Sources[k].SubtreePath, u'/');
        if (!folder) {
            drop(k, tr("Folder not found in the volume"), Sources[k].SubtreeRootName);
            continue;
        }
        auto sub = std::make_unique<TNTFS_FILES>(folder, Sources[k].SubtreeRootName);
        sub->Index = int(k);
        sub->FShowMaxModifiedDate = FOptions.ShowMaxModifiedDate;
        sub->FGmtTimeOffset = FOptions.TimeOffset;
        sub->ProcessMFTRecords({.FullPath = FOptions.MatchEntirePath});
        sub->CalculateDirSizes({.IgnoreFilter = true});
        if (sub->WasError) {
            drop(k, tr(sub->ErrorMessage.c_str()), Sources[k].SubtreeRootName);
            continue;
        }
        ExtTallies[k] = SortAndTally(*sub, FOptions.TallyExtensions);
        ScanSlots[k] = std::move(sub);
    }
    // One name order across all scans (each scan's folders were sorted by its thread).
    int32_t counter = 1;
    for (auto& s : ScanSlots)
        if (s && s->MFTRoot) NumberInChildOrder(s->MFTRoot, counter);
    // Totals.
    ZeroRecord(RootMFTMulti);
    RootMFT = nullptr;
    for (size_t k = 0; k < ScanSlots.size(); ++k) {
        TNTFS_FILES* s = ScanSlots[k].get();
        if (!s) continue;
        if (s->WasCSVFile && s->CSVDinfo.hastotalandfreespace) DiskSizes[k] = s->CSVDinfo;
        // A device's storages are measured by its walk.
        if (s->IsSourceDevice() && s->DeviceDinfo.hastotalandfreespace)
            DiskSizes[k] = s->DeviceDinfo;
        if (s->MFTRoot) {
            if (!RootMFT) RootMFT = s->MFTRoot;
            DiskSizes[k].usedspace = s->MFTRoot->SubFoldersTotSizeAlloc;
            RootMFTMulti.SubFoldersTotSize += s->MFTRoot->SubFoldersTotSize;
            RootMFTMulti.SubFoldersTotSizeAlloc += s->MFTRoot->SubFoldersTotSizeAlloc;
        }
    }
    for (const std::string& e : Errors) DebugLog(e);
    return !failed;
}

bool TScanSession::LoadTree(TDisplayTree& tree, int sortBy, std::string* error) {
    DebugLog("LoadTree");
    std::vector<TNTFS_FILES*> scans = Scans();
    tree.FileNodesEnabled = !FoldersOnly;
    bool ok = tree.LoadTree(scans, error);
    tree.FileNodesEnabled = true;
    if (sortBy >= 0) {
        int column;
        TSortDirection dir;
        SortChoice(sortBy, column, dir);
        tree.Sort(column, dir);
    } else {
        tree.Sort(tree.SortColumn(), tree.SortDirection());
    }
    if (!tree.Roots().empty()) RootMFT = tree.Roots().front()->Data.Rec;
    return ok;
}

void TScanSession::Clear() {
    Cancel();
    FThreads.clear();
    const bool hadScans = !ScanSlots.empty();
    ScanSlots.clear();
    DiskSizes.clear();
    Sources.clear();
    Errors.clear();
    ExtTallies.clear();
    RootMFT = nullptr;
    ZeroRecord(RootMFTMulti);
    Seconds = 0;
    FoldersOnly = false;
    // The records of a large scan leave free pages in the middle of the heap, which the
    // allocator would otherwise keep.
    if (hadScans) ReleaseFreeHeap();
}

bool TScanSession::WasCancelled() const {
    for (const auto& s : ScanSlots)
        if (s && s->Cancelled()) return true;
    for (const auto& t : FThreads)
        if (TNTFS_FILES* s = t->Scan(); s && s->Cancelled()) return true;
    return false;
}

TNTFS_FILES* TScanSession::RunningScan(size_t k) const {
    return k < FThreads.size() ? FThreads[k]->Scan() : nullptr;
}

std::vector<TNTFS_FILES*> TScanSession::Scans() const {
    std::vector<TNTFS_FILES*> r;
    for (const auto& s : ScanSlots)
        if (s) r.push_back(s.get());
    return r;
}

std::u16string ScanProgressText(const TScanProgress& p, const TNumberFormat& nf) {
    return Utf8ToUtf16(tr("Scanning")) + u" (" + Utf8ToUtf16(tr("Folders")) + u": " +
           FormatCount(p.Folders, nf) + u"  " + Utf8ToUtf16(tr("Files")) + u": " +
           FormatCount(p.Files, nf) + u")";
}

std::u16string ScanCompleteText(double seconds, bool cancelled, const TNumberFormat& nf) {
    std::u16string t = Utf8ToUtf16(tr("Scan complete")) + u" " + FormatFixed(seconds, 2, nf) +
                       u" " + Utf8ToUtf16(tr("seconds"));
    if (cancelled) t += u" (" + Utf8ToUtf16(tr("Cancelled")) + u")";
    return t;
}

void SortChoice(int sortBy, int& column, TSortDirection& direction) {
    direction = TSortDirection::Descending;
    switch (sortBy) {
    case 1:
        column = tcSize;
        break;
    case 2:
        column = tcAllocated;
        break;
    case 3:
        column = tcModified;
        break;
    default:
        column = tcFolder;
        direction = TSortDirection::Ascending;
        break;
    }
}

} // namespace qz
