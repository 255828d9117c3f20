#include "gui/backgroundjob.h"

#include "base/debuglog.h"

#include <QMetaObject>
#include <exception>

namespace qz {

TBackgroundJob::TBackgroundJob(QObject* parent) : QObject(parent) {}

TBackgroundJob::~TBackgroundJob() {
    Stop();
}

bool TBackgroundJob::Start(TWork work, std::function<void()> done) {
    if (FBusy) return false;
    if (FThread.joinable()) FThread.join(); // a stopped job's thread ended already
    FBusy = true;
    FCancel.store(false, std::memory_order_relaxed);
    FDone = std::move(done);
    const unsigned generation = ++FGeneration;
    FThread = std::thread([this, generation, work = std::move(work)] {
        try {
            work(FCancel);
        } catch (const std::exception& e) {
            // The done function sees whatever the work left; the cause goes to the log.
            DebugLog(std::string("Background job failed: ") + e.what());
        } catch (...) {
            DebugLog("Background job failed");
        }
        // Queued: runs on the job's thread once the event loop gets to it; dropped when the
        // job is gone by then.
        QMetaObject::invokeMethod(
            this, [this, generation] { Finished(generation); }, Qt::QueuedConnection);
    });
    return true;
}

void TBackgroundJob::Finished(unsigned generation) {
    if (generation != FGeneration || !FBusy) return; // stopped meanwhile
    if (FThread.joinable()) FThread.join();
    FBusy = false;
    std::function<void()> done = std::move(FDone);
    FDone = nullptr;
    if (done) done();
}

void TBackgroundJob::Stop() {
    FCancel.store(true, std::memory_order_relaxed);
    if (FThread.joinable()) FThread.join();
    ++FGeneration; // a queued end of the stopped job is ignored
    FBusy = false;
    FDone = nullptr;
}

} // namespace qz
