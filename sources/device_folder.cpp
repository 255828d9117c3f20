#include "sources/device_folder.h"

#include "sources/device_dirhandle.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace qz {

namespace {

// Entry names of a folder in the order the file system gives them.
bool ReadNames(const std::string& folder, std::vector<std::string>& names, std::string& error) {
    names.clear();
    TDirHandle dir(::opendir(folder.c_str()));
    if (!dir) {
        error = std::strerror(errno);
        return false;
    }
    errno = 0;
    while (dirent* e = ::readdir(dir.get())) {
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
        names.emplace_back(e->d_name);
        errno = 0;
    }
    if (errno != 0) {
        error = std::strerror(errno);
        names.clear();
        return false;
    }
    return true;
}

} // namespace

TFolderDevice::TFolderDevice(std::string root) : FRoot(std::move(root)) {
    while (FRoot.size() > 1 && FRoot.back() == '/') FRoot.pop_back();
}

std::string TFolderDevice::PathOf(const TDeviceObjectId& object) const {
    if (object.IsDeviceRoot()) return FRoot;
    if (object.IsStorage())
        return object.Storage <= FStorages.size() ? FStorages[object.Storage - 1] : std::string();
    return object.Handle >= 1 && object.Handle <= FObjects.size() ? FObjects[object.Handle - 1]
                                                                  : std::string();
}

bool TFolderDevice::ListChildren(const TDeviceObjectId& parent, std::vector<TDeviceObject>& out,
                                 std::string& error) {
    out.clear();
    const std::string folder = PathOf(parent);
    if (folder.empty()) {
        error = "unknown object";
        return false;
    }
    std::vector<std::string> names;
    if (!ReadNames(folder, names, error)) return false;
    for (std::string& name : names) {
        std::string path = folder + "/" + name;
        struct stat st {};
        const bool examined = ::lstat(path.c_str(), &st) == 0;
        TDeviceObject o;
        if (parent.IsDeviceRoot()) {
            // Only folders are storages; anything else at the top is not part of the device.
            if (examined && !S_ISDIR(st.st_mode)) continue;
            FStorages.push_back(std::move(path));
            o.Id = {uint32_t(FStorages.size()), TDeviceObjectId::kStorageRoot};
            o.Kind = TDeviceObjectKind::FunctionalObject;
            o.Name = std::move(name);
        } else {
            FObjects.push_back(std::move(path));
            o.Id = {parent.Storage, uint32_t(FObjects.size())};
            o.Kind = examined && S_ISDIR(st.st_mode) ? TDeviceObjectKind::Folder
                                                     : TDeviceObjectKind::File;
            o.OriginalFileName = std::move(name);
        }
        o.PropertiesRead = examined;
        if (examined) {
            if (!S_ISDIR(st.st_mode)) o.Size = uint64_t(st.st_size);
            if (st.st_mtime > 0) o.Modified = int64_t(st.st_mtime);
        }
        out.push_back(std::move(o));
    }
    return true;
}

std::optional<TStorageSpace> TFolderDevice::StorageSpace(uint32_t storage) {
    const std::string path = PathOf({storage, TDeviceObjectId::kStorageRoot});
    struct stat st {};
    struct statvfs sv {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0 || ::statvfs(path.c_str(), &sv) != 0 ||
        sv.f_blocks == 0)
        return std::nullopt;
    // Storages on one file system share its figures: only the first of them reports them, so
    // that a whole device's total counts them once.
    for (const auto& [dev, first] : FMeasured)
        if (dev == st.st_dev && first != storage) return std::nullopt;
    FMeasured.emplace_back(st.st_dev, storage);
    const uint64_t unit = sv.f_frsize ? sv.f_frsize : sv.f_bsize;
    return TStorageSpace{uint64_t(sv.f_blocks) * unit, uint64_t(sv.f_bavail) * unit};
}

bool TFolderDevice::DeleteObject(const TDeviceObjectId& object, std::string& error) {
    if (object.IsDeviceRoot() || object.IsStorage()) {
        error = "a storage cannot be deleted";
        return false;
    }
    const std::string path = PathOf(object);
    if (path.empty()) {
        error = "unknown object";
        return false;
    }
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        error = std::strerror(errno);
        return false;
    }
    if ((S_ISDIR(st.st_mode) ? ::rmdir(path.c_str()) : ::unlink(path.c_str())) != 0) {
        error = std::strerror(errno);
        return false;
    }
    return true;
}

bool TFolderDevice::StillConnected() {
    return ::access(FRoot.c_str(), F_OK) == 0;
}

} // namespace qz
