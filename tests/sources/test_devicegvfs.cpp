// Devices the desktop holds: read through the desktop's gvfs mount of them, laid out here in a
// temporary runtime folder as gvfs lays a device out (one folder per storage below a folder
// named after the device), by the scan and by the quarzel program; and the process that holds
// a device named when nothing can read it.
#include "base/text.h"
#include "engine/tree.h"
#include "sources/device_gvfs.h"
#include "sources/device_usb.h"
#include "sources/devicelookup.h"
#include "sources/devicescan.h"
#include "sources/sources.h"
#include "tests/sources/memory_device.h"
#include "tests/sources/test_dirscan_util.h"
#include "tests/support/testsupport.h"

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

namespace qz::test {
namespace {

std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

TEST(Gvfs, MountNames) {
    struct Case {
        const char* name;
        bool device;
        const char* scheme;
        const char* host;
        uint32_t bus, dev;
    };
    const Case cases[] = {
        {"mtp:host=Maker_Phone_2A111FDH", true, "mtp", "Maker_Phone_2A111FDH", 0, 0},
        {"mtp:host=%5Busb%3A001%2C005%5D", true, "mtp", "[usb:001,005]", 1, 5},
        {"gphoto2:host=%5Busb%3A002%2C017%5D", true, "gphoto2", "[usb:002,017]", 2, 17},
        {"mtp:port=1,host=Phone%20X", true, "mtp", "Phone X", 0, 0},
        {"mtp:host=", false, "", "", 0, 0},
        {"mtp:port=1", false, "", "", 0, 0},
        {"sftp:host=server", false, "", "", 0, 0},
        {"smb-share:server=nas,share=music", false, "", "", 0, 0},
        {"no-colon", false, "", "", 0, 0},
    };
    for (const Case& c : cases) {
        TGvfsDeviceMount m;
        ASSERT_EQ(ParseGvfsMountName(c.name, m), c.device) << c.name;
        if (!c.device) continue;
        EXPECT_EQ(m.Scheme, c.scheme) << c.name;
        EXPECT_EQ(m.Host, c.host) << c.name;
        EXPECT_EQ(m.UsbBus, c.bus) << c.name;
        EXPECT_EQ(m.UsbDevice, c.dev) << c.name;
    }
}

// A runtime folder with a gvfs folder holding device mounts.
class GvfsDevice : public ::testing::Test {
protected:
    void SetUp() override {
        const char* old = std::getenv("XDG_RUNTIME_DIR");
        FHad = old != nullptr;
        FOld = old ? old : "";
        ::setenv("XDG_RUNTIME_DIR", Runtime.path().c_str(), 1);
        ASSERT_EQ(::mkdir((Runtime / "gvfs").c_str(), 0700), 0);
        Manager = std::make_shared<TMemoryDeviceManager>();
        SetDeviceManager(Manager);
    }
    void TearDown() override {
        SetDeviceManager(nullptr);
        if (FHad)
            ::setenv("XDG_RUNTIME_DIR", FOld.c_str(), 1);
        else
            ::unsetenv("XDG_RUNTIME_DIR");
    }
    // A device mount with "Internal shared storage/DCIM/a.jpg" (1000 bytes) and
    // "SD card/b.bin" (20 bytes); its path.
    std::string MakeMount(const std::string& name) {
        const std::string m = Runtime / ("gvfs/" + name);
        for (const std::string& d : {m, m + "/Internal shared storage",
                                     m + "/Internal shared storage/DCIM", m + "/SD card"})
            EXPECT_EQ(::mkdir(d.c_str(), 0755), 0) << d;
        MakeFile(m + "/Internal shared storage/DCIM/a.jpg", 1000);
        MakeFile(m + "/SD card/b.bin", 20);
        return m;
    }
    std::unique_ptr<TNTFS_FILES> Scan(const std::string& path) {
        auto scan = TNTFS_FILES::CreateDevice(Utf8ToUtf16(path), ScanSourcePasses());
        scan->ProcessMFTRecords({.FullPath = true});
        scan->CalculateDirSizes();
        return scan;
    }
    // A device the manager lists but cannot open: the desktop holds it.
    void AddHeldDevice(const std::string& name, const std::string& serial, uint32_t bus,
                       uint32_t dev) {
        TMemoryDeviceManager::TEntry e;
        e.Info.Id = "usb:" + std::to_string(bus) + "," + std::to_string(dev);
        e.Info.FriendlyName = name;
        e.Info.UsbSerial = serial;
        e.Info.UsbBus = bus;
        e.Info.UsbDevice = dev;
        e.OpenError = "Cannot open the device " + name + ": it is in use by gvfsd-mtp";
        Manager->Entries.push_back(e);
    }

