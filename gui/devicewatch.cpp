#include "gui/devicewatch.h"

#include "base/debuglog.h"
#include "fsops/devicesources.h"
#include "sources/device_gvfs.h"
#include "sources/devicelookup.h"

#include <QCoreApplication>
#include <QPointer>
#include <QSocketNotifier>
#include <QThreadPool>
#include <utility>

namespace qz {

TDeviceSourceWatcher::TDeviceSourceWatcher(QObject* parent)
    : QObject(parent), FUsb(std::make_unique<TUsbWatcher>()) {
    timNewDrive.setObjectName(QStringLiteral("timNewDrive"));
    timNewDrive.setSingleShot(true);
    timNewDrive.setInterval(2000);
    connect(&timNewDrive, &QTimer::timeout, this, [this] {
        FUsbEvent = true;
        Refresh();
    });
    if (!FUsb->Active()) {
        DebugLog("USB events not watched: " + FUsb->Error());
        return;
    }
    FNotifier = new QSocketNotifier(FUsb->Fd(), QSocketNotifier::Read, this);
    connect(FNotifier, &QSocketNotifier::activated, this, [this] {
        TUsbEvent e;
        bool any = false;
        while (FUsb->Read(e)) {
            DebugLog(
                std::string(e.Kind == TUsbEventKind::Arrival ? "USB arrival " : "USB removal ") +
                e.SysPath);
            any = true;
        }
        if (any) UsbChanged();
    });
}

TDeviceSourceWatcher::~TDeviceSourceWatcher() = default;

void TDeviceSourceWatcher::Refresh() {
    timNewDrive.stop();
    if (FListing) {
        FAgain = true;
        return;
    }
    FListing = true;
    const bool usbEvent = std::exchange(FUsbEvent, false);
    QPointer<TDeviceSourceWatcher> self(this);
    QThreadPool::globalInstance()->start([self, usbEvent] {
        std::shared_ptr<TDeviceManager> manager = DeviceManager();
        const TDeviceList list = ListPortableDevices(*manager, GvfsRootFolder());
        if (!list.Error.empty()) DebugLog(list.Error);
        std::vector<TSourceEntry> entries = DeviceSourceEntries(list.Devices);
        // Back on the window's thread; the watcher may be gone by then.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, usbEvent, entries = std::move(entries)]() mutable {
                if (self) self->OnListed(std::move(entries), usbEvent);
            },
            Qt::QueuedConnection);
    });
}

void TDeviceSourceWatcher::OnListed(std::vector<TSourceEntry> entries, bool afterUsbEvent) {
    FListing = false;
    if (OnDevices) OnDevices(std::move(entries), afterUsbEvent);
    if (FAgain) {
        FAgain = false;
        Refresh();
    }
}

} // namespace qz
