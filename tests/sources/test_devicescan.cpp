// The device walk through the device interface: a device held in memory, copied from a small
// folder tree and bent into what real devices do.
#include "base/datetime.h"
#include "base/debuglog.h"
#include "base/text.h"
#include "engine/tree.h"
#include "sources/devicelookup.h"
#include "sources/devicepath.h"
#include "sources/devicescan.h"
#include "sources/scan_warnings.h"
#include "sources/sources.h"
#include "tests/sources/memory_device.h"
#include "tests/sources/test_dirscan_util.h"
#include "tests/support/testsupport.h"

#include <algorithm>
#include <cstdlib>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace qz::test {
namespace {

constexpr int64_t kBaseTime = 1700000000; // 2023-11-14 22:13:20 UTC

void MakeDated(const std::string& path, size_t size, int64_t when) {
    MakeFile(path, size);
    const timespec t[2] = {{time_t(when), 0}, {time_t(when), 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), t, AT_SYMLINK_NOFOLLOW), 0) << path;
}

// Internal storage/DCIM/Camera/{a,b,c}.jpg, Internal storage/Music/song.mp3,
// Internal storage/notes.txt, SD card/Android/data/x.bin, SD card/x.tmp; each file dated
// kBaseTime + its size.
void MakeDeviceTree(const TempDir& tmp) {
    for (const char* d :
         {"Internal storage", "Internal storage/DCIM", "Internal storage/DCIM/Camera",
          "Internal storage/Music", "SD card", "SD card/Android", "SD card/Android/data"})
        ASSERT_EQ(::mkdir((tmp / d).c_str(), 0755), 0);
    const std::pair<const char*, size_t> files[] = {{"Internal storage/DCIM/Camera/a.jpg", 1000},
                                                    {"Internal storage/DCIM/Camera/b.jpg", 2000},
                                                    {"Internal storage/DCIM/Camera/c.jpg", 3000},
                                                    {"Internal storage/Music/song.mp3", 300},
                                                    {"Internal storage/notes.txt", 5},
                                                    {"SD card/Android/data/x.bin", 70},
                                                    {"SD card/x.tmp", 7}};
    for (const auto& [f, n] : files) MakeDated(tmp / f, n, kBaseTime + int64_t(n));
}

// The device manager of the process replaced for one test, and no desktop mounts.
class DeviceScan : public ::testing::Test {
protected:
    void SetUp() override {
        const char* old = std::getenv("XDG_RUNTIME_DIR");
        FOldRuntime = old ? old : "";
        FHadRuntime = old != nullptr;
        ::setenv("XDG_RUNTIME_DIR", FRuntime.path().c_str(), 1);
        MakeDeviceTree(Tree);
        Device = std::make_shared<TMemoryDevice>(Tree.path());
        Manager = std::make_shared<TMemoryDeviceManager>();
        TMemoryDeviceManager::TEntry e;
        e.Info.Id = "usb:001,004";
        e.Info.FriendlyName = "Phone";
        e.Info.Description = "Maker Model";
        e.Info.Protocol = "MTP";
        e.Device = Device;
        Manager->Entries.push_back(e);
        SetDeviceManager(Manager);
    }
    void TearDown() override {
        SetDeviceManager(nullptr);
        if (FHadRuntime)
            ::setenv("XDG_RUNTIME_DIR", FOldRuntime.c_str(), 1);
        else
            ::unsetenv("XDG_RUNTIME_DIR");
    }
    // Scans a device path as the scan thread does: the registered pass, then the totals.
    std::unique_ptr<TNTFS_FILES> Scan(const std::string& path, const std::u16string& exclude = u"",
                                      std::function<void(TNTFS_FILES&)> prepare = {}) {
        auto scan = TNTFS_FILES::CreateDevice(Utf8ToUtf16(path), ScanSourcePasses());
        if (prepare) prepare(*scan);
        scan->ProcessMFTRecords({.Exclude = exclude, .FullPath = true});
        scan->CalculateDirSizes();
        return scan;
    }
    static PMFT_RECORD At(TNTFS_FILES& scan, const std::string& rel) {
        return FindRecordByPath(scan.MFTRoot, Utf8ToUtf16(rel), u'\\');
    }
    // Relative paths ("\"-separated) of every record below the root, sorted.
    static std::vector<std::string> Paths(TNTFS_FILES& scan) {
        const std::string prefix = Utf16ToUtf8(scan.MFTRoot->Name()) + "\\";
        std::vector<std::string> out;
        for (PMFT_RECORD r : scan.FFileList) {
            if (r == scan.MFTRoot) continue;
            const std::string p = Utf16ToUtf8(GetRecordPath(r));
            EXPECT_EQ(p.compare(0, prefix.size(), prefix), 0) << p;
            out.push_back(p.substr(prefix.size()));
        }
        std::sort(out.begin(), out.end());
        return out;
    }

