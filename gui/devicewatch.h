// Keeps the portable devices of the source list current: lists them when the window starts
// and again 2 seconds after a USB device arrives or leaves (timNewDrive), always on a worker
// thread (a device seen for the first time is asked for its name, which may take seconds),
// and hands the new device entries to OnDevices on the window's thread.
#pragma once

#include "fsops/sourcekind.h"
#include "sources/device_usbwatch.h"

#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>
#include <vector>

class QSocketNotifier;

namespace qz {

class TDeviceSourceWatcher : public QObject {
    Q_OBJECT
public:
    explicit TDeviceSourceWatcher(QObject* parent = nullptr);
    ~TDeviceSourceWatcher() override;

    // The device entries, each time the devices have been listed; afterUsbEvent: the listing
    // followed a USB event (a device may have arrived), not the window's start.
    std::function<void(std::vector<TSourceEntry>, bool afterUsbEvent)> OnDevices;
    // Lists the devices now (on a worker thread); a request while a listing runs is carried
    // out once it has ended.
    void Refresh();
    // A USB device arrived or left: refresh after the settling delay.
    void UsbChanged() { timNewDrive.start(); }
    bool Listing() const { return FListing; }

private:
    void OnListed(std::vector<TSourceEntry> entries, bool afterUsbEvent);

    QTimer timNewDrive;
    std::unique_ptr<TUsbWatcher> FUsb;
    QSocketNotifier* FNotifier = nullptr;
    bool FListing = false;
    bool FAgain = false;
    bool FUsbEvent = false; // a USB event waits for its listing
};

} // namespace qz
