// Runs a scan session for the window without ever blocking the user-interface thread.
//
// The scan threads run as TScanSession starts them. A timer on the user-interface thread
// polls the combined progress (passed on at most once a second unless the percentage rises);
// the last scan thread posts a queued message when it ends, and the session's closing work
// (name numbering, errors, the full-volume cut, totals) then runs on a thread of its own,
// which posts the result back. The window touches the session only while the runner is idle.
// The previous scans are freed on a thread of their own when the next scans start: the records
// of a large scan take tens of milliseconds to let go.
#pragma once

#include "views/scancontrol.h"

#include <QObject>
#include <QTimer>
#include <memory>
#include <thread>

namespace qz {

class TScanRunner : public QObject {
    Q_OBJECT
public:
    explicit TScanRunner(QObject* parent = nullptr);
    ~TScanRunner() override; // cancels and waits for every thread

    // The session: read or change it only while !Busy().
    TScanSession& Session() { return *FSession; }
    bool Busy() const { return FState != TState::Idle; }

    // Starts the scans (the previous ones are freed: clear the views first). False when none
    // could be started; finished still follows (with the errors in the session).
    bool Start(std::span<const TScanSource> sources, const TScanOptions& options,
               std::function<TDiskSizeInfo(const TScanSource&, const TNTFS_FILES&)> diskSizeOf);
    // Asks the running scans to stop; finished follows once they have.
    void Cancel();
    bool CancelRequested() const { return FCancelRequested; }

    // How often the progress is polled.
    static constexpr int kPollMilliseconds = 200;

signals:
    // Progress to show (already throttled).
    void progress(const qz::TScanProgress& p);
    // Every thread has ended and the session's closing work is done; ok: no scan failed.
    void finished(bool ok);

private:
    enum class TState { Idle, Scanning, Finishing };
    void Poll();
    void ThreadsDone();
    void FinishDone(bool ok);
    // Hands the session's scans to FReleaser, which frees them.
    void ReleaseScans();

    std::unique_ptr<TScanSession> FSession;
    TState FState = TState::Idle;
    QTimer FTimer;
    std::thread FFinisher;
    std::thread FReleaser;
    bool FCancelRequested = false;
};

} // namespace qz

Q_DECLARE_METATYPE(qz::TScanProgress)