    TempDir FRuntime, Tree;
    std::string FOldRuntime;
    bool FHadRuntime = false;
    std::shared_ptr<TMemoryDevice> Device;
    std::shared_ptr<TMemoryDeviceManager> Manager;
};

TEST_F(DeviceScan, WholeDeviceHasItsStoragesAsTheFirstFolderLevel) {
    Device->Space = TStorageSpace{64000, 1000};
    auto scan = Scan("Phone");
    ASSERT_FALSE(scan->WasError) << scan->ErrorMessage;
    EXPECT_EQ(CheckTree(*scan), "");
    EXPECT_TRUE(scan->IsSourceDevice());
    EXPECT_FALSE(scan->IsSourceFolder());
    EXPECT_EQ(scan->MFTRoot->RecNo, 5u);
    EXPECT_EQ(Utf16ToUtf8(scan->MFTRoot->Name()), "Phone");
    const std::vector<std::string> expected = {"Internal storage",
                                               "Internal storage\\DCIM",
                                               "Internal storage\\DCIM\\Camera",
                                               "Internal storage\\DCIM\\Camera\\a.jpg",
                                               "Internal storage\\DCIM\\Camera\\b.jpg",
                                               "Internal storage\\DCIM\\Camera\\c.jpg",
                                               "Internal storage\\Music",
                                               "Internal storage\\Music\\song.mp3",
                                               "Internal storage\\notes.txt",
                                               "SD card",
                                               "SD card\\Android",
                                               "SD card\\Android\\data",
                                               "SD card\\Android\\data\\x.bin",
                                               "SD card\\x.tmp"};
    EXPECT_EQ(Paths(*scan), expected);
    for (const char* folder : {"Internal storage", "SD card", "Internal storage\\DCIM"}) {
        PMFT_RECORD r = At(*scan, folder);
        ASSERT_NE(r, nullptr) << folder;
        EXPECT_TRUE(r->IsFolder()) << folder;
        EXPECT_EQ(r->FileRecFlags, 2u) << folder;
        EXPECT_EQ(r->FileSize, 0u) << folder;
    }
    PMFT_RECORD b = At(*scan, "Internal storage\\DCIM\\Camera\\b.jpg");
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->FileRecFlags, 0u);
    EXPECT_EQ(b->FileSize, 2000u);
    EXPECT_EQ(b->AllocSize, 2000u);
    EXPECT_EQ(b->DOSAttrib, 0u);
    EXPECT_DOUBLE_EQ(b->ModifiedDate, UnixToDateTime(kBaseTime + 2000));
    EXPECT_EQ(b->CreatedDate, 0);
    EXPECT_EQ(b->LastAccessDate, 0);
    EXPECT_EQ(scan->MFTRoot->SubFoldersTotSize, 1000u + 2000 + 3000 + 300 + 5 + 70 + 7);
    EXPECT_EQ(scan->MFTRoot->SubFoldersNumFiles(), 7);
    EXPECT_EQ(scan->MFTRoot->SubFoldersNumDirs(), 7);
    EXPECT_FALSE(scan->Warnings.Any());
    // Both storages count in the space figures.
    EXPECT_TRUE(scan->DeviceDinfo.hastotalandfreespace);
    EXPECT_EQ(scan->DeviceDinfo.totalspace, 128000u);
    EXPECT_EQ(scan->DeviceDinfo.freespace, 2000u);
    EXPECT_EQ(scan->DeviceDinfo.usedspace, 126000u);
}