    TempDir Runtime;
    std::shared_ptr<TMemoryDeviceManager> Manager;
    bool FHad = false;
    std::string FOld;
};

TEST_F(GvfsDevice, DeviceHeldByTheDesktopIsReadThroughItsMount) {
    // Matched by udev serial, and (older gvfs) by USB address.
    struct Case {
        const char* mount;
        const char* serial;
    };
    const Case cases[] = {{"mtp:host=Maker_Phone_SER1", "Maker_Phone_SER1"},
                          {"mtp:host=%5Busb%3A003%2C009%5D", "Maker_Phone_SER1"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mount);
        const std::string mount = MakeMount(c.mount);
        Manager->Entries.clear();
        Manager->Opened = 0;
        AddHeldDevice("Phone", c.serial, 3, 9);
        const TDeviceList list = ListPortableDevices(*Manager, GvfsRootFolder());
        ASSERT_EQ(list.Devices.size(), 1u); // the mount is that device, not one more
        EXPECT_EQ(list.Devices[0].DesktopMount, mount);

        auto scan = Scan("Phone\\Internal shared storage");
        ASSERT_FALSE(scan->WasError) << scan->ErrorMessage;
        EXPECT_EQ(CheckTree(*scan), "");
        EXPECT_EQ(Manager->Opened, 0); // USB access was not even tried
        EXPECT_EQ(scan->Warnings.ReadThrough, mount);
        PMFT_RECORD a = FindRecordByPath(scan->MFTRoot, u"DCIM\\a.jpg", u'\\');
        ASSERT_NE(a, nullptr);
        EXPECT_EQ(a->FileSize, 1000u);
        EXPECT_EQ(scan->MFTRoot->SubFoldersTotSize, 1000u);
        EXPECT_TRUE(scan->DeviceDinfo.hastotalandfreespace);
        RemoveTree(mount);
    }
}

TEST_F(GvfsDevice, MountOfNoListedDeviceIsADeviceOfItsOwn) {
    const std::string mount = MakeMount("mtp:host=Maker_Camera_77");
    ASSERT_EQ(::mkdir((Runtime / "gvfs/sftp:host=server").c_str(), 0755), 0);
    const TDeviceList list = ListPortableDevices(*Manager, GvfsRootFolder());
    ASSERT_EQ(list.Devices.size(), 1u);
    EXPECT_EQ(list.Devices[0].DisplayName, "Maker Camera 77");
    auto scan = Scan("Maker Camera 77");
    ASSERT_FALSE(scan->WasError) << scan->ErrorMessage;
    EXPECT_EQ(scan->MFTRoot->SubFoldersTotSize, 1020u);
    EXPECT_EQ(scan->MFTRoot->SubFoldersNumDirs(), 3);
    // Two storages on one file system count its space once.
    struct statvfs sv {};
    ASSERT_EQ(::statvfs(mount.c_str(), &sv), 0);
    EXPECT_EQ(scan->DeviceDinfo.totalspace, uint64_t(sv.f_blocks) * sv.f_frsize);
}

TEST_F(GvfsDevice, NeitherUsbNorMountSaysWhy) {
    AddHeldDevice("Phone", "Maker_Phone_SER1", 3, 9);
    auto scan = Scan("Phone");
    EXPECT_TRUE(scan->WasError);
    EXPECT_EQ(scan->ErrorMessage, "Cannot open the device Phone: it is in use by gvfsd-mtp");
}

TEST(DeviceHolder, TheProcessHoldingANodeIsNamed) {
    TempDir tmp;
    const std::string node = tmp / "node";
    MakeFile(node, 1);
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const int fd = ::open(node.c_str(), O_RDWR);
        (void)fd;
        ::write(ready[1], "x", 1);
        ::execlp("sleep", "sleep", "30", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    char c;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    ::usleep(200000); // until exec has replaced the child's name
    const std::optional<TProcessHolder> h = ProcessHolding(node);
    const std::optional<TProcessHolder> none = ProcessHolding(tmp / "other");
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    ::close(ready[0]);
    ::close(ready[1]);
    ASSERT_TRUE(h.has_value());
    EXPECT_EQ(h->Pid, int(child));
    EXPECT_EQ(h->Name, "sleep");
    EXPECT_FALSE(none.has_value());
}

TEST(DeviceProgram, HeadlessRunScansADevicePath) {
    TempDir runtime, out;
    const std::string mount = runtime / "gvfs/mtp:host=Maker_Phone_SER9";
    for (const std::string& d :
         {runtime / "gvfs", mount, mount + "/Internal storage", mount + "/Internal storage/DCIM"})
        ASSERT_EQ(::mkdir(d.c_str(), 0755), 0);
    MakeFile(mount + "/Internal storage/DCIM/a.jpg", 1234);
    const std::string quarzel = std::string(QZ_BINARY_DIR) + "/app/quarzel";
    const std::string base = "cd " + Quote(out.path()) +
                             " && XDG_RUNTIME_DIR=" + Quote(runtime.path()) + " " + Quote(quarzel) +
                             " ";
    std::string text;
    ASSERT_EQ(qz::test::Run(base + Quote("maker phone SER9\\Internal storage") +
                                " --export=out.csv --configfolder=. 2>err.txt",
                            &text),
              0);
    const std::vector<uint8_t> csv = ReadFileBytes(out / "out.csv");
    const std::string rows(csv.begin(), csv.end());
    EXPECT_NE(rows.find("\"maker phone SER9\\Internal storage\\\",1234,1234,"), std::string::npos)
        << rows;
    EXPECT_NE(rows.find("\"maker phone SER9\\Internal storage\\DCIM\\a.jpg\",1234,1234,"),
              std::string::npos)
        << rows;
    const std::vector<uint8_t> err = ReadFileBytes(out / "err.txt");
    EXPECT_NE(std::string(err.begin(), err.end()).find("read through its mount " + mount),
              std::string::npos);
    // A name that is neither a file nor a device.
    EXPECT_EQ(
        qz::test::Run(base + Quote("Nothing\\DCIM") + " --export=x.csv --configfolder=. 2>err.txt"),
        1);
    const std::vector<uint8_t> err2 = ReadFileBytes(out / "err.txt");
    EXPECT_NE(
        std::string(err2.begin(), err2.end()).find("no connected portable device is named Nothing"),
        std::string::npos);
}

} // namespace
} // namespace qz::test
