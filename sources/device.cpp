#include "sources/device.h"

#include "sources/device_libmtp.h"

#include <mutex>

namespace qz {

namespace {
std::mutex gManagerLock;
std::shared_ptr<TDeviceManager> gManager; // guarded by gManagerLock
} // namespace

std::shared_ptr<TDeviceManager> DeviceManager() {
    std::lock_guard<std::mutex> g(gManagerLock);
    if (!gManager) gManager = NewMtpDeviceManager();
    return gManager;
}

void SetDeviceManager(std::shared_ptr<TDeviceManager> manager) {
    std::lock_guard<std::mutex> g(gManagerLock);
    gManager = std::move(manager);
}

} // namespace qz