TEST_F(DeviceScan, InnerPathScansJustThatFolderAndNamesAreMatchedWithoutCase) {
    Device->Space = TStorageSpace{64000, 1000};
    auto scan = Scan("phone\\INTERNAL storage\\dcim\\");
    ASSERT_FALSE(scan->WasError) << scan->ErrorMessage;
    EXPECT_EQ(CheckTree(*scan), "");
    EXPECT_EQ(Utf16ToUtf8(scan->MFTRoot->Name()), "phone\\INTERNAL storage\\dcim");
    EXPECT_EQ(Paths(*scan), (std::vector<std::string>{"Camera", "Camera\\a.jpg", "Camera\\b.jpg",
                                                      "Camera\\c.jpg"}));
    EXPECT_EQ(scan->MFTRoot->SubFoldersTotSize, 6000u);
    // The storage the folder is on gives the space figures, once.
    EXPECT_EQ(scan->DeviceDinfo.totalspace, 64000u);
    // Only the folders on the way and below were listed.
    EXPECT_EQ(Device->Listed.size(), 4u);
}

TEST_F(DeviceScan, DeviceFoundByDescriptionWhenTheFriendlyNameIsBlank) {
    Manager->Entries[0].Info.FriendlyName = " \t ";
    EXPECT_TRUE(Scan("Phone")->WasError);
    auto scan = Scan("maker model\\SD card");
    ASSERT_FALSE(scan->WasError) << scan->ErrorMessage;
    EXPECT_EQ(scan->MFTRoot->SubFoldersTotSize, 77u);
}

TEST_F(DeviceScan, PathsThatNameNoFolderOnADeviceAreClearErrors) {
    struct Case {
        std::string path;
        std::string error;
    };
    const Case cases[] = {
        {"Camera 2", "No connected portable device is named Camera 2"},
        {"Phone\\Internal storage\\Nope", "Folder not found on the device: Internal storage\\Nope"},
        {"Phone\\Internal storage\\notes.txt",
         "Not a folder on the device: Internal storage\\notes.txt"},
    };
    for (const Case& c : cases) {
        auto scan = Scan(c.path);
        EXPECT_TRUE(scan->WasError) << c.path;
        EXPECT_EQ(scan->ErrorMessage, c.error);
        ASSERT_NE(scan->MFTRoot, nullptr);
        EXPECT_EQ(CheckTree(*scan), "") << c.path;
    }
    // The device service failing, and a device that does not open, say why.
    Manager->Entries[0].Device = nullptr;
    Manager->Entries[0].OpenError = "Cannot open the device Phone: it is in use by gvfsd-mtp";
    EXPECT_EQ(Scan("Phone")->ErrorMessage, Manager->Entries[0].OpenError);
    Manager->ServiceError = "Portable devices cannot be listed: USB error";
    EXPECT_EQ(Scan("Phone")->ErrorMessage,
              "No connected portable device is named Phone (Portable devices cannot be listed: "
              "USB error)");
}

