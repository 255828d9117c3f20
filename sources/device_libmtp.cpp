// The only file that includes libmtp.
#include "sources/device_libmtp.h"

#include "base/debuglog.h"
#include "sources/device_usb.h"
#include "sources/devicepath.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <libmtp.h>
#include <map>
#include <mutex>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>

namespace qz {

namespace {

void InitLibrary() {
    static std::once_flag once;
    std::call_once(once, [] { LIBMTP_Init(); });
}

// A string libmtp allocated, taken over and freed.
std::string TakeString(char* s) {
    std::string r = s ? s : "";
    std::free(s);
    return r;
}

std::string Hex(uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%08X", v);
    return buf;
}

std::string DeviceId(uint32_t bus, uint32_t device) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "usb:%03u,%03u", bus, device);
    return buf;
}

// Why a device cannot be opened, as far as can be told from outside libmtp.
std::string OpenFailure(const std::string& name, uint32_t bus, uint32_t device) {
    const std::string node = UsbDeviceNode(bus, device);
    const std::string what = "Cannot open the device " + name;
    struct stat st {};
    if (::stat(node.c_str(), &st) != 0) return what + ": it is no longer connected";
    if (::access(node.c_str(), R_OK | W_OK) != 0)
        return what + ": this user may not use it (" + node + " " + std::strerror(errno) +
               "); a udev rule for MTP devices, as the libmtp package ships, gives access";
    if (auto h = ProcessHolding(node))
        return what + ": it is in use by " + h->Name + " (process " + std::to_string(h->Pid) +
               "). Close that program or unmount the device in the file manager, then scan "
               "again";
    return what + ": it is in use by another program, or it is locked (unlock a phone and "
                  "allow file transfer on it), then scan again";
}

class TMtpDevice final : public TPortableDevice {
public:
    TMtpDevice(LIBMTP_mtpdevice_t* device, uint32_t bus, uint32_t number)
        : FDevice(device), FBus(bus), FNumber(number) {}
    ~TMtpDevice() override { LIBMTP_Release_Device(FDevice); }
    TMtpDevice(const TMtpDevice&) = delete;
    TMtpDevice& operator=(const TMtpDevice&) = delete;

    bool ListChildren(const TDeviceObjectId& parent, std::vector<TDeviceObject>& out,
                      std::string& error) override {
        out.clear();
        LIBMTP_Clear_Errorstack(FDevice);
        if (parent.IsDeviceRoot()) {
            if (LIBMTP_Get_Storage(FDevice, LIBMTP_STORAGE_SORTBY_NOTSORTED) != 0) {
                error = TakeError("the storages cannot be read");
                return false;
            }
            for (LIBMTP_devicestorage_t* s = FDevice->storage; s; s = s->next) {
                TDeviceObject o;
                o.Id = {s->id, TDeviceObjectId::kStorageRoot};
                o.Kind = TDeviceObjectKind::FunctionalObject;
                std::string name = s->StorageDescription ? s->StorageDescription : "";
                if (name.empty() && s->VolumeIdentifier) name = s->VolumeIdentifier;
                if (name.empty()) name = "Storage " + Hex(s->id);
                o.Name = std::move(name);
                out.push_back(std::move(o));
            }
            return true;
        }
        const uint32_t folder = parent.IsStorage() ? LIBMTP_FILES_AND_FOLDERS_ROOT : parent.Handle;
        LIBMTP_file_t* files = LIBMTP_Get_Files_And_Folders(FDevice, parent.Storage, folder);
        if (!files && LIBMTP_Get_Errorstack(FDevice)) {
            error = TakeError("the folder cannot be listed");
            return false;
        }
        while (files) {
            LIBMTP_file_t* f = files;
            files = f->next;
            TDeviceObject o;
            o.Id = {f->storage_id, f->item_id};
            o.Kind = f->filetype == LIBMTP_FILETYPE_FOLDER ? TDeviceObjectKind::Folder
                                                           : TDeviceObjectKind::File;
            if (f->filename) o.OriginalFileName = std::string(f->filename);
            // A size that did not fit the 32 bits of the object's basic information and
            // could not be read in full is reported as all ones: unknown.
            if (f->filesize != 0xFFFFFFFFull && f->filesize != ~0ull) o.Size = f->filesize;
            if (f->modificationdate > 0) o.Modified = int64_t(f->modificationdate);
            out.push_back(std::move(o));
            LIBMTP_destroy_file_t(f);
        }
        return true;
    }

