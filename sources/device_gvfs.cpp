#include "sources/device_gvfs.h"

#include "sources/device_dirhandle.h"
#include "sources/device_usb.h"
#include "sources/devicepath.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace qz {

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string PercentDecoded(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size()) {
            const int hi = HexDigit(s[i + 1]), lo = HexDigit(s[i + 2]);
            if (hi >= 0 && lo >= 0) {
                out.push_back(char(hi * 16 + lo));
                i += 2;
                continue;
            }
        }
        out.push_back(s[i]);
    }
    return out;
}

// "[usb:001,005]" -> 1, 5.
bool ParseUsbAddress(const std::string& host, uint32_t& bus, uint32_t& device) {
    unsigned b = 0, d = 0;
    char close = 0;
    if (std::sscanf(host.c_str(), "[usb:%u,%u%c", &b, &d, &close) != 3 || close != ']')
        return false;
    bus = b;
    device = d;
    return true;
}

} // namespace

std::string GvfsRootFolder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && *runtime) return std::string(runtime) + "/gvfs";
    return "/run/user/" + std::to_string(::getuid()) + "/gvfs";
}

bool ParseGvfsMountName(std::string_view name, TGvfsDeviceMount& out) {
    const size_t colon = name.find(':');
    if (colon == std::string_view::npos) return false;
    const std::string_view scheme = name.substr(0, colon);
    if (scheme != "mtp" && scheme != "gphoto2") return false;
    // Key=value pairs separated by ",", the host among them.
    std::string_view rest = name.substr(colon + 1);
    while (!rest.empty()) {
        const size_t comma = rest.find(',');
        const std::string_view pair = rest.substr(0, comma);
        rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
        if (pair.substr(0, 5) != "host=") continue;
        out = TGvfsDeviceMount{};
        out.Scheme = std::string(scheme);
        out.Host = PercentDecoded(pair.substr(5));
        ParseUsbAddress(out.Host, out.UsbBus, out.UsbDevice);
        return !out.Host.empty();
    }
    return false;
}

std::vector<TGvfsDeviceMount> FindGvfsDeviceMounts(const std::string& root) {
    std::vector<TGvfsDeviceMount> mounts;
    TDirHandle dir(::opendir(root.c_str()));
    if (!dir) return mounts;
    while (dirent* e = ::readdir(dir.get())) {
        TGvfsDeviceMount m;
        if (!ParseGvfsMountName(e->d_name, m)) continue;
        m.Path = root + "/" + e->d_name;
        struct stat st {};
        if (::stat(m.Path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) continue;
        mounts.push_back(std::move(m));
    }
    std::sort(mounts.begin(), mounts.end(),
              [](const TGvfsDeviceMount& a, const TGvfsDeviceMount& b) { return a.Path < b.Path; });
    return mounts;
}

const TGvfsDeviceMount* MatchGvfsMount(const TDeviceInfo& device,
                                       const std::vector<TGvfsDeviceMount>& mounts) {
    for (const TGvfsDeviceMount& m : mounts) {
        if (!device.UsbSerial.empty() && m.Host == device.UsbSerial) return &m;
        if (m.UsbBus != 0 && m.UsbBus == device.UsbBus && m.UsbDevice == device.UsbDevice)
            return &m;
    }
    return nullptr;
}

TDeviceInfo GvfsMountDevice(const TGvfsDeviceMount& mount) {
    TDeviceInfo info;
    info.Id = "gvfs:" + mount.Path.substr(mount.Path.rfind('/') + 1);
    info.Protocol = mount.Scheme == "gphoto2" ? "PTP" : "MTP";
    info.DesktopMount = mount.Path;
    info.UsbBus = mount.UsbBus;
    info.UsbDevice = mount.UsbDevice;
    const TUsbDeviceFacts usb = mount.UsbBus ? UsbDeviceFacts(mount.UsbBus, mount.UsbDevice)
                                             : UsbDeviceFactsBySerial(mount.Host);
    info.UsbSerial = mount.UsbBus ? usb.Serial : mount.Host;
    info.Description = MakerAndModel(usb.Manufacturer, usb.Product);
    if (info.Description.empty()) {
        // udev's serial joins maker, model and serial number with "_" for blanks.
        info.Description = mount.Host;
        std::replace(info.Description.begin(), info.Description.end(), '_', ' ');
    }
    info.DisplayName = DeviceDisplayName("", info.Description);
    return info;
}

} // namespace qz
