// The device walk: scans a portable device, or a folder inside it, into the scan's records.
//
// FSource is a device path ("Pixel 7\Internal storage\DCIM"). The root is record 5, named by
// the whole path; the objects below get running numbers from 24 upward, folders (and the
// storages, the first level of a whole device) as folder records, files with their size as
// both size and bytes on disk. The object tree is read folder by folder on the scan thread, in
// device order, depth first; entries matching the exclude filter are dropped as they are found
// (an excluded folder is never read). Progress every 100 files and after each folder; cancel
// stops before the next folder.
//
// What cannot be read is counted in the scan's Warnings and the walk goes on: a folder that
// cannot be listed (kept, marked Unreadable), objects whose properties or names cannot be read
// (left out), files of unknown size (0 bytes, marked Unreadable). A device that goes away ends
// the walk: the folders not read yet are marked Unreadable and the scan says so. A device the
// desktop holds is read through the desktop's mount of it, and the scan names that folder.
#pragma once

#include "engine/scan.h"
#include "sources/device.h"

#include <string>

namespace qz {

// The device pass of ProcessMFTRecords: finds the device nf.FSource names among the devices
// of DeviceManager() (GetMTPIDFromFriendlyName), opens it, finds the inner folders and walks.
// Failures (no such device, the device cannot be opened, a folder not on the device) are
// reported through nf.WasError and nf.ErrorMessage; the root record exists in any case.
void DoDeviceScan(TNTFS_FILES& nf, const std::u16string& FilterInclude,
                  const std::u16string& FilterExclude, bool FilterFullPath);

// What the status line adds after a device scan: that the device was read through the
// desktop's mount of it (naming the folder), or that it went away during the walk; empty for
// other scans.
std::string DeviceScanNote(const TScanWarnings& warnings);

// The walk of one open device from start (a folder, a storage or the device root) below
// nf's root record, which must exist (nf.MFTRoot). Storage figures go to nf.DeviceDinfo.
void WalkDevice(TNTFS_FILES& nf, TPortableDevice& device, const TDeviceObject& start,
                const std::u16string& FilterInclude, const std::u16string& FilterExclude,
                bool FilterFullPath);

// The space figures of what start lies in: its storage, or every storage of the device when
// start is the device root (rootStorages: the root's storages when they are known already;
// else the root is listed). Figures only when a storage tells its space; used space is
// capacity less free space. Talks to the device.
TDiskSizeInfo DeviceSpaceOf(TPortableDevice& device, const TDeviceObject& start,
                            const std::u16string& itempath,
                            const std::vector<uint32_t>* rootStorages = nullptr);

} // namespace qz
