// The USB back end of the portable devices: MTP through libmtp.
//
// Devices are found with libmtp's raw-device detection and opened uncached, so that folders
// are listed one by one as the walk reaches them instead of the whole object list being read
// at once. The names a device is listed under are read once per plugged device (opening a
// phone takes a while and disturbs it) and kept until it is unplugged.
#pragma once

#include "sources/device.h"

#include <memory>
#include <string>

namespace qz {

std::shared_ptr<TDeviceManager> NewMtpDeviceManager();

// libmtp's name for one of its error numbers ("no device attached"); for messages and tests.
const char* MtpErrorText(int libmtpError);

// What a detection that ended with libmtpError means for the list of devices: empty when it
// is no failure (no device attached is an empty list), else the message.
std::string MtpDetectionFailure(int libmtpError);

// Opens the device at a USB address as an MTP device, without detection first (tests of the
// failure paths: no device there). Nil with a reason when it cannot be opened.
std::unique_ptr<TPortableDevice> OpenMtpDeviceAt(uint32_t bus, uint32_t device, std::string& error);

} // namespace qz