    std::optional<TStorageSpace> StorageSpace(uint32_t storage) override {
        for (LIBMTP_devicestorage_t* s = FDevice->storage; s; s = s->next)
            if (s->id == storage) return TStorageSpace{s->MaxCapacity, s->FreeSpaceInBytes};
        return std::nullopt;
    }

    bool DeleteObject(const TDeviceObjectId& object, std::string& error) override {
        if (object.IsDeviceRoot() || object.IsStorage()) {
            error = "a storage cannot be deleted";
            return false;
        }
        LIBMTP_Clear_Errorstack(FDevice);
        if (LIBMTP_Delete_Object(FDevice, object.Handle) != 0) {
            error = TakeError("the device refused to delete it");
            return false;
        }
        return true;
    }

    bool StillConnected() override {
        struct stat st {};
        return ::stat(UsbDeviceNode(FBus, FNumber).c_str(), &st) == 0;
    }

private:
    // The last message of libmtp's error stack (or fallback), and the stack emptied.
    std::string TakeError(const char* fallback) {
        std::string text;
        for (LIBMTP_error_t* e = LIBMTP_Get_Errorstack(FDevice); e; e = e->next)
            if (e->error_text && *e->error_text) text = e->error_text;
        LIBMTP_Clear_Errorstack(FDevice);
        while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
        return text.empty() ? std::string(fallback) : text;
    }

    LIBMTP_mtpdevice_t* FDevice;
    uint32_t FBus, FNumber;
};

// A plugged device as detected, with the names it is listed under.
struct TKnownDevice {
    LIBMTP_raw_device_t Raw{};
    TDeviceInfo Info;
};
using TDeviceKey = std::tuple<uint32_t, uint32_t, uint16_t, uint16_t>;

TDeviceKey KeyOf(const LIBMTP_raw_device_t& r) {
    return {r.bus_location, r.devnum, r.device_entry.vendor_id, r.device_entry.product_id};
}

class TMtpDeviceManager final : public TDeviceManager {
public:
    bool GetDevices(std::vector<TDeviceInfo>& out, std::string& error) override {
        out.clear();
        InitLibrary();
        LIBMTP_raw_device_t* raw = nullptr;
        int count = 0;
        const LIBMTP_error_number_t err = LIBMTP_Detect_Raw_Devices(&raw, &count);
        std::unique_ptr<LIBMTP_raw_device_t, decltype(&std::free)> owned(raw, &std::free);
        std::lock_guard<std::mutex> g(FLock);
        const std::string failure = MtpDetectionFailure(err);
        if (!failure.empty()) {
            error = failure;
            return false;
        }
        if (count <= 0 || !raw) {
            FKnown.clear();
            return true;
        }
        std::map<TDeviceKey, TKnownDevice> now;
        for (int i = 0; i < count; ++i) {
            const LIBMTP_raw_device_t& r = raw[i];
            auto known = FKnown.find(KeyOf(r));
            TKnownDevice k = known != FKnown.end() ? known->second : Describe(r);
            out.push_back(k.Info);
            now.emplace(KeyOf(r), std::move(k));
        }
        FKnown = std::move(now);
        return true;
    }

