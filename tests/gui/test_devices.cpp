// Portable devices in the window: listed in the source list when the window starts and again
// after USB events (a device that arrives is selected while the user has picked nothing),
// scanned like folders with their storages' space, a device the desktop holds read through
// its mount with the status line saying so, and items deleted on the device from the window.
// The devices are held in memory (no USB here).
#include "tests/gui/fileops_fixture.h"

#include "base/text.h"
#include "engine/scan.h"
#include "engine/tree.h"
#include "gui/devicewatch.h"
#include "gui/sourcepicker.h"
#include "gui/spacesummary.h"
#include "gui/statuspanel.h"
#include "gui/treemappanel.h"
#include "sources/device.h"
#include "sources/sources.h"
#include "tests/sources/memory_device.h"
#include "treemap/treemap.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cstdlib>
#include <sys/stat.h>

using namespace qz;
using namespace qz::test;

namespace {

// The devices of the process replaced, and an empty runtime folder (no desktop mounts).
class DeviceWindow : public FileOpsFixture {
protected:
    void SetUp() override {
        FileOpsFixture::SetUp();
        const char* old = std::getenv("XDG_RUNTIME_DIR");
        FHad = old != nullptr;
        FOld = old ? old : "";
        Runtime = Dir / "run";
        ASSERT_EQ(::mkdir(Runtime.c_str(), 0700), 0);
        ASSERT_EQ(::mkdir((Runtime + "/gvfs").c_str(), 0700), 0);
        ::setenv("XDG_RUNTIME_DIR", Runtime.c_str(), 1);
        WriteSized(Data + "/phone/Internal storage/DCIM/a.jpg", 1000);
        WriteSized(Data + "/phone/Internal storage/b.bin", 24);
        WriteSized(Data + "/phone/SD card/c.mp3", 500);
        Manager = std::make_shared<TMemoryDeviceManager>();
        SetDeviceManager(Manager);
    }
    void TearDown() override {
        SetDeviceManager(nullptr);
        if (FHad)
            ::setenv("XDG_RUNTIME_DIR", FOld.c_str(), 1);
        else
            ::unsetenv("XDG_RUNTIME_DIR");
        FileOpsFixture::TearDown();
    }
    TMemoryDevice& AddDevice(const std::string& name, const std::string& protocol = "MTP") {
        TMemoryDeviceManager::TEntry e;
        e.Info.Id = "usb:" + name;
        e.Info.FriendlyName = name;
        e.Info.Protocol = protocol;
        e.Device = std::make_shared<TMemoryDevice>(Data + "/phone");
        Manager->Entries.push_back(e);
        return *e.Device;
    }
    // A scan of the device path of its own, as a new scan would find the device.
    static std::unique_ptr<TNTFS_FILES> FreshScan(const std::string& path) {
        auto scan = TNTFS_FILES::CreateDevice(Utf8ToUtf16(path), ScanSourcePasses());
        scan->ProcessMFTRecords({.FullPath = true});
        scan->CalculateDirSizes();
        EXPECT_FALSE(scan->WasError) << scan->ErrorMessage;
        return scan;
    }
    // The shown root's totals equal a fresh scan's.
    void ExpectTotalsOfAFreshScan(const std::string& path) {
        auto fresh = FreshScan(path);
        PMFT_RECORD shown = Node("")->Data.Rec, again = fresh->MFTRoot;
        EXPECT_EQ(shown->SubFoldersTotSize, again->SubFoldersTotSize);
        EXPECT_EQ(shown->SubFoldersTotSizeAlloc, again->SubFoldersTotSizeAlloc);
        EXPECT_EQ(shown->SubFoldersNumFiles(), again->SubFoldersNumFiles());
        EXPECT_EQ(shown->SubFoldersNumDirs(), again->SubFoldersNumDirs());
    }
    // The area of the treemap's free-space strips, once a picture with them is shown.
    double FreeSpaceArea() {
        TTreemapPanel& map = *W().Treemap();
        EXPECT_TRUE(QTest::qWaitFor([&] {
            return !map.Drawing() && map.Picture() && !map.Picture()->Layout.FreeSpaceRect.empty();
        }));
        double area = 0;
        if (map.Picture())
            for (const TctRectangle& r : map.Picture()->Layout.FreeSpaceRect)
                area += double(r.XMax() - r.XMin()) * double(r.YMax() - r.YMin());
        return area;
    }
    int EntryNamed(const QString& text) { return SC().cbDrive->findText(text, Qt::MatchExactly); }

