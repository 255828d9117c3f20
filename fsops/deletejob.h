// Deleting the chosen items on a thread of its own: each item to the trash or permanently,
// with progress, a cancel that takes effect before the next entry, and failures that wait for
// the user's answer.
//
// Before an item is touched it is looked up again from its scan's root without following a
// link on the way (LookUpBelow) and checked to still be what the scan saw: a folder or not, a
// link only where the scan saw one. The trash and the removal then act only on that device
// and inode: an item swapped for another meanwhile is left alone and reported. A failure
// (an item that cannot be removed, entered or moved to the trash) is handed to OnFailure on
// the job's thread; the job then waits for Answer (or Cancel). Skip leaves that entry and goes
// on, Skip all also leaves every later failure without asking, Stop ends the job; for an item
// the trash refused, Delete permanently removes it for good instead.
//
// The thread, the progress and the questions are TDeleteJobBase, which the deletion of the
// items of a portable device (TDeviceDeleteJob) shares.
#pragma once

#include "fsops/removetree.h"
#include "fsops/trash.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace qz {

struct TDeleteItem {
    std::string Path;          // absolute
    bool ExpectFolder = false; // what the scan saw
    bool Permanent = false;    // false: to the trash
    uint64_t Entries = 1;      // files and folders in it as the scan counted them (progress)
    std::string Anchor;        // the scan's root: no link below it is followed ("": none)
    bool ScanSawLink = false;  // the scan saw a symbolic link (or reparse point) here
};

struct TDeleteFailure {
    std::string Path;
    int Error = 0;         // errno, 0 for a refusal of our own
    std::string Message;   // the reason
    bool Trashing = false; // the trash failed (Delete permanently is a possible answer)
};

enum class TDeleteChoice : uint8_t { Skip, SkipAll, Stop, DeletePermanently };

// What every delete job shares: its thread, its progress, a cancel that takes effect before the
// next entry, and failures that wait for the user's answer. A job derives from it, does its
// work in Work (on the job's thread) and calls Cancel and Wait in its own destructor, so that
// its thread has ended before its members go.
class TDeleteJobBase {
public:
    TDeleteJobBase() = default;
    virtual ~TDeleteJobBase(); // cancels and waits for the thread
    TDeleteJobBase(const TDeleteJobBase&) = delete;
    TDeleteJobBase& operator=(const TDeleteJobBase&) = delete;

    // Called on the job's thread: a failure waits for Answer; the end of the job.
    std::function<void(const TDeleteFailure&)> OnFailure;
    std::function<void()> OnDone;

    void Start();
    // Stops before the next entry (a waiting failure is answered with Stop).
    void Cancel();
    void Answer(TDeleteChoice choice);
    bool Finished() const { return FFinished.load(std::memory_order_acquire); }
    void Wait(); // joins the thread

    // ---- progress (any thread)
    uint64_t EntriesTotal() const { return FEntriesTotal; }
    virtual uint64_t EntriesDone() const;
    size_t ItemsDone() const { return FItemsDone.load(std::memory_order_relaxed); }
    virtual size_t ItemCount() const = 0;

    // ---- results (once Finished)
    std::vector<size_t> Gone;            // items no longer there
    std::vector<TDeleteFailure> Skipped; // failures that were skipped
    bool WasCancelled() const { return FProgress.Cancel.load(); }
    bool WasStopped() const { return FStopped; }

protected:
    // The job's work, on its thread.
    virtual void Work() = 0;
    // Reports f and waits for the answer (SkipAll remembered).
    TDeleteChoice Ask(const TDeleteFailure& f);

    TRemoveProgress FProgress; // Cancel, and the entries removed so far
    std::atomic<size_t> FItemsDone{0};
    uint64_t FEntriesTotal = 0; // set before Start

private:
    void Run();

    bool FSkipAll = false;
    bool FStopped = false;
    std::mutex FLock;
    std::condition_variable FAnswered;
    bool FHaveAnswer = false;
    TDeleteChoice FAnswer = TDeleteChoice::Skip;
    std::atomic<bool> FFinished{false};
    std::thread FThread;
};

// Deleting files and folders of this system.
class TDeleteJob final : public TDeleteJobBase {
public:
    TDeleteJob(std::vector<TDeleteItem> items, TTrash trash);
    ~TDeleteJob() override;

    uint64_t EntriesDone() const override;
    size_t ItemCount() const override { return FItems.size(); }
    const std::vector<TDeleteItem>& Items() const { return FItems; }

private:
    void Work() override;
    // false: stop
    bool DeleteOne(const TDeleteItem& item, bool permanent, const TItemIdentity& id);

    std::vector<TDeleteItem> FItems;
    TTrash FTrash;
    std::atomic<uint64_t> FTrashedEntries{0};
};

} // namespace qz
