#include "tests/sources/memory_device.h"

#include "sources/device_dirhandle.h"

#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace qz::test {

class TMemoryDeviceHandle final : public TPortableDevice {
public:
    explicit TMemoryDeviceHandle(TMemoryDevice& device) : D(device) {}

    bool ListChildren(const TDeviceObjectId& parent, std::vector<TDeviceObject>& out,
                      std::string& error) override {
        out.clear();
        if (D.FGone || D.ListingsLeft == 0) {
            D.FGone = true;
            error = "no device attached";
            return false;
        }
        const size_t node = D.NodeOf(parent);
        if (node == size_t(-1)) {
            error = "invalid object handle";
            return false;
        }
        for (const TDeviceObjectId& r : D.FRefused)
            if (r == parent) {
                error = "access denied";
                return false;
            }
        D.Listed.push_back(parent);
        if (D.ListingsLeft > 0) --D.ListingsLeft;
        for (size_t c : D.FNodes[node].Children)
            if (!D.FNodes[c].Gone) out.push_back(D.FNodes[c].Object);
        return true;
    }
    std::optional<TStorageSpace> StorageSpace(uint32_t storage) override {
        if (!D.Space) return std::nullopt;
        return TStorageSpace{D.Space->Capacity, D.Space->Free + D.FFreed[storage]};
    }
    bool DeleteObject(const TDeviceObjectId& object, std::string& error) override {
        const size_t node = D.NodeOf(object);
        if (D.FGone || node == size_t(-1) || D.FNodes[node].Gone) {
            error = "invalid object handle";
            return false;
        }
        for (const TDeviceObjectId& r : D.FDeleteRefused)
            if (r == object) {
                error = "PTP: Access Denied";
                return false;
            }
        D.FNodes[node].Gone = true;
        D.FFreed[object.Storage] += D.FNodes[node].Object.Size.value_or(0);
        D.Deleted.push_back(object);
        return true;
    }
    bool StillConnected() override { return !D.FGone; }

private:
    TMemoryDevice& D;
};

TMemoryDevice::TMemoryDevice(const std::string& folder) {
    FNodes.push_back({});
    FNodes[0].Object.Id = kDeviceRootObject;
    FNodes[0].Object.Kind = TDeviceObjectKind::Folder;
    Load(folder, 0, "");
}

size_t TMemoryDevice::Add(const std::string& path, size_t parent, TDeviceObject object) {
    FNodes.push_back({std::move(object), {}, false});
    FNodes[parent].Children.push_back(FNodes.size() - 1);
    FPaths[path] = FNodes.size() - 1;
    return FNodes.size() - 1;
}

void TMemoryDevice::Load(const std::string& folder, size_t node, const std::string& prefix) {
    TDirHandle dir(::opendir(folder.c_str()));
    ASSERT_TRUE(dir) << folder;
    std::vector<std::string> names;
    while (dirent* e = ::readdir(dir.get()))
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
            names.emplace_back(e->d_name);
    std::sort(names.begin(), names.end()); // device order: by name, so tests can rely on it
    for (const std::string& name : names) {
        const std::string path = folder + "/" + name;
        struct stat st {};
        ASSERT_EQ(::lstat(path.c_str(), &st), 0) << path;
        TDeviceObject o;
        if (node == 0) {
            ASSERT_TRUE(S_ISDIR(st.st_mode)) << "storages are folders: " << path;
            o.Id = {uint32_t(0x10001 + FNodes.size()), TDeviceObjectId::kStorageRoot};
            o.Kind = TDeviceObjectKind::FunctionalObject;
            o.Name = name;
        } else {
            o.Id = {FNodes[node].Object.Id.Storage, uint32_t(FNodes.size())};
            o.Kind = S_ISDIR(st.st_mode) ? TDeviceObjectKind::Folder : TDeviceObjectKind::File;
            o.OriginalFileName = name;
            o.Name = name;
            if (!S_ISDIR(st.st_mode)) o.Size = uint64_t(st.st_size);
        }
        o.Modified = int64_t(st.st_mtime);
        const size_t child = Add(prefix + name, node, std::move(o));
        if (S_ISDIR(st.st_mode)) Load(path, child, prefix + name + "/");
    }
}

size_t TMemoryDevice::NodeOf(const TDeviceObjectId& id) const {
    for (size_t i = 0; i < FNodes.size(); ++i)
        if (FNodes[i].Object.Id == id) return i;
    return size_t(-1);
}

TDeviceObjectId TMemoryDevice::PathId(const std::string& path) {
    return Object(path).Id;
}

TDeviceObject& TMemoryDevice::Object(const std::string& path) {
    auto it = FPaths.find(path);
    if (it == FPaths.end()) {
        ADD_FAILURE() << "no object " << path;
        static TDeviceObject dummy;
        return dummy;
    }
    return FNodes[it->second].Object;
}

std::unique_ptr<TPortableDevice> TMemoryDevice::Open() {
    return std::make_unique<TMemoryDeviceHandle>(*this);
}

bool TMemoryDeviceManager::GetDevices(std::vector<TDeviceInfo>& out, std::string& error) {
    out.clear();
    if (!ServiceError.empty()) {
        error = ServiceError;
        return false;
    }
    for (const TEntry& e : Entries) out.push_back(e.Info);
    return true;
}

std::unique_ptr<TPortableDevice> TMemoryDeviceManager::Open(const TDeviceInfo& device,
                                                            std::string& error) {
    ++Opened;
    for (const TEntry& e : Entries)
        if (e.Info.Id == device.Id) {
            if (!e.Device) {
                error = e.OpenError;
                return nullptr;
            }
            return e.Device->Open();
        }
    error = "no such device";
    return nullptr;
}

} // namespace qz::test
