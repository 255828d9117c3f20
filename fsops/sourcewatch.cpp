#include "fsops/sourcewatch.h"

#include "base/debuglog.h"
#include "base/filehandle.h"
#include "base/text.h"
#include "fsops/disksize.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <libudev.h>
#include <memory>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace qz {

namespace {

using TClock = std::chrono::steady_clock;

struct TUdevMonitor {
    std::unique_ptr<udev, decltype(&udev_unref)> Udev{nullptr, &udev_unref};
    std::unique_ptr<udev_monitor, decltype(&udev_monitor_unref)> Monitor{nullptr,
                                                                         &udev_monitor_unref};
    int Fd() const { return Monitor ? udev_monitor_get_fd(Monitor.get()) : -1; }

    // Block devices and whole USB devices. The udev daemon's events come after its rules
    // have run (device nodes and links exist); without a daemon the kernel's own are taken.
    bool Open() {
        Udev.reset(udev_new());
        if (!Udev) return false;
        const char* source = ::access("/run/udev/control", F_OK) == 0 ? "udev" : "kernel";
        Monitor.reset(udev_monitor_new_from_netlink(Udev.get(), source));
        if (!Monitor) return false;
        udev_monitor_filter_add_match_subsystem_devtype(Monitor.get(), "block", nullptr);
        udev_monitor_filter_add_match_subsystem_devtype(Monitor.get(), "usb", "usb_device");
        if (udev_monitor_enable_receiving(Monitor.get()) < 0) {
            Monitor.reset();
            return false;
        }
        return true;
    }
    // Takes every waiting event; true when there was one.
    bool Drain() {
        bool any = false;
        while (udev_device* d = udev_monitor_receive_device(Monitor.get())) {
            udev_device_unref(d);
            any = true;
        }
        return any;
    }
};

} // namespace

TSourceWatcher::TSourceWatcher(TListener listener) : FListener(std::move(listener)) {
    FWakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

TSourceWatcher::~TSourceWatcher() {
    FStop.store(true);
    Refresh();
    if (FThread.joinable()) FThread.join();
    if (FWakeFd >= 0) ::close(FWakeFd);
}

void TSourceWatcher::AddProvider(TEntryProvider provider) {
    FProviders.push_back(std::move(provider));
}

void TSourceWatcher::Start() {
    if (FThread.joinable()) return;
    FThread = std::thread([this] { Run(); });
}

void TSourceWatcher::Refresh() {
    if (FWakeFd < 0) return;
    const uint64_t one = 1;
    // A full counter still wakes the thread; nothing more to do then.
    [[maybe_unused]] ssize_t n = ::write(FWakeFd, &one, sizeof one);
}

TSourceSnapshot TSourceWatcher::Rebuild() {
    TSourceSnapshot s;
    s.Mounts = ReadMountTable();
    s.Entries = GetDriveEntries(s.Mounts);
    for (TSourceEntry& e : s.Entries) {
        TDiskSizeInfo space;
        if (StatvfsSizes(e.Path, space)) {
            space.itempath = e.Space.itempath;
            e.Space = space;
        }
    }
    for (const TEntryProvider& p : FProviders) {
        std::vector<TSourceEntry> more = p();
        s.Entries.insert(s.Entries.end(), std::make_move_iterator(more.begin()),
                         std::make_move_iterator(more.end()));
    }
    s.Serial = ++FSerial;
    return s;
}

void TSourceWatcher::Run() {
    TFileHandle mountinfo(::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC));
    TUdevMonitor devices;
    const bool watchingDevices = devices.Open();
    FWatchingMounts.store(mountinfo.valid());
    FWatchingDevices.store(watchingDevices);
    if (!mountinfo.valid()) DebugLog("Source watcher: the mount table cannot be watched");
    if (!watchingDevices) DebugLog("Source watcher: device events cannot be received");

    bool pending = true; // the first rebuild comes at once
    TClock::time_point due = TClock::now(), latest = due;
    while (!FStop.load()) {
        int timeout = -1;
        if (pending) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(due - TClock::now());
            timeout = int(std::max<int64_t>(0, left.count()));
        }
        pollfd fds[3] = {{FWakeFd, POLLIN, 0},
                         {mountinfo.valid() ? mountinfo.get() : -1, POLLPRI, 0},
                         {devices.Fd(), POLLIN, 0}};
        const int n = ::poll(fds, 3, timeout);
        if (n < 0 && errno != EINTR) {
            DebugLog("Source watcher: poll failed");
            break;
        }
        if (FStop.load()) break;
        const TClock::time_point now = TClock::now();
        // An event postpones the rebuild until things settle, but never by much.
        auto settle = [&] {
            if (!pending) latest = now + std::chrono::milliseconds(kMaxDelayMilliseconds);
            pending = true;
            due = std::min(now + std::chrono::milliseconds(kSettleMilliseconds), latest);
        };
        if (n > 0) {
            if (fds[0].revents & POLLIN) {
                uint64_t count;
                [[maybe_unused]] ssize_t r = ::read(FWakeFd, &count, sizeof count);
                pending = true;
                due = latest = now;
            }
            if (fds[1].revents & (POLLPRI | POLLERR)) settle();
            if ((fds[2].revents & POLLIN) && devices.Drain()) settle();
        }
        if (pending && TClock::now() >= due) {
            pending = false;
            TSourceSnapshot snapshot = Rebuild();
            if (FListener && !FStop.load()) FListener(std::move(snapshot));
        }
    }
}

} // namespace qz
