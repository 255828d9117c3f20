// One piece of work on a thread of its own, its end reported on the window's thread.
//
// The window hands long passes (a file-list load, a filter pass, an export) to a job so that
// its own thread keeps drawing and answering. The work receives a cancel flag to poll; when it
// returns, its done function runs on the thread that owns the job (through the event loop).
// Stop cancels, waits for the thread and drops the done function: the window calls it before
// it frees what the work reads (the scans).
#pragma once

#include <QObject>

#include <atomic>
#include <functional>
#include <thread>

namespace qz {

class TBackgroundJob : public QObject {
    Q_OBJECT
public:
    using TWork = std::function<void(const std::atomic<bool>& cancel)>;

    explicit TBackgroundJob(QObject* parent = nullptr);
    ~TBackgroundJob() override; // stops a running job

    // Starts work on a new thread; done runs here once it has returned. False (and nothing
    // started) while another job runs.
    bool Start(TWork work, std::function<void()> done);
    // Asks the work to stop; its done function still runs.
    void Cancel() { FCancel.store(true, std::memory_order_relaxed); }
    bool CancelRequested() const { return FCancel.load(std::memory_order_relaxed); }
    // From Start until the done function has run (or Stop).
    bool Busy() const { return FBusy; }
    // Cancels, waits for the thread and forgets the done function.
    void Stop();

private:
    void Finished(unsigned generation);

    std::thread FThread;
    std::atomic<bool> FCancel{false};
    std::function<void()> FDone;
    unsigned FGeneration = 0;
    bool FBusy = false;
};

} // namespace qz
