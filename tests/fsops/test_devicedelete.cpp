// Deleting items of a device scan on the device: a device held in memory, and a folder laid
// out as the desktop's gvfs mount of a device (real files removed).
#include "base/text.h"
#include "engine/tree.h"
#include "fsops/devicedelete.h"
#include "fsops/disksize.h"
#include "sources/sources.h"
#include "tests/sources/memory_device.h"
#include "tests/sources/test_dirscan_util.h"
#include "tests/support/testsupport.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qz::test {
namespace {

TDeviceDeleteResult Delete(const TNTFS_FILES& scan, std::vector<PMFT_RECORD> recs) {
    std::vector<TDeviceItem> items;
    for (PMFT_RECORD r : recs) items.push_back(DeviceItemOf(scan, r));
    return DeleteOnDevice(DeviceNameOf(scan), items);
}

class DeviceDelete : public ::testing::Test {
protected:
    void SetUp() override {
        const char* old = std::getenv("XDG_RUNTIME_DIR");
        FHad = old != nullptr;
        FOld = old ? old : "";
        ::setenv("XDG_RUNTIME_DIR", Runtime.path().c_str(), 1);
        for (const char* d : {"Internal storage", "Internal storage/DCIM",
                              "Internal storage/DCIM/Camera", "SD card"})
            ASSERT_EQ(::mkdir((Tree / d).c_str(), 0755), 0);
        MakeFile(Tree / "Internal storage/DCIM/Camera/a.jpg", 100);
        MakeFile(Tree / "Internal storage/DCIM/b.jpg", 200);
        MakeFile(Tree / "Internal storage/c.txt", 3);
        MakeFile(Tree / "SD card/d.bin", 4);
        Device = std::make_shared<TMemoryDevice>(Tree.path());
        Manager = std::make_shared<TMemoryDeviceManager>();
        TMemoryDeviceManager::TEntry e;
        e.Info.Id = "usb:001,002";
        e.Info.FriendlyName = "Phone";
        e.Info.Protocol = "MTP";
        e.Device = Device;
        Manager->Entries.push_back(e);
        SetDeviceManager(Manager);
    }
    void TearDown() override {
        SetDeviceManager(nullptr);
        if (FHad)
            ::setenv("XDG_RUNTIME_DIR", FOld.c_str(), 1);
        else
            ::unsetenv("XDG_RUNTIME_DIR");
    }
    std::unique_ptr<TNTFS_FILES> Scan(const std::string& path) {
        auto scan = TNTFS_FILES::CreateDevice(Utf8ToUtf16(path), ScanSourcePasses());
        scan->ProcessMFTRecords({.FullPath = true});
        scan->CalculateDirSizes();
        EXPECT_FALSE(scan->WasError) << scan->ErrorMessage;
        return scan;
    }
    static PMFT_RECORD At(TNTFS_FILES& scan, const std::string& rel) {
        PMFT_RECORD r = FindRecordByPath(scan.MFTRoot, Utf8ToUtf16(rel), u'\\');
        EXPECT_NE(r, nullptr) << rel;
        return r;
    }