TEST_F(DeviceScan, ObjectsThatCannotBeReadAreCountedAndTheWalkGoesOn) {
    Device->Object("Internal storage/DCIM/Camera/a.jpg").PropertiesRead = false;
    TDeviceObject& b = Device->Object("Internal storage/DCIM/Camera/b.jpg");
    b.OriginalFileName.reset();
    b.Name = "Holiday";
    Device->Object("Internal storage/DCIM/Camera/c.jpg").Modified.reset(); // after a dated one
    Device->Object("Internal storage/notes.txt").OriginalFileName = "";    // an empty name
    Device->Object("Internal storage/Music/song.mp3").Size.reset();
    Device->Object("SD card/x.tmp").OriginalFileName = "a\\b/c.tmp";
    Device->RefuseListing("SD card/Android");
    auto scan = Scan("Phone");
    ASSERT_FALSE(scan->WasError) << scan->ErrorMessage;
    EXPECT_EQ(CheckTree(*scan), "");
    const std::vector<std::string> expected = {
        "Internal storage",
        "Internal storage\\DCIM",
        "Internal storage\\DCIM\\Camera",
        "Internal storage\\DCIM\\Camera\\Holiday", // no original file name: the object's name
        "Internal storage\\DCIM\\Camera\\c.jpg",
        "Internal storage\\Music",
        "Internal storage\\Music\\song.mp3",
        "SD card",
        "SD card\\Android",
        "SD card\\a\u29F5b\u2215c.tmp"};
    EXPECT_EQ(Paths(*scan), expected);
    EXPECT_EQ(At(*scan, "Internal storage\\DCIM\\Camera\\c.jpg")->ModifiedDate, 0);
    PMFT_RECORD song = At(*scan, "Internal storage\\Music\\song.mp3");
    EXPECT_EQ(song->FileSize, 0u);
    EXPECT_TRUE(song->Unreadable);
    PMFT_RECORD android = At(*scan, "SD card\\Android");
    EXPECT_TRUE(android->Unreadable);
    EXPECT_EQ(android->SubFoldersNumFiles(), 0);
    EXPECT_FALSE(At(*scan, "SD card")->Unreadable);
    // The renamed object is found again by its shown name.
    TDeviceObject found;
    std::string error;
    auto open = Device->Open();
    ASSERT_TRUE(
        FindChildObject(*open, Device->Object("SD card").Id, "a\u29F5b\u2215c.tmp", found, error));
    EXPECT_EQ(found.Id, Device->Object("SD card/x.tmp").Id);

    const TScanWarnings& w = scan->Warnings;
    EXPECT_EQ(w.SkippedObjects, 2); // a.jpg, notes.txt
    EXPECT_EQ(w.UnknownSizes, 1);
    EXPECT_EQ(w.UnreadableFolders, 1);
    EXPECT_EQ(w.RenamedObjects, 1);
    EXPECT_FALSE(w.DeviceDisconnected);
    const std::vector<std::string> texts = ScanWarningTexts(w);
    const std::string all = [&] {
        std::string s;
        for (const std::string& t : texts) s += t + "\n";
        return s;
    }();
    for (const char* part :
         {"1 folder could not be read", "2 objects on the device could not be read",
          "1 file on the device did not give its size", "1 name on the device holds"})
        EXPECT_NE(all.find(part), std::string::npos) << part << "\n" << all;
}

TEST_F(DeviceScan, DeviceThatGoesAwayEndsTheWalkWithWhatWasRead) {
    Device->ListingsLeft = 3; // the root, the first storage and DCIM
    auto scan = Scan("Phone");
    ASSERT_FALSE(scan->WasError) << scan->ErrorMessage;
    EXPECT_EQ(CheckTree(*scan), "");
    EXPECT_TRUE(scan->Warnings.DeviceDisconnected);
    // Read: both storages, DCIM, Music, notes.txt. Camera, Music and SD card were not.
    EXPECT_EQ(Paths(*scan),
              (std::vector<std::string>{"Internal storage", "Internal storage\\DCIM",
                                        "Internal storage\\DCIM\\Camera", "Internal storage\\Music",
                                        "Internal storage\\notes.txt", "SD card"}));
    for (const char* f : {"Internal storage\\DCIM\\Camera", "Internal storage\\Music", "SD card"})
        EXPECT_TRUE(At(*scan, f)->Unreadable) << f;
    EXPECT_EQ(scan->Warnings.UnreadableFolders, 3);
    // Only one listing was tried after the device had gone.
    EXPECT_EQ(Device->Listed.size(), 3u);
    const std::vector<std::string> texts = ScanWarningTexts(scan->Warnings);
    EXPECT_NE(std::find(texts.begin(), texts.end(),
                        "The device was disconnected during the scan; what was not read yet is "
                        "missing from the scan"),
              texts.end());
}

