// Change monitoring in the window: while a scan is shown its folders are watched (a
// TChangeWatcher on its own thread), and what is removed on disk, by this program or by anyone,
// is marked deleted in the scan and the totals are summed again, without a rescan.
//
// Removals are gathered until none came for 150 ms (a burst of thousands of removals is one
// update, and the views follow well within a quarter of a second of the last removal), but an
// update comes at the latest a second after the first removal waited. The
// update marks the records (and everything below them) deleted, sums the totals of the scans,
// refreshes the file groups of the display tree and the sources' used space, then emits
// totalsChanged: the views repaint, the treemap outlines the deleted items.
//
// Other threads may read the records (an export, a filter pass, the file list loading, the
// treemap drawing): while RecordsBusy says so an update waits, and aboutToChangeRecords comes
// right before the records are written (the treemap stops drawing), totalsChanged after.
//
// The monitor must be stopped before the scans are freed (the window stops it when a scan
// starts).
#pragma once

#include "fsops/changewatch.h"
#include "views/displaytree.h"
#include "views/scancontrol.h"

#include <QObject>
#include <QTimer>
#include <chrono>
#include <functional>
#include <memory>

namespace qz {

class TChangeMonitor : public QObject {
    Q_OBJECT
public:
    TChangeMonitor(TScanSession& session, TDisplayTree& tree, QObject* parent = nullptr);
    ~TChangeMonitor() override;

    // Setting "MonitorFileSystemForChanges": off stops watching, on starts it for the scans
    // shown.
    void SetEnabled(bool on);
    bool Enabled() const { return FEnabled; }

    // Watches the session's scans whose sources are folders of this system (after a scan).
    void Start();
    void Stop();
    bool Active() const { return FWatcher != nullptr; }
    const TChangeWatcher* Watcher() const { return FWatcher.get(); }

    // The program's own deletions: the records are marked at once (while monitoring runs; with
    // monitoring off the views keep them until the next scan) and the totals follow.
    void MarkRemoved(const std::vector<PMFT_RECORD>& records);
    // Items deleted on a portable device, whose scans are never watched: marked whether
    // monitoring runs or not, and the totals of their scans follow.
    void MarkRemovedOnDevice(const std::vector<PMFT_RECORD>& records);
    // Updates now with what was gathered.
    void RefreshNow();

    // ---- figures for tests and measurements
    int RefreshCount() const { return FRefreshCount; }
    double LastRefreshMs() const { return FLastRefreshMs; }
    std::chrono::steady_clock::time_point LastRefreshEnd() const { return FLastRefreshEnd; }
    size_t MarkedCount() const { return FMarkedCount; }

    // Quiet time before an update, and the longest wait (defaults 150 ms and 1 s).
    int QuietMs = 150;
    int MaxWaitMs = 1000;
    // True while another thread reads the records: the update is tried again 50 ms later.
    std::function<bool()> RecordsBusy;

signals:
    // A text for the status line (watch limit reached, events lost, monitoring unavailable).
    void statusMessage(const QString& text);
    // The watches are set up.
    void watching(size_t folders, size_t watched);
    // Records are about to be marked deleted and the totals summed again (nothing else may
    // read them meanwhile).
    void aboutToChangeRecords();
    // Records were marked deleted and the totals summed again.
    void totalsChanged();

private:
    void OnChangesWaiting();
    void OnTimer();
    void OnSetupDone();
    // Marks the records found (and everything below them) and sums the totals again (of the
    // watched scans and of those holding the program's own removals).
    void Update(const std::vector<PMFT_RECORD>& found, bool lost);

    TScanSession& FSession;
    TDisplayTree& FTree;
    bool FEnabled = true;
    std::unique_ptr<TChangeWatcher> FWatcher;
    std::vector<TNTFS_FILES*> FScans; // watched
    QTimer FTimer;
    QTimer FBusyTimer; // retries an update that waits for the records
    std::chrono::steady_clock::time_point FFirstWaiting{};
    bool FWaiting = false;
    bool FLimitTold = false, FLossTold = false;
    TChangeBatch FBatch;
    std::vector<PMFT_RECORD> FFound, FMarked;
    std::vector<PMFT_RECORD> FOwnRemoved; // the program's own deletions, not marked yet
    std::vector<TNTFS_FILES*> FOwnScans;  // the scans FOwnRemoved belong to
    int FRefreshCount = 0;
    double FLastRefreshMs = 0;
    std::chrono::steady_clock::time_point FLastRefreshEnd{};
    size_t FMarkedCount = 0;
};

} // namespace qz