    TempDir Runtime, Tree;
    std::shared_ptr<TMemoryDevice> Device;
    std::shared_ptr<TMemoryDeviceManager> Manager;
    bool FHad = false;
    std::string FOld;
};

TEST_F(DeviceDelete, FilesAndFoldersWithTheirContentAreDeletedDeepestFirst) {
    auto scan = Scan("Phone");
    PMFT_RECORD dcim = At(*scan, "Internal storage\\DCIM");
    PMFT_RECORD d = At(*scan, "SD card\\d.bin");
    const TDeviceDeleteResult r = Delete(*scan, {dcim, d});
    EXPECT_TRUE(r.Errors.empty()) << r.Errors.front();
    EXPECT_EQ(r.Deleted, (std::vector<size_t>{0, 1}));
    EXPECT_EQ(r.Objects, 5);
    const std::vector<TDeviceObjectId> order = {
        Device->Object("Internal storage/DCIM/Camera/a.jpg").Id,
        Device->Object("Internal storage/DCIM/Camera").Id,
        Device->Object("Internal storage/DCIM/b.jpg").Id,
        Device->Object("Internal storage/DCIM").Id, Device->Object("SD card/d.bin").Id};
    EXPECT_EQ(Device->Deleted, order);
    // A new scan finds only what is left.
    EXPECT_EQ(Scan("Phone")->MFTRoot->SubFoldersTotSize, 3u);
}

TEST_F(DeviceDelete, ItemsThatAreNotWhatWasScannedAreLeftAlone) {
    Device->Object("SD card/d.bin").OriginalFileName = "x\\y.bin"; // shown as x⧵y.bin
    auto scan = Scan("Phone\\Internal storage");
    auto whole = Scan("Phone");
    Device->Object("Internal storage/c.txt").Size = 30; // written to since the scan
    struct Case {
        TNTFS_FILES* scan;
        std::string rel;   // "" for the root
        std::string error; // "" when deleted
    };
    const Case cases[] = {
        {scan.get(), "c.txt", "The item has changed on the device since the scan; scan again"},
        {whole.get(), "", "A device or a storage cannot be deleted"},
        {whole.get(), "SD card", "A device or a storage cannot be deleted"},
        {scan.get(), "DCIM\\b.jpg", ""},
        {scan.get(), "DCIM\\b.jpg", "Item not found on the device: Internal storage\\DCIM\\b.jpg"},
        {whole.get(), "SD card\\x\u29F5y.bin", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rel);
        PMFT_RECORD rec = c.rel.empty() ? c.scan->MFTRoot : At(*c.scan, c.rel);
        const size_t before = Device->Deleted.size();
        const TDeviceDeleteResult r = Delete(*c.scan, {rec});
        if (c.error.empty()) {
            EXPECT_TRUE(r.Errors.empty()) << r.Errors.front();
            EXPECT_EQ(Device->Deleted.size(), before + 1);
            continue;
        }
        ASSERT_EQ(r.Errors.size(), 1u);
        EXPECT_EQ(r.Errors[0].rfind(c.error, 0), 0u) << r.Errors[0];
        EXPECT_NE(r.Errors[0].find("[" + Utf16ToUtf8(GetRecordPath(rec)) + "]"), std::string::npos);
        EXPECT_TRUE(r.Deleted.empty());
        EXPECT_EQ(Device->Deleted.size(), before);
    }
    // The device unplugged since.
    Manager->Entries.clear();
    PMFT_RECORD rec = At(*scan, "DCIM");
    const TDeviceDeleteResult r = Delete(*scan, {rec});
    ASSERT_EQ(r.Errors.size(), 1u);
    EXPECT_EQ(r.Errors[0], "The device is not connected: Phone");
}

TEST_F(DeviceDelete, ThroughTheDesktopsMountTheFilesAreRemoved) {
    Manager->Entries.clear(); // the device is known only by its mount
    const std::string mount = Runtime / "gvfs/mtp:host=Maker_Phone_S1";
    for (const std::string& d :
         {Runtime / "gvfs", mount, mount + "/Internal storage", mount + "/Internal storage/Old",
          mount + "/Internal storage/Old/x"})
        ASSERT_EQ(::mkdir(d.c_str(), 0755), 0);
    MakeFile(mount + "/Internal storage/Old/x/1.jpg", 10);
    MakeFile(mount + "/Internal storage/Old/2.jpg", 20);
    MakeFile(mount + "/Internal storage/keep.txt", 1);
    auto scan = Scan("Maker Phone S1");
    PMFT_RECORD old = At(*scan, "Internal storage\\Old");
    const TDeviceDeleteResult r = Delete(*scan, {old});
    EXPECT_TRUE(r.Errors.empty()) << r.Errors.front();
    EXPECT_EQ(r.Objects, 4);
    EXPECT_NE(::access((mount + "/Internal storage/Old").c_str(), F_OK), 0);
    EXPECT_EQ(::access((mount + "/Internal storage/keep.txt").c_str(), F_OK), 0);
}

// The window's job: a device that goes away during the deletes ends what can be done on it,
// each item left says so, and the space is not measured on a device that is gone.
TEST_F(DeviceDelete, ADeviceUnpluggedDuringTheJobFailsTheItemsLeftWithTheReason) {
    auto scan = Scan("Phone");
    std::vector<TDeviceDeleteItem> items;
    for (const char* rel : {"Internal storage\\c.txt", "Internal storage\\DCIM", "SD card\\d.bin"})
        items.push_back({"Phone", DeviceItemOf(*scan, At(*scan, rel)), 1});
    // The lookup of c.txt lists the root and the storage; DCIM's lookup and content need more.
    Device->ListingsLeft = 3;
    TDeviceDeleteJob job(items, {"Phone"});
    std::vector<TDeleteFailure> seen;
    job.OnFailure = [&](const TDeleteFailure& f) {
        seen.push_back(f);
        job.Answer(TDeleteChoice::Skip);
    };
    job.Start();
    job.Wait();
    ASSERT_TRUE(job.Finished());
    EXPECT_EQ(job.Gone, std::vector<size_t>{0});
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].Path, "Phone\\Internal storage\\DCIM");
    EXPECT_EQ(seen[1].Path, "Phone\\SD card\\d.bin");
    EXPECT_EQ(seen[1].Message, "The device is not connected: Phone");
    EXPECT_EQ(Device->Deleted.size(), 1u);
    ASSERT_EQ(job.Space.size(), 1u);
    EXPECT_FALSE(job.Space[0].hastotalandfreespace);
}

