#include "views/scancontrol.h"

#include "base/debuglog.h"
#include "base/text.h"
#include "engine/tree.h"
#include "filters/filters.h"
#include "views/format.h"

#include <cmath>
#include <cstring>

namespace qz {

// ---------------------------------------------------------------- TMFTThread

TMFTThread::TMFTThread(TNTFS_FILES* scan) : _m(scan) {}

TMFTThread::~TMFTThread() {
    Join();
}

void TMFTThread::Start(std::function<void()> onTerminate) {
    FOnTerminate = std::move(onTerminate);
    _m->OnProgress = [this](int, int percent, int64_t files, int64_t dirs) {
        // An MFT pass knows its record count before it reports; the combined percentage
        // weighs the scans by it while they run.
        _numrecords.store(_m->NumMFTRecords, std::memory_order_relaxed);
        _percent.store(percent, std::memory_order_relaxed);
        _numfiles.store(files, std::memory_order_relaxed);
        _numdirs.store(dirs, std::memory_order_relaxed);
    };
    FThread = std::thread([this] { Execute(); });
}

void TMFTThread::Join() {
    if (FThread.joinable()) FThread.join();
}

void TMFTThread::Execute() {
    TNTFS_FILES& s = *_m;
    try {
        const bool foldersOnly = FoldersOnlyFilterActive(FilterInclude, MatchEntirePath);
        s.ProcessMFTRecords(FilterInclude, FilterExclude, MatchEntirePath, foldersOnly, false);
        _numrecords.store(s.NumMFTRecords, std::memory_order_relaxed);
        ApplyScanFilters(s, FilterInclude, FilterExclude, MatchEntirePath);
    } catch (const std::exception& e) {
        s.SetError(e.what());
    } catch (...) {
        s.SetError(tr("Unknown error"));
    }
    s.OnProgress = nullptr;
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
    tm.clear(); // joins
}

bool TScanSession::Start(std::span<const TScanSource> sources, const TScanOptions& options) {
    Cancel();
    tm.clear();
    Clear();
    FOptions = options;
    FCancelRequested = false;
    FThrottle.Reset();
    FoldersOnly = FoldersOnlyFilterActive(options.FilterInclude, options.MatchEntirePath);
    DebugLog(std::string("ShowMaxModifiedDate=") + (options.ShowMaxModifiedDate ? "1" : "0"));
    for (const TScanSource& src : sources) {
        std::unique_ptr<TNTFS_FILES> scan;
        try {
            switch (src.Method) {
            case TScanMethod::Enumerate:
            case TScanMethod::CSVImport:
                scan = TNTFS_FILES::CreateSlow(src.Path);
                break;
            case TScanMethod::MFTDump:
            case TScanMethod::MFTVolume:
                scan = std::make_unique<TNTFS_FILES>(src.Path);
                break;
            }
        } catch (const std::exception& e) {
            Errors.push_back(std::string(tr("Error")) + ": " + e.what() + " [" +
                             Utf16ToUtf8(src.Path) + "]");
        }
        if (scan) {
            scan->index = int(m.size());
            scan->FShowMaxModifiedDate = options.ShowMaxModifiedDate;
            scan->Fgmttimeoffset = options.TimeOffset;
            if (!src.RootName.empty()) scan->FRootName = src.RootName;
        }
        m.push_back(std::move(scan));
        Sources.push_back(src);
        TDiskSizeInfo info;
        info.itempath = src.Path;
        if (m.back() && DiskSizeOf) info = DiskSizeOf(src, *m.back());
        ds.push_back(std::move(info));
    }
    FStart = std::chrono::steady_clock::now();
    // Every thread is counted before the first one starts, so an early end of one cannot
    // look like the end of all.
    int count = 0;
    for (auto& scan : m) count += scan ? 1 : 0;
    FRunning.store(count);
    for (auto& scan : m) {
        if (!scan) continue;
        auto t = std::make_unique<TMFTThread>(scan.get());
        t->WasCSVFile = scan->IsSourceCSV();
        t->FilterInclude = options.FilterInclude;
        t->FilterExclude = options.FilterExclude;
        t->MatchEntirePath = options.MatchEntirePath;
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
        tm.push_back(std::move(t));
    }
    return !tm.empty();
}

bool TScanSession::Running() const {
    return FRunning.load() > 0;
}

void TScanSession::Cancel() {
    if (!tm.empty()) FCancelRequested = true;
    for (auto& t : tm)
        if (t && !t->Terminated()) t->_m->CancelProcess();
}

bool TScanSession::PollProgress(TScanProgress& out) {
    std::vector<TScanFigures> figs;
    figs.reserve(tm.size());
    for (auto& t : tm) {
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
    for (auto& t : tm) t->Join();
    Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - FStart).count();
    // The last figures, shown whatever the throttle says.
    PollProgress(p);
    p.Seconds = Seconds;
    if (onProgress && !tm.empty()) onProgress(p);
}

bool TScanSession::Finish() {
    for (auto& t : tm) t->Join();
    if (!tm.empty()) Seconds = std::chrono::duration<double>(FEnd - FStart).count();
    tm.clear();
    bool failed = !Errors.empty();
    for (size_t k = 0; k < m.size(); ++k) {
        TNTFS_FILES* s = m[k].get();
        if (!s || !s->WasError) continue;
        Errors.push_back(std::string(tr("Error")) + ": " + tr(s->ErrorMEssage.c_str()) + " [" +
                         Utf16ToUtf8(s->FSource) + "]");
        m[k].reset();
        failed = true;
    }
    // Full-volume mode: the folder is cut out of the volume's scan.
    for (size_t k = 0; k < m.size(); ++k) {
        if (!m[k] || Sources[k].SubtreePath.empty()) continue;
        TNTFS_FILES* vol = m[k].get();
        PMFT_RECORD folder = FindRecordByPath(vol->MFTRoot, Sources[k].SubtreePath, u'/');
        if (!folder) {
            Errors.push_back(std::string(tr("Error")) + ": " +
                             tr("Folder not found in the volume") + " [" +
                             Utf16ToUtf8(Sources[k].SubtreeRootName) + "]");
            m[k].reset();
            failed = true;
            continue;
        }
        auto sub = std::make_unique<TNTFS_FILES>(folder, Sources[k].SubtreeRootName);
        sub->index = int(k);
        sub->FShowMaxModifiedDate = FOptions.ShowMaxModifiedDate;
        sub->Fgmttimeoffset = FOptions.TimeOffset;
        sub->ProcessMFTRecords(u"", u"", FOptions.MatchEntirePath, false, false);
        sub->CalculateDirSizes(true, false, false, false, true);
        if (sub->WasError) {
            Errors.push_back(std::string(tr("Error")) + ": " + tr(sub->ErrorMEssage.c_str()) +
                             " [" + Utf16ToUtf8(Sources[k].SubtreeRootName) + "]");
            m[k].reset();
            failed = true;
            continue;
        }
        m[k] = std::move(sub);
    }
    // One name order across all scans.
    int32_t counter = 1;
    for (auto& s : m)
        if (s && s->MFTRoot) SetNameSortIndex(s->MFTRoot, counter);
    // Totals.
    ZeroRecord(rootmftmulti);
    rootmft = nullptr;
    for (size_t k = 0; k < m.size(); ++k) {
        TNTFS_FILES* s = m[k].get();
        if (!s) continue;
        if (s->WasCSVFile && s->CSVDinfo.hastotalandfreespace) ds[k] = s->CSVDinfo;
        if (s->MFTRoot) {
            if (!rootmft) rootmft = s->MFTRoot;
            ds[k].usedspace = s->MFTRoot->SubFoldersTotSizeAlloc;
            rootmftmulti.SubFoldersTotSize += s->MFTRoot->SubFoldersTotSize;
            rootmftmulti.SubFoldersTotSizeAlloc += s->MFTRoot->SubFoldersTotSizeAlloc;
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
    if (!tree.Roots().empty()) rootmft = tree.Roots().front()->Data.Rec;
    return ok;
}

void TScanSession::Clear() {
    Cancel();
    tm.clear();
    m.clear();
    ds.clear();
    Sources.clear();
    Errors.clear();
    rootmft = nullptr;
    ZeroRecord(rootmftmulti);
    Seconds = 0;
    FoldersOnly = false;
}

bool TScanSession::WasCancelled() const {
    for (const auto& s : m)
        if (s && s->Cancelled()) return true;
    return false;
}

std::vector<TNTFS_FILES*> TScanSession::Scans() const {
    std::vector<TNTFS_FILES*> r;
    for (const auto& s : m)
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
