// Watching the folders of shown scans for removals, with inotify.
//
// One inotify instance and one thread watch every folder of the given scans. The thread adds
// the watches itself (shallow folders first, so that a watch limit leaves the deep ones
// unwatched), reads the events and keeps the removals for the window, which takes them when it
// likes (TakeChanges). A folder created after the scan is watched too. Only removals are kept:
// an item deleted, or moved away to a place outside the watched folders (a move between two
// watched folders is a rename and leaves the scan as it is); the scan's own root reports its
// own deletion. Other changes (new, modified items) cannot change what a scan shows and are
// not kept.
//
// Records are only read by the thread (names and parents, which never change while a scan is
// shown); the window must stop the watcher before it frees the scans.
//
// When the system's watch limit (fs.inotify.max_user_watches) is reached, the folders watched
// so far stay watched and LimitReached says so; when the kernel's event queue overflowed,
// some removals were lost and the next batch says so.
#pragma once

#include "base/filehandle.h"
#include "engine/scan.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

struct inotify_event;

namespace qz {

// One removal: the name that went from Folder, or (Name empty) Folder itself (a scan root).
// A nil Folder is no removal (a move that turned out to be a rename).
struct TRemoval {
    PMFT_RECORD Folder = nullptr;
    uint32_t NameOffset = 0, NameLength = 0; // bytes in TChangeBatch::Names
};

struct TChangeBatch {
    std::vector<TRemoval> Removals; // in the order they happened
    std::string Names;
    bool Overflowed = false; // the kernel dropped events: removals may be missing
    std::string_view NameOf(const TRemoval& r) const {
        return std::string_view(Names).substr(r.NameOffset, r.NameLength);
    }
    void Clear() {
        Removals.clear();
        Names.clear();
        Overflowed = false;
    }
};

class TChangeWatcher {
public:
    // The scans to watch (each from its root record down; the root's name is its absolute
    // path). linkedNames: the scans' files that share their data with a counted name
    // (DoNotCountFlag); after the setup their names are grouped by file (HardLinkGroups).
    explicit TChangeWatcher(std::vector<TNTFS_FILES*> scans,
                            std::vector<PMFT_RECORD> linkedNames = {});
    ~TChangeWatcher(); // Stop
    TChangeWatcher(const TChangeWatcher&) = delete;
    TChangeWatcher& operator=(const TChangeWatcher&) = delete;

    // Called on the watcher's thread: removals are waiting (once until they are taken); the
    // watches are set up (WatchCount and the rest are final then, apart from new folders).
    std::function<void()> OnChanges;
    std::function<void()> OnSetupDone;

    // Starts the thread; false (with the reason) when inotify is not available.
    bool Start(std::string* error = nullptr);
    // Ends the thread; the scans may be freed afterwards.
    void Stop();

    // Moves the removals gathered so far into out (replacing its content).
    void TakeChanges(TChangeBatch& out);
    // When the last removal was seen (steady clock); zero when none was.
    std::chrono::steady_clock::time_point LastChange() const;

    // ---- how the setup went (any thread)
    bool SetupDone() const { return FSetupDone.load(std::memory_order_acquire); }
    size_t FolderCount() const { return FFolderCount.load(std::memory_order_relaxed); }
    size_t WatchCount() const { return FWatchCount.load(std::memory_order_relaxed); }
    bool LimitReached() const { return FLimitReached.load(std::memory_order_relaxed); }
    // Once SetupDone: every name of each hard-linked file that has a name in linkedNames.
    const std::vector<std::vector<PMFT_RECORD>>& HardLinkGroups() const { return FLinkGroups; }

private:
    struct TWatched {
        PMFT_RECORD Rec = nullptr; // nil for a folder made after the scan
        uint32_t NewPath = ~0u;    // index into FNewPaths for such a folder
        bool Root = false;
    };
    void Run();
    void Setup();
    void GroupHardLinks();
    bool AddWatch(const std::string& path, PMFT_RECORD rec, uint32_t newPath, bool root);
    std::string PathOf(const TWatched& w);
    // Reads every waiting event; true when removals were added.
    bool Drain();
    void Handle(const ::inotify_event& ev, bool& added);

    std::vector<TNTFS_FILES*> FScans;
    std::vector<PMFT_RECORD> FLinkedNames;
    std::vector<std::vector<PMFT_RECORD>> FLinkGroups;
    TFileHandle FInotify, FWake;
    std::thread FThread;
    std::atomic<bool> FStop{false};
    std::atomic<bool> FSetupDone{false};
    std::atomic<size_t> FFolderCount{0}, FWatchCount{0};
    std::atomic<bool> FLimitReached{false};
    // Thread-side state.
    std::vector<TWatched> FWatched;
    std::vector<int32_t> FByWd; // watch descriptor -> index into FWatched (-1: none)
    std::vector<std::string> FNewPaths;
    std::vector<char> FBuf;
    std::u16string FPath16;
    // Shared with the window's thread.
    std::mutex FLock;
    TChangeBatch FPending;
    // Moves away not yet paired: cookie -> index in FPending.Removals. A move that arrives in
    // a watched folder clears the removal's Folder (it was a rename).
    std::unordered_map<uint32_t, size_t> FMovedAway;
    bool FNotified = false;
    std::atomic<int64_t> FLastChange{0};
};

} // namespace qz