// Space figures of a device path come from the device: the storage the path lies in, or all
// storages of a whole device; none where the device or the folder is not there.
TEST_F(DeviceDelete, DiskSizeOfADevicePathComesFromItsStorages) {
    Device->Space = TStorageSpace{64000, 1000};
    const struct {
        const char* path;
        bool known;
        uint64_t total, free;
    } cases[] = {
        {"Phone", true, 128000, 2000},
        {"phone\\SD card", true, 64000, 1000},
        {"Phone\\Internal storage\\DCIM\\Camera", true, 64000, 1000},
        {"Phone\\No such folder", false, 0, 0},
        {"Tablet", false, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        const TDiskSizeInfo d = GetDiskSizeInfo(c.path, {});
        EXPECT_EQ(d.itempath, Utf8ToUtf16(c.path));
        EXPECT_EQ(d.hastotalandfreespace, c.known);
        EXPECT_EQ(d.totalspace, c.total);
        EXPECT_EQ(d.freespace, c.free);
        EXPECT_EQ(d.usedspace, c.total - c.free);
    }
    // A device that does not tell its space has no figures.
    Device->Space.reset();
    EXPECT_FALSE(GetDiskSizeInfo("Phone", {}).hastotalandfreespace);
}

TEST(DeviceOperations, WhatCannotBeDoneOnADeviceSaysWhy) {
    const std::pair<TItemOperation, const char*> cases[] = {
        {TItemOperation::DeletePermanently, ""},
        {TItemOperation::CopyPath, ""},
        {TItemOperation::DeleteToTrash,
         "A portable device has no trash: items on it can only be deleted permanently"},
        {TItemOperation::Open, "Not available for items on a portable device"},
        {TItemOperation::ShowInFileManager, "Not available for items on a portable device"},
        {TItemOperation::CopyToClipboard, "Not available for items on a portable device"},
        {TItemOperation::DragOut, "Not available for items on a portable device"},
    };
    for (const auto& [op, why] : cases) EXPECT_EQ(DeviceOperationUnavailable(op), why) << int(op);
}

} // namespace
} // namespace qz::test
