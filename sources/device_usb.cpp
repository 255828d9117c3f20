#include "sources/device_usb.h"

#include "sources/device_dirhandle.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <libudev.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace qz {

namespace {

using TUdev = std::unique_ptr<udev, decltype(&udev_unref)>;
using TUdevEnumerate = std::unique_ptr<udev_enumerate, decltype(&udev_enumerate_unref)>;
using TUdevDevice = std::unique_ptr<udev_device, decltype(&udev_device_unref)>;

std::string Text(const char* s) {
    return s ? std::string(s) : std::string();
}

TUsbDeviceFacts FactsOf(udev_device* d) {
    TUsbDeviceFacts f;
    f.Found = true;
    f.Manufacturer = Text(udev_device_get_sysattr_value(d, "manufacturer"));
    f.Product = Text(udev_device_get_sysattr_value(d, "product"));
    f.Serial = Text(udev_device_get_property_value(d, "ID_SERIAL"));
    return f;
}

// Calls match on every USB device (not its interfaces) until it returns true.
template <class Match> TUsbDeviceFacts FindUsbDevice(Match&& match) {
    TUdev u(udev_new(), &udev_unref);
    if (!u) return {};
    TUdevEnumerate e(udev_enumerate_new(u.get()), &udev_enumerate_unref);
    if (!e) return {};
    udev_enumerate_add_match_subsystem(e.get(), "usb");
    udev_enumerate_add_match_property(e.get(), "DEVTYPE", "usb_device");
    if (udev_enumerate_scan_devices(e.get()) < 0) return {};
    for (udev_list_entry* l = udev_enumerate_get_list_entry(e.get()); l;
         l = udev_list_entry_get_next(l)) {
        TUdevDevice d(udev_device_new_from_syspath(u.get(), udev_list_entry_get_name(l)),
                      &udev_device_unref);
        if (d && match(d.get())) return FactsOf(d.get());
    }
    return {};
}

} // namespace

TUsbDeviceFacts UsbDeviceFacts(uint32_t bus, uint32_t device) {
    return FindUsbDevice([&](udev_device* d) {
        const char* b = udev_device_get_sysattr_value(d, "busnum");
        const char* n = udev_device_get_sysattr_value(d, "devnum");
        return b && n && std::strtoul(b, nullptr, 10) == bus &&
               std::strtoul(n, nullptr, 10) == device;
    });
}

TUsbDeviceFacts UsbDeviceFactsBySerial(const std::string& serial) {
    if (serial.empty()) return {};
    return FindUsbDevice([&](udev_device* d) {
        const char* s = udev_device_get_property_value(d, "ID_SERIAL");
        return s && serial == s;
    });
}

std::string UsbDeviceNode(uint32_t bus, uint32_t device) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "/dev/bus/usb/%03u/%03u", bus, device);
    return buf;
}

std::optional<TProcessHolder> ProcessHolding(const std::string& path, const std::string& procRoot) {
    struct stat target {};
    const bool haveTarget = ::stat(path.c_str(), &target) == 0;
    TDirHandle proc(::opendir(procRoot.c_str()));
    if (!proc) return std::nullopt;
    const int self = int(::getpid());
    while (dirent* e = ::readdir(proc.get())) {
        char* end = nullptr;
        const long pid = std::strtol(e->d_name, &end, 10);
        if (pid <= 0 || *end || pid == self) continue;
        const std::string fdDir = procRoot + "/" + e->d_name + "/fd";
        TDirHandle fds(::opendir(fdDir.c_str()));
        if (!fds) continue;
        bool holds = false;
        while (dirent* f = ::readdir(fds.get())) {
            if (f->d_name[0] == '.') continue;
            const std::string link = fdDir + "/" + f->d_name;
            char buf[4096];
            const ssize_t n = ::readlink(link.c_str(), buf, sizeof buf);
            if (n > 0 && std::string(buf, size_t(n)) == path) {
                holds = true;
            } else if (haveTarget) {
                // The same node under another name (a link to it).
                struct stat st {};
                holds = ::stat(link.c_str(), &st) == 0 && st.st_rdev == target.st_rdev &&
                        st.st_ino == target.st_ino && st.st_dev == target.st_dev;
            }
            if (holds) break;
        }
        if (!holds) continue;
        TProcessHolder h;
        h.Pid = int(pid);
        std::ifstream comm(procRoot + "/" + e->d_name + "/comm");
        std::getline(comm, h.Name);
        return h;
    }
    return std::nullopt;
}

std::string MakerAndModel(const std::string& maker, const std::string& model) {
    if (maker.empty()) return model;
    if (model.empty()) return maker;
    if (model.size() >= maker.size()) {
        bool same = true;
        for (size_t i = 0; i < maker.size() && same; ++i)
            same = std::tolower(static_cast<unsigned char>(model[i])) ==
                   std::tolower(static_cast<unsigned char>(maker[i]));
        if (same) return model;
    }
    return maker + " " + model;
}

} // namespace qz