    std::string Runtime;
    std::shared_ptr<TMemoryDeviceManager> Manager;
    bool FHad = false;
    std::string FOld;
};

TEST_F(DeviceWindow, DevicesAreListedAfterTheDrivesAndScannedLikeFolders) {
    AddDevice("Phone");
    AddDevice("Webcam", "");
    W().DeviceWatch()->Refresh();
    QTRY_VERIFY(EntryNamed(QStringLiteral("Phone")) >= 0);
    QTRY_VERIFY(!W().DeviceWatch()->Listing());
    EXPECT_LT(EntryNamed(QStringLiteral("Webcam")), 0); // neither MTP nor PTP
    const TSourceList& list = SC().cbDrive->List();
    const int phone = EntryNamed(QStringLiteral("Phone"));
    EXPECT_EQ(list.Entries[size_t(phone)].Kind, DT_DEVICE);
    for (int i = 0; i < int(list.Entries.size()); ++i) {
        const TSourceKind k = list.Entries[size_t(i)].Kind;
        if (k == DT_DRIVE || k == DT_NTFS) {
            EXPECT_LT(i, phone) << "drives come first";
        }
        if (k == DT_USERFOLDER || k == DT_FOLDER) {
            EXPECT_GT(i, phone);
        }
    }

    SC().cbDrive->SelectQuietly(phone);
    QTest::mouseClick(SC().findChild<QPushButton*>(QStringLiteral("btnScan")), Qt::LeftButton);
    ASSERT_TRUE(WaitForEnd());
    ASSERT_EQ(Tree().Roots().size(), 1u);
    TTreeNode* root = Node("");
    EXPECT_EQ(Utf16ToUtf8(root->Data.Rec->Name()), "Phone");
    EXPECT_EQ(root->Data.Rec->SubFoldersTotSize, 1524u);
    ASSERT_NE(Node("Internal storage\\DCIM\\a.jpg"), nullptr);
    EXPECT_EQ(Node("SD card")->Data.Rec->SubFoldersTotSize, 500u);

    // A device arriving and one leaving: the list follows 2 seconds after the USB event; no
    // entry was picked since the scan ended, so the device that arrived is selected.
    AddDevice("Camera", "PTP");
    W().DeviceWatch()->UsbChanged();
    QTest::qWait(500);
    EXPECT_LT(EntryNamed(QStringLiteral("Camera")), 0) << "not before the settling delay";
    QTRY_VERIFY_WITH_TIMEOUT(EntryNamed(QStringLiteral("Camera")) >= 0, 5000);
    EXPECT_EQ(SC().cbDrive->currentText(), QStringLiteral("Camera"));
    Manager->Entries.erase(Manager->Entries.begin() + 2);
    W().DeviceWatch()->UsbChanged();
    QTRY_VERIFY_WITH_TIMEOUT(EntryNamed(QStringLiteral("Camera")) < 0, 5000);
    EXPECT_GE(EntryNamed(QStringLiteral("Phone")), 0);
}

TEST_F(DeviceWindow, DeviceHeldByTheDesktopIsReadThroughItsMountAndTheStatusLineSaysSo) {
    const std::string mount = Runtime + "/gvfs/mtp:host=Maker_Phone_SER1";
    WriteSized(mount + "/Internal storage/DCIM/a.jpg", 1000);
    TMemoryDeviceManager::TEntry e;
    e.Info.Id = "usb:003,009";
    e.Info.FriendlyName = "Phone";
    e.Info.Protocol = "MTP";
    e.Info.UsbSerial = "Maker_Phone_SER1";
    e.OpenError = "Cannot open the device Phone: it is in use by gvfsd-mtp";
    Manager->Entries.push_back(e);
    ASSERT_TRUE(ScanAndWait("Phone\\Internal storage"));
    EXPECT_EQ(Node("")->Data.Rec->SubFoldersTotSize, 1000u);
    EXPECT_TRUE(
        Status().contains(QStringLiteral("Read through the desktop's mount of the device (") +
                          QString::fromStdString(mount) + QStringLiteral(")")))
        << Status().toStdString();
    EXPECT_EQ(Manager->Opened, 0);

    // Unmounted, and the device still held: the scan fails with the reason.
    ASSERT_EQ(std::system(("rm -r '" + mount + "'").c_str()), 0);
    EXPECT_FALSE(ScanAndWait("Phone\\Internal storage"));
    EXPECT_TRUE(Status().contains(QStringLiteral("it is in use by gvfsd-mtp")))
        << Status().toStdString();
}

// A device unplugged while it is walked: the scan ends with what was read, the folders not
// read yet are marked, the status line says why, and the window takes the next scan.
TEST_F(DeviceWindow, ADeviceUnpluggedDuringTheScanEndsWithWhatWasReadAndTheWindowStaysUsable) {
    TMemoryDevice& phone = AddDevice("Phone");
    phone.ListingsLeft = 2; // the device's root and its first storage
    ASSERT_TRUE(ScanAndWait("Phone")) << Status().toStdString();
    EXPECT_TRUE(Status().contains(QStringLiteral("the device was disconnected during the scan")))
        << Status().toStdString();
    EXPECT_TRUE(W().ScanStatus()->lblStatus->toolTip().contains(
        QStringLiteral("The device was disconnected during the scan")));
    ASSERT_NE(Node("Internal storage\\b.bin"), nullptr);
    EXPECT_TRUE(Node("Internal storage\\DCIM")->Data.Rec->Unreadable);
    EXPECT_TRUE(Node("SD card")->Data.Rec->Unreadable);
    EXPECT_EQ(Node("")->Data.Rec->SubFoldersTotSize, 24u);
    EXPECT_FALSE(SC().ScanInProgress());
    EXPECT_TRUE(SC().btnScan->isVisible());
    EXPECT_TRUE(SC().cbDrive->isEnabled());

    // Plugged in again: the next scan reads everything.
    Manager->Entries.clear();
    AddDevice("Phone");
    ASSERT_TRUE(ScanAndWait("Phone")) << Status().toStdString();
    EXPECT_FALSE(Status().contains(QStringLiteral("disconnected"))) << Status().toStdString();
    EXPECT_EQ(Node("")->Data.Rec->SubFoldersTotSize, 1524u);
}

// Deleting on a device from the window: permanently (the trash command is off and says why),
// after the usual question, on the job's thread; only the chosen objects go, the views and
// the storages' space follow, and the totals are those of a new scan of the device.
TEST_F(DeviceWindow, ChosenItemsAreDeletedOnTheDeviceAndTheViewsFollow) {
    WriteSized(Data + "/phone/Internal storage/DCIM/a2.jpg", 2000);
    WriteSized(Data + "/phone/Internal storage/DCIM2/keep.jpg", 300);
    WriteSized(Data + "/phone/SD card/c.mp3.bak", 70);
    TMemoryDevice& device = AddDevice("Phone");
    device.Space = TStorageSpace{64000, 1000};
    W().Treemap()->actShowFreeSpace->setChecked(true);
    ASSERT_TRUE(ScanAndWait("Phone"));
    EXPECT_FALSE(FA().actDeleteRecycle->isEnabled());
    EXPECT_TRUE(FA().actDeleteRecycle->toolTip().contains(QStringLiteral("no trash")))
        << FA().actDeleteRecycle->toolTip().toStdString();
    EXPECT_TRUE(FA().actDeleteNoRecycle->isEnabled());
    EXPECT_FALSE(FA().actCopy->isEnabled());
    // Both storages: 128,000 bytes, 2,000 free.
    EXPECT_EQ(SC().Session().DiskSizes[0].freespace, 2000u);
    const double freeBefore = FreeSpaceArea();

    PMFT_RECORD dcim = Rec("Internal storage\\DCIM"), mp3 = Rec("SD card\\c.mp3");
    const std::vector<TDeviceObjectId> chosen = {device.Object("Internal storage/DCIM/a.jpg").Id,
                                                 device.Object("Internal storage/DCIM/a2.jpg").Id,
                                                 device.Object("Internal storage/DCIM").Id,
                                                 device.Object("SD card/c.mp3").Id};
    SelectRows({"Internal storage\\DCIM", "SD card\\c.mp3"});
    TDialogAnswers answers({QStringLiteral("btnDeleteConfirm")});
    Press(Qt::Key_Delete, Qt::ShiftModifier);
    ASSERT_TRUE(WaitForDeletes(1));
    ASSERT_EQ(answers.Texts.size(), 1);
    for (const char* said : {"Delete 2 items", "3.4 KB", "permanently", "no trash"})
        EXPECT_TRUE(answers.Texts[0].contains(QString::fromUtf8(said)))
            << said << " in " << answers.Texts[0].toStdString();
    EXPECT_EQ(DeleteGone, 2);
    EXPECT_TRUE(Status().contains(QStringLiteral("2 items deleted permanently")))
        << Status().toStdString();

    // Only the chosen objects went; their siblings of similar names stay.
    std::vector<TDeviceObjectId> deleted = device.Deleted;
    std::sort(deleted.begin(), deleted.end(), [](auto& a, auto& b) { return a.Handle < b.Handle; });
    std::vector<TDeviceObjectId> expected = chosen;
    std::sort(expected.begin(), expected.end(),
              [](auto& a, auto& b) { return a.Handle < b.Handle; });
    EXPECT_EQ(deleted, expected);
    auto fresh = FreshScan("Phone");
    for (const char* kept :
         {"Internal storage\\DCIM2\\keep.jpg", "Internal storage\\b.bin", "SD card\\c.mp3.bak"})
        EXPECT_NE(FindRecordByPath(fresh->MFTRoot, Utf8ToUtf16(kept)), nullptr) << kept;

    // The records are marked, the totals are a new scan's, and the freed space shows.
    EXPECT_TRUE(dcim->Deleted);
    EXPECT_TRUE(mp3->Deleted);
    EXPECT_FALSE(Rec("Internal storage\\DCIM2")->Deleted);
    ExpectTotalsOfAFreshScan("Phone");
    EXPECT_EQ(SC().Session().DiskSizes[0].freespace, 2000u + 3000u + 500u);
    EXPECT_EQ(W().SpaceSummary()->lblSpaceFree->text(), QStringLiteral("5.4 KB"));
    EXPECT_GT(FreeSpaceArea(), freeBefore);
}

// A failure is asked with the object's path and the device's reason: Skip goes on with the
// next item (and what inside a folder did go leaves the views), Stop leaves the rest alone.
TEST_F(DeviceWindow, AFailureOnTheDeviceIsAskedAndSkipOrStopDecidesWhatFollows) {
    WriteSized(Data + "/phone/Internal storage/DCIM/a2.jpg", 2000);
    WriteSized(Data + "/phone/SD card/d.mp3", 40);
    TMemoryDevice& device = AddDevice("Phone");
    device.RefuseDelete("Internal storage/DCIM/a2.jpg"); // after a.jpg in device order
    device.RefuseDelete("SD card/c.mp3");
    ASSERT_TRUE(ScanAndWait("Phone"));
    // The records, taken while the views show them.
    PMFT_RECORD dcim = Rec("Internal storage\\DCIM"), a = Rec("Internal storage\\DCIM\\a.jpg"),
                a2 = Rec("Internal storage\\DCIM\\a2.jpg"), b = Rec("Internal storage\\b.bin"),
                d = Rec("SD card\\d.mp3");

    SelectRows({"Internal storage\\DCIM", "Internal storage\\b.bin"});
    TDialogAnswers skip({QStringLiteral("btnDeleteConfirm"), QStringLiteral("btnFailSkip")});
    Press(Qt::Key_Delete, Qt::ShiftModifier);
    ASSERT_TRUE(WaitForDeletes(1));
    ASSERT_EQ(skip.Texts.size(), 2);
    EXPECT_TRUE(skip.Texts[1].contains(QStringLiteral("Phone\\Internal storage\\DCIM\\a2.jpg")))
        << skip.Texts[1].toStdString();
    EXPECT_TRUE(skip.Texts[1].contains(QStringLiteral("PTP: Access Denied")));
    EXPECT_TRUE(Status().contains(QStringLiteral("1 of 2 items are gone; 1 could not be deleted")))
        << Status().toStdString();
    EXPECT_FALSE(dcim->Deleted);
    EXPECT_TRUE(a->Deleted);
    EXPECT_FALSE(a2->Deleted);
    EXPECT_TRUE(b->Deleted);
    ExpectTotalsOfAFreshScan("Phone");

    const size_t before = device.Deleted.size();
    SelectRows({"SD card\\c.mp3", "SD card\\d.mp3"});
    TDialogAnswers stop({QStringLiteral("btnDeleteConfirm"), QStringLiteral("btnFailStop")});
    Press(Qt::Key_Delete, Qt::ShiftModifier);
    ASSERT_TRUE(WaitForDeletes(2));
    ASSERT_EQ(stop.Texts.size(), 2);
    EXPECT_TRUE(stop.Texts[1].contains(QStringLiteral("Phone\\SD card\\c.mp3")));
    EXPECT_EQ(device.Deleted.size(), before) << "d.mp3 was not tried";
    EXPECT_FALSE(d->Deleted);
    ExpectTotalsOfAFreshScan("Phone");
}

// A device that arrives is selected (no scan starts) until the user picks an entry; the end
// of a scan lets the next arrival be selected again. The arrival comes through the USB watcher's
// own entry (UsbChanged).
TEST_F(DeviceWindow, ADeviceThatArrivesIsSelectedUnlessTheUserPickedAnEntry) {
    W().DeviceWatch()->Refresh();
    QTRY_VERIFY(!W().DeviceWatch()->Listing());
    const QString first = SC().cbDrive->currentText();
    auto arrive = [&](const std::string& name) {
        AddDevice(name);
        W().DeviceWatch()->UsbChanged();
        QTRY_VERIFY_WITH_TIMEOUT(EntryNamed(QString::fromStdString(name)) >= 0, 5000);
        QTRY_VERIFY(!W().DeviceWatch()->Listing());
    };
    arrive("Phone");
    EXPECT_EQ(SC().cbDrive->currentText(), QStringLiteral("Phone"));
    EXPECT_TRUE(Tree().Roots().empty()) << "no scan starts";

    // The user picks an entry: a device arriving later leaves it selected.
    const int pick = SC().cbDrive->findText(first);
    ASSERT_GE(pick, 0);
    SC().cbDrive->setCurrentIndex(pick);
    emit SC().cbDrive->activated(pick);
    arrive("Camera");
    EXPECT_EQ(SC().cbDrive->currentText(), first);

    // After a scan the next arrival is selected again.
    ASSERT_TRUE(ScanAndWait("Phone"));
    arrive("Tablet");
    EXPECT_EQ(SC().cbDrive->currentText(), QStringLiteral("Tablet"));
}

// Screenshots for a look by eye, taken under Xvfb when QZ_SHOTS names a folder (skipped
// otherwise): the question before a delete on a device, and the treemap afterwards with the
// deleted items outlined in red.
TEST_F(DeviceWindow, DeleteScreenshots) {
    const char* folder = std::getenv("QZ_SHOTS");
    if (!folder) GTEST_SKIP() << "QZ_SHOTS is not set";
    for (int i = 0; i < 12; ++i)
        WriteSized(Data + "/phone/Internal storage/DCIM/Camera/img" + std::to_string(i) + ".jpg",
                   300000 + 40000 * i);
    for (int i = 0; i < 6; ++i)
        WriteSized(Data + "/phone/Internal storage/Music/track" + std::to_string(i) + ".mp3",
                   500000 + 90000 * i);
    WriteSized(Data + "/phone/SD card/Movies/trip.mp4", 4000000);
    TMemoryDevice& device = AddDevice("Phone");
    device.Space = TStorageSpace{16000000, 5000000};
    W().resize(1200, 800);
    ASSERT_TRUE(ScanAndWait("Phone"));
    View().expand(Model().IndexOf(Node("Internal storage")));
    SelectRows({"Internal storage\\Music", "SD card\\Movies\\trip.mp4"});
    // The question is grabbed as it shows, then answered.
    bool grabbed = false;
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible() || grabbed) return;
        QTest::qWait(150);
        const std::string path = std::string(folder) + "/device-delete-question.png";
        EXPECT_TRUE(box->grab().save(QString::fromStdString(path))) << path;
        grabbed = true;
        box->findChild<QAbstractButton*>(QStringLiteral("btnDeleteConfirm"))->click();
    });
    look.start(20);
    Press(Qt::Key_Delete, Qt::ShiftModifier);
    ASSERT_TRUE(WaitForDeletes(1));
    look.stop();
    EXPECT_TRUE(grabbed);
    TTreemapPanel& map = *W().Treemap();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !map.Drawing() && map.Picture(); }));
    QTest::qWait(300);
    const std::string path = std::string(folder) + "/device-delete-treemap.png";
    EXPECT_TRUE(W().grab().save(QString::fromStdString(path))) << path;
}

} // namespace
