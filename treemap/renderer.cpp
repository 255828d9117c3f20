#include "treemap/renderer.h"

#include "base/debuglog.h"
#include "base/text.h"

#include <chrono>
#include <utility>

namespace qz {

TTreemapRenderer::TTreemapRenderer(TDeliver deliver)
    : FDeliver(std::move(deliver)), FThread([this] { Run(); }) {}

TTreemapRenderer::~TTreemapRenderer() {
    {
        std::lock_guard<std::mutex> g(FLock);
        FQuit = true;
        FPending.reset();
        if (FRunningCancel) FRunningCancel->store(true);
    }
    FWake.notify_all();
    FThread.join();
}

uint64_t TTreemapRenderer::Request(TJob job) {
    uint64_t id;
    {
        std::lock_guard<std::mutex> g(FLock);
        id = ++FNextId;
        FPending = std::move(job);
        FPendingId = id;
        if (FRunningCancel) FRunningCancel->store(true);
    }
    FWake.notify_all();
    return id;
}

void TTreemapRenderer::Stop() {
    std::unique_lock<std::mutex> g(FLock);
    FPending.reset();
    FOrdersStale = true;
    if (FRunningCancel) FRunningCancel->store(true);
    FIdle.wait(g, [this] { return !FRunningCancel; });
}

bool TTreemapRenderer::Busy() const {
    std::lock_guard<std::mutex> g(FLock);
    return FPending.has_value() || FRunningCancel != nullptr;
}

void TTreemapRenderer::Run() {
    std::unique_lock<std::mutex> g(FLock);
    while (true) {
        FWake.wait(g, [this] { return FQuit || FPending.has_value(); });
        if (FQuit) break;
        TJob job = std::move(*FPending);
        FPending.reset();
        const uint64_t id = FPendingId;
        auto cancel = std::make_shared<std::atomic<bool>>(false);
        FRunningCancel = cancel;
        const bool stale = std::exchange(FOrdersStale, false);
        g.unlock();
        if (stale) FOrders.Clear();

        const auto start = std::chrono::steady_clock::now();
        TDone done;
        done.Id = id;
        done.Request = job.Request;
        try {
            // The drawing's own copy: the colour lookup keeps a cache, and a rebuild replaces
            // the statistics.
            auto colors = std::make_shared<TExtColors>(job.Colors ? *job.Colors : TExtColors());
            // Image files get a picture of their own (their size may be far from the
            // screen's, not worth keeping); screen drawings reuse the spare one.
            std::unique_ptr<TTreemapPicture> picture;
            if (job.FileName.empty()) {
                std::lock_guard<std::mutex> s(FSpare->Lock);
                picture = std::move(FSpare->Picture);
            }
            if (!picture) picture = std::make_unique<TTreemapPicture>();
            done.Result =
                PaintTreemap(job.Settings, job.Request, *colors, *picture, cancel.get(), &FOrders);
            if (done.Result.Outcome == TDrawOutcome::Drawn && !job.FileName.empty()) {
                done.Result = SaveTreemapPicture(job.FileName, picture->Image);
            } else if (done.Result.Outcome == TDrawOutcome::Drawn) {
                done.Picture = std::shared_ptr<const TTreemapPicture>(
                    picture.release(), [spare = FSpare](const TTreemapPicture* p) {
                        std::unique_ptr<TTreemapPicture> owned(const_cast<TTreemapPicture*>(p));
                        std::lock_guard<std::mutex> s(spare->Lock);
                        if (!spare->Picture) spare->Picture = std::move(owned);
                    }); // a second spare is freed after the lock is released
            } else if (job.FileName.empty()) {
                std::lock_guard<std::mutex> s(FSpare->Lock);
                if (!FSpare->Picture) FSpare->Picture = std::move(picture);
            }
            done.Colors = std::move(colors);
        } catch (const std::exception& e) { // memory for a large layout, mostly
            done.Result.Outcome = TDrawOutcome::Failed;
            done.Result.Error = std::string(tr("Error")) + ": " + e.what();
            DebugLog("Treemap drawing failed: " + done.Result.Error, 1);
        }
        done.Seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (!cancel->load() && done.Result.Outcome != TDrawOutcome::Cancelled && FDeliver)
            FDeliver(std::move(done));

        g.lock();
        FRunningCancel.reset();
        FIdle.notify_all();
    }
}

} // namespace qz
