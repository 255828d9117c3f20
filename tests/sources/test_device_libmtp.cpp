// The USB back end (libmtp) as far as it can run without a device: detection that finds
// nothing, opening what is not there, and the library's error numbers turned into messages.
#include "base/text.h"
#include "engine/scan.h"
#include "sources/device.h"
#include "sources/device_libmtp.h"
#include "sources/device_usbwatch.h"
#include "sources/devicelookup.h"
#include "sources/sources.h"
#include "tests/support/testsupport.h"

#include <cstdlib>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <libmtp.h>
#include <set>

namespace qz::test {
namespace {

TEST(MtpBackEnd, ErrorNumbersBecomeMessages) {
    const int all[] = {
        LIBMTP_ERROR_NONE,         LIBMTP_ERROR_GENERAL,           LIBMTP_ERROR_PTP_LAYER,
        LIBMTP_ERROR_USB_LAYER,    LIBMTP_ERROR_MEMORY_ALLOCATION, LIBMTP_ERROR_NO_DEVICE_ATTACHED,
        LIBMTP_ERROR_STORAGE_FULL, LIBMTP_ERROR_CONNECTING,        LIBMTP_ERROR_CANCELLED};
    std::set<std::string> texts;
    for (int e : all) texts.insert(MtpErrorText(e));
    EXPECT_EQ(texts.size(), std::size(all)) << "each error number has its own text";
    EXPECT_EQ(texts.count("unknown error"), 0u);
    EXPECT_STREQ(MtpErrorText(12345), "unknown error");

    // Detection: nothing attached is an empty list, not a failure.
    EXPECT_EQ(MtpDetectionFailure(LIBMTP_ERROR_NONE), "");
    EXPECT_EQ(MtpDetectionFailure(LIBMTP_ERROR_NO_DEVICE_ATTACHED), "");
    EXPECT_EQ(MtpDetectionFailure(LIBMTP_ERROR_CONNECTING),
              "Portable devices cannot be listed: the USB system cannot be reached");
    EXPECT_EQ(MtpDetectionFailure(LIBMTP_ERROR_MEMORY_ALLOCATION),
              "Portable devices cannot be listed: out of memory");
}

TEST(MtpBackEnd, NoDeviceFound) {
    std::shared_ptr<TDeviceManager> manager = NewMtpDeviceManager();
    std::vector<TDeviceInfo> devices;
    std::string error;
    const bool listed = manager->GetDevices(devices, error);
    if (listed && !devices.empty()) GTEST_SKIP() << "an MTP device is attached to this machine";
    // Without USB access detection may fail; it then says why.
    if (!listed) {
        EXPECT_EQ(error.rfind("Portable devices cannot be listed: ", 0), 0u) << error;
    }

    // A device the manager has not listed is not opened.
    TDeviceInfo gone;
    gone.Id = "usb:001,004";
    gone.DisplayName = "Phone";
    error.clear();
    EXPECT_EQ(manager->Open(gone, error), nullptr);
    EXPECT_EQ(error, "The device Phone is no longer connected");
    // Nor is a USB address with nothing behind it.
    EXPECT_EQ(OpenMtpDeviceAt(999, 250, error), nullptr);
    EXPECT_EQ(error, "Cannot open the device usb:999,250: it is no longer connected");

    // A scan of a device path with the process's own back end, and no desktop mounts.
    TempDir runtime;
    const char* old = std::getenv("XDG_RUNTIME_DIR");
    const std::string saved = old ? old : "";
    ::setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 1);
    SetDeviceManager(nullptr);
    auto scan = TNTFS_FILES::CreateDevice(u"Phone\\Internal storage", ScanSourcePasses());
    scan->ProcessMFTRecords({.FullPath = true});
    if (old)
        ::setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
    else
        ::unsetenv("XDG_RUNTIME_DIR");
    EXPECT_TRUE(scan->WasError);
    EXPECT_EQ(scan->ErrorMessage.rfind("No connected portable device is named Phone", 0), 0u)
        << scan->ErrorMessage;
    ASSERT_NE(scan->MFTRoot, nullptr);
    EXPECT_EQ(Utf16ToUtf8(scan->MFTRoot->Name()), "Phone\\Internal storage");
}

TEST(UsbWatcher, ReadingWithoutEventsDoesNotWait) {
    TUsbWatcher watcher;
    if (!watcher.Active()) {
        EXPECT_FALSE(watcher.Error().empty());
        GTEST_SKIP() << "no udev events here: " << watcher.Error();
    }
    EXPECT_NE(::fcntl(watcher.Fd(), F_GETFL) & O_NONBLOCK, 0);
    TUsbEvent event;
    EXPECT_FALSE(watcher.Read(event)); // returns at once: nothing is plugged in during the test
}

} // namespace
} // namespace qz::test
