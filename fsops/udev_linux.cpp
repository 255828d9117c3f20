#include "fsops/udev_linux.h"

#include <libudev.h>
#include <memory>
#include <sys/stat.h>

namespace qz {

std::string UdevFileSystemType(const std::string& devicePath) {
    struct stat st {};
    if (::stat(devicePath.c_str(), &st) != 0 || !S_ISBLK(st.st_mode)) return {};
    std::unique_ptr<udev, decltype(&udev_unref)> u(udev_new(), &udev_unref);
    if (!u) return {};
    std::unique_ptr<udev_device, decltype(&udev_device_unref)> d(
        udev_device_new_from_devnum(u.get(), 'b', st.st_rdev), &udev_device_unref);
    if (!d) return {};
    const char* type = udev_device_get_property_value(d.get(), "ID_FS_TYPE");
    return type ? type : "";
}

} // namespace qz