TEST_F(DeviceScan, ExcludedObjectsAreDroppedAndExcludedFoldersNeverListed) {
    auto scan = Scan("Phone", u"*.tmp|DCIM");
    ASSERT_FALSE(scan->WasError) << scan->ErrorMessage;
    EXPECT_EQ(CheckTree(*scan), "");
    EXPECT_EQ(Paths(*scan), (std::vector<std::string>{"Internal storage", "Internal storage\\Music",
                                                      "Internal storage\\Music\\song.mp3",
                                                      "Internal storage\\notes.txt", "SD card",
                                                      "SD card\\Android", "SD card\\Android\\data",
                                                      "SD card\\Android\\data\\x.bin"}));
    const TDeviceObjectId dcim = Device->Object("Internal storage/DCIM").Id;
    EXPECT_EQ(std::count(Device->Listed.begin(), Device->Listed.end(), dcim), 0);
}

TEST_F(DeviceScan, ProgressEvery100FilesAndCancelBeforeTheNextFolder) {
    const std::string many = Tree / "Internal storage/Music/many";
    ASSERT_EQ(::mkdir(many.c_str(), 0755), 0);
    for (int i = 0; i < 250; ++i) MakeFile(many + "/f" + std::to_string(i), 1);
    Device = std::make_shared<TMemoryDevice>(Tree.path());
    Manager->Entries[0].Device = Device;

    std::vector<std::pair<int, int64_t>> reports; // percent, files
    auto scan = Scan("Phone", u"", [&](TNTFS_FILES& s) {
        s.OnProgress = [&](int, int pct, int64_t files, int64_t) {
            reports.emplace_back(pct, files);
        };
    });
    ASSERT_FALSE(scan->WasError);
    ASSERT_FALSE(reports.empty());
    EXPECT_EQ(reports.back(), std::make_pair(100, int64_t(257)));
    for (size_t i = 1; i < reports.size(); ++i) EXPECT_GE(reports[i].first, reports[i - 1].first);
    for (int64_t n : {100, 200})
        EXPECT_NE(std::find_if(reports.begin(), reports.end(),
                               [&](const auto& r) { return r.second == n; }),
                  reports.end())
            << n;
    // Far fewer reports than objects.
    EXPECT_LT(reports.size(), 30u);

    // Cancelled at the first report (after the root's listing): nothing below it is walked.
    TNTFS_FILES* running = nullptr;
    auto cancelled = Scan("Phone", u"", [&](TNTFS_FILES& s) {
        running = &s;
        s.OnProgress = [&](int, int, int64_t, int64_t) { running->CancelProcess(); };
    });
    EXPECT_EQ(CheckTree(*cancelled), "");
    EXPECT_EQ(Paths(*cancelled), (std::vector<std::string>{"Internal storage", "SD card"}));
}

TEST_F(DeviceScan, DebugLogLines) {
    TempDir logs;
    EnableDebugLog(logs.path());
    Scan("Phone\\SD card");
    const std::string file = DebugLogPath();
    DisableDebugLog();
    const std::vector<uint8_t> bytes = ReadFileBytes(file);
    const std::string log(bytes.begin(), bytes.end());
    size_t at = 0;
    for (const std::string l :
         {"GetMTPIDFromFriendlyName Phone", "mtpid usb:001,004", "DoSlowMode - SlowScanFolder",
          "SlowScanFolderMTP start", "SlowScanFolderMTP start"}) {
        const size_t p = log.find(" " + l + "\n", at);
        ASSERT_NE(p, std::string::npos) << l << "\n" << log;
        at = p + l.size();
    }
}

} // namespace
} // namespace qz::test
