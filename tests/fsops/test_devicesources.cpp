// The device entries of the source list: which devices are listed, where the entries go, and
// the selection across a refresh.
#include "base/text.h"
#include "fsops/devicesources.h"

#include <gtest/gtest.h>

namespace qz {
namespace {

TDeviceInfo Device(const std::string& name, const std::string& protocol) {
    TDeviceInfo d;
    d.DisplayName = name;
    d.Protocol = protocol;
    return d;
}

TSourceEntry Entry(TSourceKind kind, const std::string& text) {
    TSourceEntry e;
    e.Kind = kind;
    e.Text = Utf8ToUtf16(text);
    e.Path = text;
    return e;
}

std::vector<std::string> Texts(const TSourceList& l) {
    std::vector<std::string> out;
    for (const TSourceEntry& e : l.Entries) out.push_back(Utf16ToUtf8(e.Text));
    return out;
}

TEST(DeviceSources, OnlyMtpAndPtpDevicesAreListedByTheirDisplayNames) {
    const std::vector<TSourceEntry> e =
        DeviceSourceEntries({Device("Phone", "MTP"), Device("Webcam", ""), Device("Camera", "PTP"),
                             Device("Player", "MTP/1.1"), Device("Storage", "MSC")});
    ASSERT_EQ(e.size(), 3u);
    const char* names[] = {"Phone", "Camera", "Player"};
    for (size_t i = 0; i < e.size(); ++i) {
        EXPECT_EQ(e[i].Kind, DT_DEVICE);
        EXPECT_EQ(Utf16ToUtf8(e[i].Text), names[i]);
        EXPECT_EQ(e[i].Path, names[i]); // the device path the scan is given
    }
}

TEST(DeviceSources, EntriesFollowTheDrivesAndTheSelectionStays) {
    TSourceList list;
    list.Entries = {Entry(DT_DRIVE, "[/] sda1 (ext4)"), Entry(DT_NTFS, "[/mnt/win] sdb1 (ntfs3)"),
                    Entry(DT_DEVICE, "Old phone"), Entry(DT_USERFOLDER, "/home/me/Music"),
                    Entry(DT_FOLDER, "<Select Folder...>")};
    struct Case {
        int selected;
        std::vector<std::string> devices;
        std::vector<std::string> texts;
        int selectedAfter;
    };
    const std::vector<std::string> base = {"[/] sda1 (ext4)", "[/mnt/win] sdb1 (ntfs3)"};
    auto with = [&](std::vector<std::string> devs) {
        std::vector<std::string> t = base;
        t.insert(t.end(), devs.begin(), devs.end());
        t.push_back("/home/me/Music");
        t.push_back("<Select Folder...>");
        return t;
    };
    const Case cases[] = {
        {3, {"Phone", "Camera"}, with({"Phone", "Camera"}), 4},       // the user folder stays
        {2, {"Phone", "Old phone"}, with({"Phone", "Old phone"}), 3}, // the device stays
        {2, {"Phone"}, with({"Phone"}), 0},                           // the device is gone
        {-1, {}, with({}), -1},                                       // nothing was selected
    };
    for (const Case& c : cases) {
        TSourceList l = list;
        l.Selected = c.selected;
        std::vector<TSourceEntry> devices;
        for (const std::string& d : c.devices) devices.push_back(Entry(DT_DEVICE, d));
        PutDeviceEntries(l, devices);
        EXPECT_EQ(Texts(l), c.texts);
        EXPECT_EQ(l.Selected, c.selectedAfter) << c.selected;
    }
    // Without drives the devices come first.
    TSourceList bare;
    bare.Entries = {Entry(DT_FOLDER, "<Select Folder...>")};
    bare.Selected = 0;
    PutDeviceEntries(bare, {Entry(DT_DEVICE, "Phone")});
    EXPECT_EQ(Texts(bare), (std::vector<std::string>{"Phone", "<Select Folder...>"}));
    EXPECT_EQ(bare.Selected, 1);
}

} // namespace
} // namespace qz
