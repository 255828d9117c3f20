// Treemap pictures drawn on a thread of their own, so that the window never waits for one.
//
// A request carries everything a drawing reads besides the records (the settings, the
// drawing's own choices, a snapshot of the colours). Only the newest request counts: a request
// not yet started is replaced by a newer one, and a drawing still running for an older one is
// cancelled (it stops within a few rows of shading or a few nodes of the walk). Finished
// drawings are handed to the deliver function on the drawing thread; the window posts them
// to its own thread. The records are only read: whoever changes them (a new scan, filters,
// marking deletions) calls Stop first.
#pragma once

#include "treemap/treemap.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace qz {

class TTreemapRenderer {
public:
    struct TJob {
        TTreemapSettings Settings;
        TTreemapRequest Request;
        std::shared_ptr<const TExtColors> Colors;
        std::u16string FileName; // empty: a picture for the screen; else written as a PNG file
    };
    struct TDone {
        uint64_t Id = 0; // the number Request returned
        TDrawResult Result;
        TTreemapRequest Request;
        // The picture (a screen drawing that was drawn; nil otherwise).
        std::shared_ptr<const TTreemapPicture> Picture;
        // The colours the drawing used: with rebuilt statistics when the request asked for it.
        std::shared_ptr<const TExtColors> Colors;
        double Seconds = 0; // the drawing's time on its thread
    };
    using TDeliver = std::function<void(TDone)>;

    explicit TTreemapRenderer(TDeliver deliver);
    ~TTreemapRenderer(); // stops and joins
    TTreemapRenderer(const TTreemapRenderer&) = delete;
    TTreemapRenderer& operator=(const TTreemapRenderer&) = delete;

    // Queues job as the newest request and returns its number; an older request not started
    // is dropped, a running one is cancelled. A cancelled drawing delivers nothing.
    uint64_t Request(TJob job);
    // Cancels the queued and the running request and waits until the thread is idle. The
    // records may change after it: the folders' orders kept for the next drawing are dropped.
    void Stop();
    // True while a request is queued or drawing.
    bool Busy() const;

private:
    void Run();

    TDeliver FDeliver;
    mutable std::mutex FLock;
    std::condition_variable FWake, FIdle;
    std::optional<TJob> FPending;
    uint64_t FPendingId = 0, FNextId = 0;
    std::shared_ptr<std::atomic<bool>> FRunningCancel; // the running drawing's, nil when idle
    bool FQuit = false;
    bool FOrdersStale = false; // set by Stop: FOrders is emptied before the next drawing
    // The folders' sorted children, kept from one drawing to the next (drawing thread only).
    TChildOrders FOrders;
    // One picture kept for the next screen drawing: a picture the window lets go comes back
    // here, so the next drawing reuses its bitmap and layout storage instead of allocating
    // and touching them afresh. Shared with the pictures' deleters, which may outlive us.
    struct TSpare {
        std::mutex Lock;
        std::unique_ptr<TTreemapPicture> Picture;
    };
    std::shared_ptr<TSpare> FSpare = std::make_shared<TSpare>();
    std::thread FThread;
};

} // namespace qz
