// Watches what the source list is made from, on a thread of its own, and rebuilds the list's
// entries whenever it changes.
//
// Two kinds of change are watched: the mount table (/proc/self/mountinfo, which the kernel
// marks with POLLPRI when a file system is mounted or unmounted) and the kernel's events for
// block devices and USB devices coming and going (libudev; from the udev daemon when one runs,
// else straight from the kernel). Events that come close together make one rebuild.
//
// A rebuild reads the mount table, classifies the mounts (which reads the first sector of
// their devices), measures their space, and then asks every entry provider for its entries
// (portable devices, for example), all on the watcher's thread; the listener receives the
// result there too. A provider whose own devices change calls Refresh.
#pragma once

#include "fsops/sourcelist.h"

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace qz {

// One rebuild's result.
struct TSourceSnapshot {
    std::vector<TMountInfo> Mounts;
    // The drives in mount-point order (with their space figures), then the providers'
    // entries in the order the providers were added.
    std::vector<TSourceEntry> Entries;
    uint64_t Serial = 0; // 1 for the first rebuild, then counting up
};

class TSourceWatcher {
public:
    // Called on the watcher's thread with each rebuild.
    using TListener = std::function<void(TSourceSnapshot)>;
    // Asked on the watcher's thread at each rebuild; returns entries to list after the drives.
    using TEntryProvider = std::function<std::vector<TSourceEntry>()>;

    explicit TSourceWatcher(TListener listener);
    ~TSourceWatcher(); // stops the thread and waits for it
    TSourceWatcher(const TSourceWatcher&) = delete;
    TSourceWatcher& operator=(const TSourceWatcher&) = delete;

    // Before Start: one more source of entries.
    void AddProvider(TEntryProvider provider);
    // Starts the thread, which rebuilds at once and then after every change.
    void Start();
    // Any thread: rebuild now (without waiting for events to settle).
    void Refresh();
    // Whether the mount table and the device events could be watched (after the first
    // rebuild; false also before Start). Without them the list changes only on Refresh.
    bool WatchesMounts() const { return FWatchingMounts.load(); }
    bool WatchesDevices() const { return FWatchingDevices.load(); }

    // Quiet time after an event before the rebuild, and the longest delay while events go on.
    static constexpr int kSettleMilliseconds = 150;
    static constexpr int kMaxDelayMilliseconds = 1000;

private:
    void Run();
    TSourceSnapshot Rebuild();

    TListener FListener;
    std::vector<TEntryProvider> FProviders;
    std::thread FThread;
    int FWakeFd = -1; // eventfd: stop or refresh
    std::atomic<bool> FStop{false};
    std::atomic<bool> FWatchingMounts{false}, FWatchingDevices{false};
    uint64_t FSerial = 0;
};

} // namespace qz
