// What the system knows about a USB device apart from its protocol: the names in its
// descriptors and its udev serial (libudev, from sysfs and the udev database), its device node,
// and which process holds that node open.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace qz {

struct TUsbDeviceFacts {
    bool Found = false;
    std::string Manufacturer; // descriptor strings ("Google", "Pixel 7"), possibly empty
    std::string Product;
    std::string Serial; // udev's ID_SERIAL ("Google_Pixel_7_2A111FDH2004PJ"); empty without udev
};

// The USB device at bus / device number; Found false when there is none.
TUsbDeviceFacts UsbDeviceFacts(uint32_t bus, uint32_t device);
// The USB device whose udev ID_SERIAL is serial.
TUsbDeviceFacts UsbDeviceFactsBySerial(const std::string& serial);

// "/dev/bus/usb/001/005"
std::string UsbDeviceNode(uint32_t bus, uint32_t device);

struct TProcessHolder {
    int Pid = 0;
    std::string Name; // the command name ("gvfsd-mtp", "kiod6")
};
// A process other than this one that has path open, found through procRoot ("/proc"); nothing
// when none can be seen (another user's processes are hidden from us).
std::optional<TProcessHolder> ProcessHolding(const std::string& path,
                                             const std::string& procRoot = "/proc");

// "Maker Model" from a maker and a model name, the maker left out when the model already
// begins with it.
std::string MakerAndModel(const std::string& maker, const std::string& model);

} // namespace qz
