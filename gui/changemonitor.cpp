#include "gui/changemonitor.h"

#include "base/debuglog.h"
#include "fsops/changeapply.h"
#include "gui/livesource.h"
#include "gui/qtext.h"

#include <QLocale>
#include <QPointer>
#include <algorithm>
#include <cstdio>

namespace qz {

TChangeMonitor::TChangeMonitor(TScanSession& session, TDisplayTree& tree, QObject* parent)
    : QObject(parent), FSession(session), FTree(tree) {
    FTimer.setSingleShot(true);
    connect(&FTimer, &QTimer::timeout, this, &TChangeMonitor::OnTimer);
    FBusyTimer.setSingleShot(true);
    FBusyTimer.setInterval(50);
    connect(&FBusyTimer, &QTimer::timeout, this, &TChangeMonitor::RefreshNow);
}

TChangeMonitor::~TChangeMonitor() {
    Stop();
}

void TChangeMonitor::SetEnabled(bool on) {
    if (on == FEnabled) return;
    FEnabled = on;
    Stop();
    if (on) Start();
}

void TChangeMonitor::Start() {
    Stop();
    if (!FEnabled) return;
    std::vector<PMFT_RECORD> linked;
    for (size_t k = 0; k < FSession.ScanSlots.size() && k < FSession.Sources.size(); ++k) {
        TNTFS_FILES* scan = FSession.ScanSlots[k].get();
        if (!scan || !IsLiveSource(FSession.Sources[k], scan, nullptr)) continue;
        FScans.push_back(scan);
        // Names of hard-linked files that are not counted: their groups are found by the
        // watcher's thread.
        for (PMFT_RECORD r : scan->FFileList)
            if (r && r->DoNotCountFlag && !r->IsFolder()) linked.push_back(r);
    }
    if (FScans.empty()) return;
    FWatcher = std::make_unique<TChangeWatcher>(FScans, std::move(linked));
    QPointer<TChangeMonitor> self(this);
    FWatcher->OnChanges = [self] {
        QMetaObject::invokeMethod(
            self,
            [self] {
                if (self) self->OnChangesWaiting();
            },
            Qt::QueuedConnection);
    };
    FWatcher->OnSetupDone = [self] {
        QMetaObject::invokeMethod(
            self,
            [self] {
                if (self) self->OnSetupDone();
            },
            Qt::QueuedConnection);
    };
    std::string error;
    if (!FWatcher->Start(&error)) {
        FWatcher.reset();
        FScans.clear();
        emit statusMessage(Tr("Changes on disk are not followed") + QStringLiteral(": ") +
                           QString::fromStdString(error));
        return;
    }
    DebugLog("Change monitor started");
}

void TChangeMonitor::Stop() {
    FTimer.stop();
    FBusyTimer.stop();
    FOwnRemoved.clear();
    FOwnScans.clear();
    FWaiting = false;
    if (FWatcher) {
        FWatcher->Stop();
        FWatcher.reset();
        DebugLog("Change monitor stopped");
    }
    FScans.clear();
    FBatch.Clear();
    FLimitTold = FLossTold = false;
}

void TChangeMonitor::OnSetupDone() {
    if (!FWatcher) return;
    const size_t folders = FWatcher->FolderCount(), watched = FWatcher->WatchCount();
    if (FWatcher->LimitReached() && !FLimitTold) {
        FLimitTold = true;
        const QLocale loc;
        emit statusMessage(
            Tr("Changes on disk are followed in %1 of %2 folders: the system's limit of watched "
               "folders was reached (fs.inotify.max_user_watches)")
                .arg(loc.toString(qulonglong(watched)), loc.toString(qulonglong(folders))));
    }
    emit watching(folders, watched);
}

void TChangeMonitor::OnChangesWaiting() {
    if (!FWatcher) return;
    if (!FWaiting) {
        FWaiting = true;
        FFirstWaiting = std::chrono::steady_clock::now();
    }
    if (!FTimer.isActive()) FTimer.start(QuietMs);
}

void TChangeMonitor::OnTimer() {
    if (!FWatcher) return;
    using namespace std::chrono;
    // QuietMs without a removal, or MaxWaitMs since the first one waited.
    const auto now = steady_clock::now();
    const auto quietFor = duration_cast<milliseconds>(now - FWatcher->LastChange()).count();
    const auto waited = duration_cast<milliseconds>(now - FFirstWaiting).count();
    if (quietFor < QuietMs && waited < MaxWaitMs) {
        FTimer.start(int(std::min<long long>(QuietMs - quietFor, MaxWaitMs - waited)) + 1);
        return;
    }
    RefreshNow();
}

void TChangeMonitor::RefreshNow() {
    FTimer.stop();
    FBusyTimer.stop();
    if (!FWatcher && FOwnRemoved.empty()) return;
    if (RecordsBusy && RecordsBusy()) {
        FBusyTimer.start();
        return;
    }
    FWaiting = false;
    FFound.clear();
    FBatch.Clear();
    if (FWatcher) {
        FWatcher->TakeChanges(FBatch);
        FindRemovedRecords(FBatch, FFound);
    }
    for (PMFT_RECORD r : FOwnRemoved)
        if (r && !r->Deleted) FFound.push_back(r);
    FOwnRemoved.clear();
    Update(FFound, FBatch.Overflowed);
    FOwnScans.clear();
}

void TChangeMonitor::MarkRemoved(const std::vector<PMFT_RECORD>& records) {
    if (!FWatcher) return;
    FOwnRemoved.insert(FOwnRemoved.end(), records.begin(), records.end());
    RefreshNow();
}

void TChangeMonitor::MarkRemovedOnDevice(const std::vector<PMFT_RECORD>& records) {
    // The scans holding the records: their roots are the records' topmost ancestors.
    for (PMFT_RECORD r : records) {
        PMFT_RECORD root = r;
        while (root && root->ParentMFTRec) root = root->ParentMFTRec;
        for (const auto& scan : FSession.ScanSlots)
            if (scan && scan->MFTRoot == root &&
                std::find(FOwnScans.begin(), FOwnScans.end(), scan.get()) == FOwnScans.end())
                FOwnScans.push_back(scan.get());
    }
    FOwnRemoved.insert(FOwnRemoved.end(), records.begin(), records.end());
    RefreshNow();
}

void TChangeMonitor::Update(const std::vector<PMFT_RECORD>& found, bool lost) {
    if (lost && !FLossTold) {
        FLossTold = true;
        emit statusMessage(Tr("Too many changes on disk at once: some removals may not show until "
                              "the next scan"));
    }
    if (found.empty()) return;
    const auto start = std::chrono::steady_clock::now();
    emit aboutToChangeRecords();
    FMarked.clear();
    for (PMFT_RECORD r : found) MarkDeleted(r, FMarked);
    bool folders = false;
    for (PMFT_RECORD r : FMarked) folders = folders || r->IsFolder();
    std::vector<TNTFS_FILES*> scans = FScans;
    for (TNTFS_FILES* s : FOwnScans)
        if (std::find(scans.begin(), scans.end(), s) == scans.end()) scans.push_back(s);
    for (TNTFS_FILES* scan : scans) {
        // Records a filter hides are in no children list: they follow their folder here.
        if (folders) MarkBelowDeletedFolders(*scan, FMarked);
    }
    if (FWatcher && FWatcher->SetupDone()) MoveHardLinkCounts(FWatcher->HardLinkGroups());
    const auto marked = std::chrono::steady_clock::now();
    for (TNTFS_FILES* scan : scans) RecomputeTotals(*scan, FSession.FoldersOnly);
    // The sums over all scans, as the end of a scan makes them.
    FSession.RootMFTMulti.SubFoldersTotSize = 0;
    FSession.RootMFTMulti.SubFoldersTotSizeAlloc = 0;
    for (size_t k = 0; k < FSession.ScanSlots.size(); ++k) {
        TNTFS_FILES* s = FSession.ScanSlots[k].get();
        if (!s || !s->MFTRoot) continue;
        if (k < FSession.DiskSizes.size())
            FSession.DiskSizes[k].usedspace = s->MFTRoot->SubFoldersTotSizeAlloc;
        FSession.RootMFTMulti.SubFoldersTotSize += s->MFTRoot->SubFoldersTotSize;
        FSession.RootMFTMulti.SubFoldersTotSizeAlloc += s->MFTRoot->SubFoldersTotSizeAlloc;
    }
    FTree.RefreshFileGroups();
    const auto summed = std::chrono::steady_clock::now();
    FMarkedCount += FMarked.size();
    ++FRefreshCount;
    emit totalsChanged();
    FLastRefreshEnd = std::chrono::steady_clock::now();
    FLastRefreshMs = std::chrono::duration<double, std::milli>(FLastRefreshEnd - start).count();
    using Ms = std::chrono::duration<double, std::milli>;
    char times[96];
    std::snprintf(times, sizeof times, " (marking %.1f ms, totals %.1f ms, views %.1f ms)",
                  Ms(marked - start).count(), Ms(summed - marked).count(),
                  Ms(FLastRefreshEnd - summed).count());
    DebugLog("Change monitor: " + std::to_string(FMarked.size()) + " records deleted" + times);
}

} // namespace qz
