#include "sources/device_usbwatch.h"

#include <cstring>
#include <fcntl.h>
#include <libudev.h>

namespace qz {

struct TUsbWatcher::TState {
    udev* Udev = nullptr;
    udev_monitor* Monitor = nullptr;
    ~TState() {
        if (Monitor) udev_monitor_unref(Monitor);
        if (Udev) udev_unref(Udev);
    }
};

TUsbWatcher::TUsbWatcher() : F(std::make_unique<TState>()) {
    F->Udev = udev_new();
    if (!F->Udev) {
        FError = "udev is not available";
        return;
    }
    // Events as udev passes them on once its rules have run (the device node exists then).
    F->Monitor = udev_monitor_new_from_netlink(F->Udev, "udev");
    if (!F->Monitor) {
        FError = "the udev event socket cannot be opened";
        return;
    }
    if (udev_monitor_filter_add_match_subsystem_devtype(F->Monitor, "usb", "usb_device") < 0 ||
        udev_monitor_enable_receiving(F->Monitor) < 0) {
        FError = "USB events cannot be received";
        return;
    }
    const int fd = udev_monitor_get_fd(F->Monitor);
    if (fd < 0) {
        FError = "USB events cannot be received";
        return;
    }
    // Reading must never wait.
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0) {
        FError = std::strerror(errno);
        return;
    }
    FFd = fd;
}

TUsbWatcher::~TUsbWatcher() = default;

bool TUsbWatcher::Read(TUsbEvent& out) {
    if (FFd < 0) return false;
    for (;;) {
        udev_device* d = udev_monitor_receive_device(F->Monitor);
        if (!d) return false;
        const char* action = udev_device_get_action(d);
        const char* devtype = udev_device_get_devtype(d);
        const char* path = udev_device_get_syspath(d);
        const bool whole = devtype && std::strcmp(devtype, "usb_device") == 0;
        bool known = false;
        if (whole && action && std::strcmp(action, "add") == 0) {
            out.Kind = TUsbEventKind::Arrival;
            known = true;
        } else if (whole && action && std::strcmp(action, "remove") == 0) {
            out.Kind = TUsbEventKind::Removal;
            known = true;
        }
        if (known) out.SysPath = path ? path : "";
        udev_device_unref(d);
        if (known) return true;
    }
}

} // namespace qz
