#include "gui/scanrunner.h"

#include "base/heaptune.h"
#include "engine/duplicates.h"

#include "sources/sources.h"

#include <QMetaObject>

namespace qz {

TScanRunner::TScanRunner(QObject* parent)
    : QObject(parent), FSession(std::make_unique<TScanSession>(ScanSourcePasses())) {
    qRegisterMetaType<TScanProgress>();
    FTimer.setInterval(kPollMilliseconds);
    connect(&FTimer, &QTimer::timeout, this, &TScanRunner::Poll);
}

TScanRunner::~TScanRunner() {
    // No thread may post to this object once it is gone: stop and join them all here.
    FTimer.stop();
    if (FSession) FSession->Cancel();
    if (FFinisher.joinable()) FFinisher.join();
    FSession.reset();
    if (FReleaser.joinable()) FReleaser.join();
}

bool TScanRunner::Start(
    std::span<const TScanSource> sources, const TScanOptions& options,
    std::function<TDiskSizeInfo(const TScanSource&, const TNTFS_FILES&)> diskSizeOf) {
    if (Busy()) return false;
    FCancelRequested = false;
    FSession->DiskSizeOf = std::move(diskSizeOf);
    FSession->OnThreadsDone = [this] {
        // On the last scan thread: hand over to the user-interface thread.
        QMetaObject::invokeMethod(this, &TScanRunner::ThreadsDone, Qt::QueuedConnection);
    };
    FState = TState::Scanning;
    ReleaseScans();
    const bool started = FSession->Start(sources, options);
    if (!started) {
        // Nothing runs: the closing work is immediate, but the result still arrives as a
        // message, like every other end of a scan.
        QMetaObject::invokeMethod(this, &TScanRunner::ThreadsDone, Qt::QueuedConnection);
        return false;
    }
    FTimer.start();
    return true;
}

void TScanRunner::ReleaseScans() {
    if (FSession->ScanSlots.empty()) return;
    // The views let go of the scans before a start; nothing else refers to them. A previous
    // release still running (two starts within moments) is waited for: one at a time.
    std::vector<std::unique_ptr<TNTFS_FILES>> scans;
    scans.swap(FSession->ScanSlots);
    // Their records leave the duplicate groups here, not on the releasing thread, which could
    // otherwise meet a grouping pass of the next scans.
    std::vector<TNTFS_FILES*> leaving;
    for (auto& s : scans) leaving.push_back(s.get());
    LeaveDupGroups(leaving);
    if (FReleaser.joinable()) FReleaser.join();
    // The free pages they leave in the middle of the heap go back to the system too.
    FReleaser = std::thread([scans = std::move(scans)]() mutable {
        scans.clear();
        ReleaseFreeHeap();
    });
}

void TScanRunner::Cancel() {
    if (FState != TState::Scanning) return;
    FCancelRequested = true;
    FSession->Cancel();
}

void TScanRunner::Poll() {
    if (FState != TState::Scanning) return;
    TScanProgress p;
    if (FSession->PollProgress(p)) emit progress(p);
}

void TScanRunner::ThreadsDone() {
    if (FState != TState::Scanning) return;
    FTimer.stop();
    // The last figures, whatever the throttle says.
    TScanProgress p;
    FSession->PollProgress(p);
    emit progress(p);
    FState = TState::Finishing;
    FFinisher = std::thread([this] {
        const bool ok = FSession->Finish();
        QMetaObject::invokeMethod(
            this, [this, ok] { FinishDone(ok); }, Qt::QueuedConnection);
    });
}

void TScanRunner::FinishDone(bool ok) {
    if (FFinisher.joinable()) FFinisher.join();
    FState = TState::Idle;
    emit finished(ok);
}

} // namespace qz
