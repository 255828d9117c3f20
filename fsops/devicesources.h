// The portable devices of the source list: one entry per connected MTP or PTP device (a phone,
// a camera, a media player), shown and scanned by its display name, placed after the mounted
// file systems. The device list is read by ListPortableDevices (sources/devicelookup.h), which
// may take seconds (a device seen for the first time is asked for its name): read it away from
// the window's thread and put the entries in with PutDeviceEntries.
#pragma once

#include "fsops/sourcelist.h"
#include "sources/device.h"

#include <vector>

namespace qz {

// LoadMFTDevices: entries (DT_DEVICE, text and path the display name) for the devices that
// speak MTP or PTP, in list order.
std::vector<TSourceEntry> DeviceSourceEntries(const std::vector<TDeviceInfo>& devices);

// Replaces the device entries of list with devices, placed after the last drive entry (at the
// top when there is none). The selected entry stays selected; a selected device that is gone
// leaves the first entry selected.
void PutDeviceEntries(TSourceList& list, std::vector<TSourceEntry> devices);

} // namespace qz
