// Portable devices in the window: listed in the source list when the window starts and again
// after USB events, scanned like folders, and a device the desktop holds read through its
// mount with the status line saying so. The devices are held in memory (no USB here).
#include "tests/gui/window_fixture.h"

#include "base/text.h"
#include "gui/devicewatch.h"
#include "gui/sourcepicker.h"
#include "gui/statuspanel.h"
#include "sources/device.h"
#include "tests/sources/memory_device.h"

#include <QPushButton>
#include <QTest>
#include <cstdlib>
#include <sys/stat.h>

using namespace qz;
using namespace qz::test;

namespace {

// The devices of the process replaced, and an empty runtime folder (no desktop mounts).
class DeviceWindow : public WindowFixture {
protected:
    void SetUp() override {
        WindowFixture::SetUp();
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
        WindowFixture::TearDown();
    }
    void AddDevice(const std::string& name, const std::string& protocol = "MTP") {
        TMemoryDeviceManager::TEntry e;
        e.Info.Id = "usb:" + name;
        e.Info.FriendlyName = name;
        e.Info.Protocol = protocol;
        e.Device = std::make_shared<TMemoryDevice>(Data + "/phone");
        Manager->Entries.push_back(e);
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

    // A device arriving and one leaving: the list follows 2 seconds after the USB event, and
    // the selected device stays selected.
    AddDevice("Camera", "PTP");
    W().DeviceWatch()->UsbChanged();
    QTest::qWait(500);
    EXPECT_LT(EntryNamed(QStringLiteral("Camera")), 0) << "not before the settling delay";
    QTRY_VERIFY_WITH_TIMEOUT(EntryNamed(QStringLiteral("Camera")) >= 0, 5000);
    EXPECT_EQ(SC().cbDrive->currentText(), QStringLiteral("Phone"));
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

} // namespace