    std::unique_ptr<TPortableDevice> Open(const TDeviceInfo& device, std::string& error) override {
        InitLibrary();
        LIBMTP_raw_device_t raw{};
        {
            std::lock_guard<std::mutex> g(FLock);
            bool found = false;
            for (auto& [key, k] : FKnown)
                if (k.Info.Id == device.Id) {
                    raw = k.Raw;
                    found = true;
                }
            if (!found) {
                error = "The device " + device.DisplayName + " is no longer connected";
                return nullptr;
            }
        }
        DebugLog("Open MTP device " + device.Id);
        LIBMTP_mtpdevice_t* d = LIBMTP_Open_Raw_Device_Uncached(&raw);
        if (!d) {
            error = OpenFailure(device.DisplayName, raw.bus_location, raw.devnum);
            return nullptr;
        }
        return std::make_unique<TMtpDevice>(d, raw.bus_location, raw.devnum);
    }

private:
    // Reads the names of a device seen for the first time: from the device itself when it
    // opens, else from its USB descriptors.
    static TKnownDevice Describe(const LIBMTP_raw_device_t& r) {
        TKnownDevice k;
        k.Raw = r;
        TDeviceInfo& info = k.Info;
        info.Id = DeviceId(r.bus_location, r.devnum);
        info.Protocol = "MTP";
        info.UsbBus = r.bus_location;
        info.UsbDevice = r.devnum;
        const TUsbDeviceFacts usb = UsbDeviceFacts(r.bus_location, r.devnum);
        info.UsbSerial = usb.Serial;
        // What the USB descriptors and libmtp's table of devices say: the name used when the
        // device cannot be opened, and another name it may be known by.
        std::string usbName = MakerAndModel(usb.Manufacturer, usb.Product);
        if (usbName.empty())
            usbName = MakerAndModel(r.device_entry.vendor ? r.device_entry.vendor : "",
                                    r.device_entry.product ? r.device_entry.product : "");
        DebugLog("Read names of MTP device " + info.Id);
        // A device another program holds (the desktop's own MTP handling) cannot be opened;
        // trying would only disturb it.
        LIBMTP_raw_device_t copy = r;
        const bool held = ProcessHolding(UsbDeviceNode(r.bus_location, r.devnum)).has_value();
        if (LIBMTP_mtpdevice_t* d = held ? nullptr : LIBMTP_Open_Raw_Device_Uncached(&copy)) {
            info.FriendlyName = TakeString(LIBMTP_Get_Friendlyname(d));
            info.Description = MakerAndModel(TakeString(LIBMTP_Get_Manufacturername(d)),
                                             TakeString(LIBMTP_Get_Modelname(d)));
            LIBMTP_Release_Device(d);
        }
        if (info.Description.empty()) info.Description = usbName;
        info.DisplayName = DeviceDisplayName(info.FriendlyName, info.Description);
        const std::string other = DeviceDisplayName("", usbName);
        if (!usbName.empty() && other != info.DisplayName) info.OtherName = other;
        return k;
    }

    std::mutex FLock;
    std::map<TDeviceKey, TKnownDevice> FKnown; // the devices of the last detection
};

} // namespace

const char* MtpErrorText(int libmtpError) {
    switch (libmtpError) {
    case LIBMTP_ERROR_NONE:
        return "no error";
    case LIBMTP_ERROR_GENERAL:
        return "general error";
    case LIBMTP_ERROR_PTP_LAYER:
        return "protocol error";
    case LIBMTP_ERROR_USB_LAYER:
        return "USB error";
    case LIBMTP_ERROR_MEMORY_ALLOCATION:
        return "out of memory";
    case LIBMTP_ERROR_NO_DEVICE_ATTACHED:
        return "no device attached";
    case LIBMTP_ERROR_STORAGE_FULL:
        return "storage full";
    case LIBMTP_ERROR_CONNECTING:
        return "the USB system cannot be reached";
    case LIBMTP_ERROR_CANCELLED:
        return "cancelled";
    }
    return "unknown error";
}

std::string MtpDetectionFailure(int libmtpError) {
    if (libmtpError == LIBMTP_ERROR_NONE || libmtpError == LIBMTP_ERROR_NO_DEVICE_ATTACHED)
        return {};
    return std::string("Portable devices cannot be listed: ") + MtpErrorText(libmtpError);
}

std::shared_ptr<TDeviceManager> NewMtpDeviceManager() {
    return std::make_shared<TMtpDeviceManager>();
}

std::unique_ptr<TPortableDevice> OpenMtpDeviceAt(uint32_t bus, uint32_t device,
                                                 std::string& error) {
    InitLibrary();
    LIBMTP_raw_device_t raw{};
    raw.bus_location = bus;
    raw.devnum = uint8_t(device);
    LIBMTP_mtpdevice_t* d = LIBMTP_Open_Raw_Device_Uncached(&raw);
    if (!d) {
        error = OpenFailure(DeviceId(bus, device), bus, device);
        return nullptr;
    }
    return std::make_unique<TMtpDevice>(d, bus, device);
}

} // namespace qz
